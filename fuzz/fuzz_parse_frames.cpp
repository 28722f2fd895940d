// Feeds arbitrary byte streams, cut into arbitrary chunks, to the frame parser
// and checks what it queues.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "riglink/crc16.h"
#include "riglink/frame_parser.h"

namespace {

bool knownLength(size_t n) { return n == 8 || n == 38 || n == 465 || n == 78; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace portrelay;
  static MessageQueue queue;
  queue.clear();
  std::atomic<uint8_t> autoChecksum{0};
  std::vector<uint8_t> buffer;
  size_t at = 0;
  while (at < size) {
    // The first byte of each step chooses how many bytes arrive at once.
    const size_t chunk = 1 + data[at] % 64;
    const size_t end = at + 1 + chunk < size ? at + 1 + chunk : size;
    buffer.insert(buffer.end(), data + at + (at + 1 <= size ? 1 : 0), data + end);
    at = end;
    const size_t before = buffer.size();
    const int accepted = parseFrames(buffer, queue, autoChecksum);
    if (accepted != 0 && accepted != 1) std::abort();
    if (buffer.size() > before) std::abort();
    // What is left waits for more: a frame header with too few bytes, or under 8 bytes.
    if (buffer.size() >= 8 && !(buffer[0] == buffer[1] && (buffer[0] >= 0xF8 && buffer[0] <= 0xFB && buffer[0] != 0xF9)))
      std::abort();
    uint8_t frame[kMaxMessageLength];
    while (auto length = queue.takeFront(frame)) {
      if (!knownLength(*length) || frame[*length - 2] != 0x0A || frame[*length - 1] != 0x0D) std::abort();
      if (frame[0] != frame[1]) std::abort();
    }
  }
  return 0;
}
