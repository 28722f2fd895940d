// The network games' decoders on arbitrary bytes: every UDP decoder gets the
// input as a datagram, the NoLimits 2 decoder as an answer and, cut in two at
// a place the input chooses, as the TCP stream. Every read must stay inside
// the input; a rejected input must leave record and state as they were; the
// NoLimits state kept for the life of the process must stay finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sources/readers/network_decoders.h"
#include "sources/readers/nolimits2.h"

namespace {

using namespace portrelay;
using namespace portrelay::readers;

template <typename Decode>
void decodeOrKeep(SampleRecord& record, Decode decode) {
  const SampleRecord before = record;
  if (!decode() && std::memcmp(&before, &record, sizeof before) != 0) __builtin_trap();
}

bool finite(const NoLimitsState& s) {
  const double values[] = {s.previous.w, s.previous.x, s.previous.y, s.previous.z, s.rates[0], s.rates[1],
                           s.rates[2], s.filteredAccel[0], s.filteredAccel[1], s.filteredAccel[2],
                           s.heldSpeed[0], s.heldSpeed[1], s.heldSpeed[2]};
  for (double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteView datagram{data, size};
  static SampleRecord record;  // kept across inputs, as the engine keeps it
  static Condor2Values condor;
  static WrcState wrc;
  static NoLimitsState noLimits;
  static NoLimitsStream stream;

  int32_t ground = 0;
  decodeOrKeep(record, [&] { return decodeXPlane(datagram, ground, record); });
  decodeOrKeep(record, [&] { return decodeDcs(datagram, record); });
  decodeOrKeep(record, [&] { return decodeDirtRally2(datagram, record); });
  decodeOrKeep(record, [&] { return decodeCondor2(datagram, condor, record); });
  if (condor.hudMessages[sizeof condor.hudMessages - 1] != '\0') __builtin_trap();
  decodeOrKeep(record, [&] { return decodeF1(datagram, record); });
  const double timeFrameMs = size > 0 ? (data[0] - 64) * 0.25 : 2.0;
  decodeOrKeep(record, [&] { return decodeWrc(datagram, timeFrameMs, wrc, record); });
  decodeOrKeep(record, [&] { return decodeBeamNg(datagram, record); });
  decodeOrKeep(record, [&] { return decodeLfs(datagram, record); });

  const char* cursor = reinterpret_cast<const char*>(data);
  const char* const end = cursor + size;
  for (int i = 0; i < kDcsValueCount; ++i) {
    if (!std::isfinite(takeDcsValue(cursor, end))) __builtin_trap();
    if (cursor > end) __builtin_trap();
  }

  decodeOrKeep(record, [&] { return decodeNoLimitsAnswer(datagram, timeFrameMs, noLimits, record); });
  const size_t cut = size > 1 ? data[1] % size : 0;
  std::array<uint8_t, kNoLimitsAnswerLength> answer{};
  for (const auto& [from, length] : {std::pair<size_t, size_t>{0, cut}, {cut, size - cut}}) {
    const size_t n = length < stream.room() ? length : stream.room();
    std::memcpy(stream.tail(), data + from, n);
    stream.appended(n);
    if (stream.size() > NoLimitsStream::kCapacity) __builtin_trap();
    if (stream.takeNewestAnswer(answer))
      decodeOrKeep(record, [&] { return decodeNoLimitsAnswer({answer.data(), answer.size()}, 10.0, noLimits, record); });
  }
  if (!finite(noLimits)) __builtin_trap();
  return 0;
}
