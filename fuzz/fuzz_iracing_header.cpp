// The iRacing header walk with hostile counts, offsets and lengths: the input
// builds a memory of the game's layout (header, buffer descriptors, variable
// headers naming the wanted variables, data buffers) in which every count,
// offset, length and tick is chosen from edge values (negative, zero, the
// view's end, one past it, INT32 limits) or taken raw. The memory is a heap
// block of exactly its size, so ASan sees any read past it.
//
// A plain walk written here for the check gives what the reader must write:
// the newest buffer of those the view holds, copied up to the buffer length,
// the local copy and the view, and each variable's first header in order,
// read only when the value lies inside what was copied. A second pass over
// the same memory is nothing new; a disconnected memory writes nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sources/readers/iracing.h"

namespace {

using namespace portrelay;
using namespace portrelay::readers;
using namespace portrelay::readers::iracing;
using namespace portrelay::channel;

constexpr const char* kNames[] = {"LatAccel", "LongAccel", "VertAccel", "YawRate", "RollRate",
                                  "PitchRate", "Yaw",      "Roll",      "Pitch"};
constexpr int kNameCount = 9;

int32_t hostile(FuzzedDataProvider& in, int64_t size) {
  switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: return 0;
    case 1: return -1;
    case 2: return INT32_MIN;
    case 3: return INT32_MAX;
    case 4: return static_cast<int32_t>(size);
    case 5: return static_cast<int32_t>(size - 1);
    case 6: return static_cast<int32_t>(size - in.ConsumeIntegralInRange<int64_t>(0, 160));
    case 7: return in.ConsumeIntegral<int32_t>();
    default: return static_cast<int32_t>(in.ConsumeIntegralInRange<int64_t>(0, size));
  }
}

void put32(std::vector<uint8_t>& memory, int64_t at, int32_t value) {
  if (at >= 0 && at + 4 <= static_cast<int64_t>(memory.size())) std::memcpy(memory.data() + at, &value, 4);
}

int32_t get32(const std::vector<uint8_t>& memory, int64_t at) {
  int32_t value = 0;
  if (at >= 0 && at + 4 <= static_cast<int64_t>(memory.size())) std::memcpy(&value, memory.data() + at, 4);
  return value;
}

// What the reader must find: the raw value of each wanted variable, when one.
struct Expected {
  bool taken = false;
  bool found[kNameCount] = {};
  float value[kNameCount] = {};
};

Expected walk(const std::vector<uint8_t>& memory) {
  Expected e;
  const int64_t size = static_cast<int64_t>(memory.size());
  if (size < 48 || (get32(memory, 4) & 1) == 0) return e;
  int64_t newest = -1;
  int32_t newestTick = 0;
  for (int64_t i = 0; i < get32(memory, 32) && 48 + 16 * (i + 1) <= size; ++i) {
    const int32_t tick = get32(memory, 48 + 16 * i);
    if (newest < 0 || tick > newestTick) newest = i, newestTick = tick;
  }
  if (newest < 0 || newestTick <= 0) return e;  // the reader starts at tick 0
  const int64_t offset = get32(memory, 48 + 16 * newest + 4);
  if (offset < 0 || offset >= size) return e;
  const int64_t take = std::min<int64_t>({std::max<int32_t>(get32(memory, 36), 0), 10000, size - offset});
  e.taken = true;
  const int64_t first = get32(memory, 28);
  bool decided[kNameCount] = {};
  for (int64_t i = 0; first >= 0 && i < get32(memory, 24) && first + 144 * (i + 1) <= size; ++i) {
    const uint8_t* name = memory.data() + first + 144 * i + 16;
    for (int w = 0; w < kNameCount; ++w) {
      if (decided[w] || std::memcmp(name, kNames[w], std::strlen(kNames[w]) + 1) != 0) continue;
      // The first header of the name with a usable (non-negative) value
      // offset decides, even when the value lies beyond the copied buffer.
      const int64_t at = get32(memory, first + 144 * i + 4);
      decided[w] = at >= 0;
      e.found[w] = decided[w] && at + 4 <= take;
      if (e.found[w]) std::memcpy(&e.value[w], memory.data() + offset + at, 4);
      break;
    }
  }
  return e;
}

bool same(double got, double want) { return std::memcmp(&got, &want, sizeof got) == 0 || (got != got && want != want); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const auto viewSize = in.ConsumeIntegralInRange<int64_t>(0, 24000);
  std::vector<uint8_t> memory(static_cast<size_t>(viewSize));
  put32(memory, 4, in.ConsumeBool() ? 1 : in.ConsumeIntegral<int32_t>());
  put32(memory, 24, hostile(in, 64));
  put32(memory, 28, hostile(in, viewSize));
  put32(memory, 32, hostile(in, 8));
  put32(memory, 36, hostile(in, 12000));
  for (int64_t i = 0, n = in.ConsumeIntegralInRange<int>(0, 6); i < n; ++i) {
    put32(memory, 48 + 16 * i, in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-2, 5) : in.ConsumeIntegral<int32_t>());
    put32(memory, 48 + 16 * i + 4, hostile(in, viewSize));
  }
  // Variable headers from the header's offset on: each names a wanted
  // variable (or a near miss) and points at a hostile value offset.
  const int64_t first = get32(memory, 28);
  for (int64_t i = 0, n = in.ConsumeIntegralInRange<int>(0, 14); i < n; ++i) {
    const int64_t header = first + 144 * i;
    if (header < 0 || header + 144 > viewSize) break;
    char name[32] = {};
    const char* wanted = kNames[in.ConsumeIntegralInRange<int>(0, kNameCount - 1)];
    std::memcpy(name, wanted, std::strlen(wanted));
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: name[std::strlen(wanted)] = 'X'; break;  // a longer name
      case 1: std::memset(name + std::strlen(wanted), 'Z', sizeof name - std::strlen(wanted)); break;  // no NUL
      default: break;
    }
    std::memcpy(memory.data() + header + 16, name, sizeof name);
    put32(memory, header + 4, hostile(in, 12000));
  }
  // The rest of the input fills the data area that follows the headers.
  const std::vector<uint8_t> rest = in.ConsumeRemainingBytes<uint8_t>();
  const size_t fillFrom = memory.size() > 2048 ? 2048 : memory.size();
  for (size_t i = 0; i < rest.size() && fillFrom + i < memory.size(); ++i) memory[fillFrom + i] = rest[i];

  auto* exact = new uint8_t[memory.size() + 1];
  if (!memory.empty()) std::memcpy(exact, memory.data(), memory.size());
  const ByteView view{exact, memory.size()};

  static IRacingBuffers buffers;  // large; kept across inputs like the reader keeps it
  buffers.lastTick = 0;
  buffers.copiedLength = 0;
  SampleRecord record;
  for (int i = 0; i < kGameDataCount; ++i) record.data[i] = 1000.0 + i;
  const SampleRecord before = record;
  const IRacingPage page = takeIRacingSample(view, buffers, record);
  if (buffers.copiedLength > buffers.copy.size() || buffers.copiedLength > view.size) __builtin_trap();

  const Expected e = walk(memory);
  if (e.taken && page != IRacingPage::Moved) __builtin_trap();
  if (!e.taken && std::memcmp(&before, &record, sizeof record) != 0) __builtin_trap();
  // The channels whose raw value reaches the record unconverted (or negated).
  const int plain[kNameCount] = {lateral_accel_g, longitu_accel_g, vertica_accel_g, yaw_speed, roll_speed,
                                 pitch_speed, yaw_position, roll_position, pitch_position};
  for (int w = 0; w < kNameCount; ++w) {
    const double got = record.data[plain[w]];
    if (!e.found[w]) {
      if (!same(got, before.data[plain[w]])) __builtin_trap();
    } else if (w <= 5) {
      if (!same(got, w == 0 ? -static_cast<double>(e.value[w]) : static_cast<double>(e.value[w]))) __builtin_trap();
    } else if (std::isfinite(e.value[w]) != std::isfinite(got)) {
      __builtin_trap();
    }
  }

  // The same memory again holds nothing new; disconnected, nothing is read.
  const SampleRecord after = record;
  takeIRacingSample(view, buffers, record);
  if (std::memcmp(&after, &record, sizeof record) != 0) __builtin_trap();
  if (memory.size() >= 8) {
    exact[4] = 0;
    exact[5] = exact[6] = exact[7] = 0;
    buffers.lastTick = 0;
    takeIRacingSample(view, buffers, record);
    if (std::memcmp(&after, &record, sizeof record) != 0 || (memory.size() >= 48 && buffers.lastTick != INT32_MAX))
      __builtin_trap();
  }
  delete[] exact;
  return 0;
}
