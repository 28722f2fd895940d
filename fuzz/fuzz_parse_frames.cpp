// The frame parser fed the same byte stream once whole and once cut into
// chunks (sizes from a generator seeded by the first input byte: single
// bytes, serial-sized reads, whole long frames). Both must give the same
// frames in the same order (the whole stream's receive queue may stop taking
// frames at its bound; its frames must then begin the chunked sequence), the
// same bytes left waiting, and the same autoChecksum. Every queued frame has a
// known length, its header pair and the terminator; autoChecksum is set exactly
// when an accepted 8-byte class-2 frame reports a level of 328 or more.
//
// Then the same bytes cut into datagrams (up to the listener's 8 KiB), each
// parsed on its own as the UDP listener does: each must give exactly the
// frames of a plain parser that computes every candidate's CRC afresh, bit
// by bit (the library's parser slides its CRCs from byte to byte).
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "riglink/frame_parser.h"

namespace {

using namespace portrelay;
using Frame = std::vector<uint8_t>;

bool knownFrame(const Frame& f) {
  const size_t n = f.size();
  const bool length = (n == 8 && f[0] == 0xF9) || (n == 38 && f[0] == 0xF8) || (n == 465 && f[0] == 0xFA) ||
                      (n == 78 && f[0] == 0xFB);
  return length && f[1] == f[0] && f[n - 2] == 0x0A && f[n - 1] == 0x0D;
}

void drain(MessageQueue& queue, std::vector<Frame>& into) {
  uint8_t bytes[kMaxMessageLength];
  while (auto length = queue.takeFront(bytes)) into.emplace_back(bytes, bytes + *length);
}

// The bytes that remain must be a frame still waiting for its rest, or fewer
// than a short frame.
bool waiting(const std::vector<uint8_t>& rest) {
  if (rest.size() < 8) return true;
  if (rest[0] != rest[1]) return false;
  return (rest[0] == 0xF8 && rest.size() < 38) || (rest[0] == 0xFA && rest.size() < 465) ||
         (rest[0] == 0xFB && rest.size() < 78);
}

uint16_t plainCrc(const uint8_t* data, size_t n) {
  uint16_t c = 0;
  for (size_t i = 0; i < n; ++i) {
    c ^= data[i];
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
  }
  return c;
}

size_t plainLength(uint8_t first, uint8_t second) {
  if (first != second) return 0;
  return first == 0xF9 ? 8 : first == 0xF8 ? 38 : first == 0xFA ? 465 : first == 0xFB ? 78 : 0;
}

// Every frame in a datagram, found one candidate at a time, and the bytes left.
std::vector<Frame> plainParse(const uint8_t* bytes, size_t size, size_t& rest) {
  std::vector<Frame> frames;
  size_t at = 0;
  while (size - at >= 8) {
    const size_t n = plainLength(bytes[at], bytes[at + 1]);
    if (n == 0) {
      ++at;
      continue;
    }
    if (size - at < n) break;
    const uint8_t* f = bytes + at;
    const uint16_t crc = plainCrc(f, n - 2);
    const bool terminated = f[0] != 0xFB && f[n - 2] == 0x0A && f[n - 1] == 0x0D;
    if (!terminated && (f[n - 2] != (crc & 0xFF) || f[n - 1] != (crc >> 8))) {
      ++at;
      continue;
    }
    frames.emplace_back(f, f + n);
    frames.back()[n - 2] = 0x0A;
    frames.back()[n - 1] = 0x0D;
    at += n;
  }
  rest = size - at;
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static MessageQueue queue;
  const uint8_t* stream = data + 1;
  const size_t length = size - 1;

  // Whole.
  queue.clear();
  std::atomic<uint8_t> wholeFlag{0};
  std::vector<uint8_t> wholeRest(stream, stream + length);
  const int wholeResult = parseFrames(wholeRest, queue, wholeFlag);
  std::vector<Frame> whole;
  drain(queue, whole);
  if (wholeResult != (whole.empty() ? 0 : 1) || !waiting(wholeRest)) std::abort();

  // Chunked, the queue emptied after every call as the relay does.
  std::atomic<uint8_t> chunkFlag{0};
  std::vector<uint8_t> chunkRest;
  std::vector<Frame> chunked;
  uint32_t state = 0x9E3779B9u ^ data[0];
  for (size_t at = 0; at < length;) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    const size_t piece = (data[0] & 3) == 0 ? 1 : (state % 8 == 0 ? 1 + state % 600 : 1 + state % 40);
    const size_t end = at + piece < length ? at + piece : length;
    chunkRest.insert(chunkRest.end(), stream + at, stream + end);
    at = end;
    const size_t before = chunked.size();
    const int result = parseFrames(chunkRest, queue, chunkFlag);
    drain(queue, chunked);
    if (result != (chunked.size() > before ? 1 : 0) || !waiting(chunkRest)) std::abort();
  }

  if (whole.size() > kReceiveQueueBound || chunked.size() < whole.size()) std::abort();
  if (whole.size() < kReceiveQueueBound ? whole != chunked
                                        : !std::equal(whole.begin(), whole.end(), chunked.begin()))
    std::abort();
  if (wholeRest != chunkRest || wholeFlag.load() != chunkFlag.load()) std::abort();

  bool levelReported = false;
  for (const Frame& f : chunked) {
    if (!knownFrame(f)) std::abort();
    if (f.size() == 8 && f[2] == 2 && static_cast<int8_t>(f[5]) * 100 + static_cast<int8_t>(f[4]) >= 328)
      levelReported = true;
  }
  if (chunkFlag.load() != (levelReported ? 1 : 0)) std::abort();

  // Datagrams, each parsed on its own into an emptied queue (at most 151
  // frames fit one datagram's queue, so the bound never hides a difference).
  for (size_t at = 0; at < length;) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    const size_t piece = 1 + state % 8192;
    const size_t end = at + piece < length ? at + piece : length;
    size_t plainRest = 0;
    const std::vector<Frame> expected = plainParse(stream + at, end - at, plainRest);
    std::vector<uint8_t> datagram(stream + at, stream + end);
    at = end;
    queue.clear();
    std::atomic<uint8_t> flag{0};
    const int result = parseFrames(datagram, queue, flag);
    std::vector<Frame> found;
    drain(queue, found);
    if (expected.size() <= kReceiveQueueBound ? found != expected
                                              : !std::equal(found.begin(), found.end(), expected.begin()))
      std::abort();
    if (result != (expected.empty() ? 0 : 1) || datagram.size() != plainRest) std::abort();
  }
  return 0;
}
