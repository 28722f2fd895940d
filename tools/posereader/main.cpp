// posereader: reads the rig pose section "Local\motionRigPose" from outside
// the library, as a motion-cancel program does, and logs every change of the
// six doubles at offset 0.
//
//   posereader --out FILE [--seconds S] [--poll-us N] [--until-still MS] [--namespace PREFIX]
//
// It waits for the section to exist, then polls it (every N µs; 0 spins) until
// S seconds have passed, it is asked to stop, or (with --until-still) the pose
// has changed at least once and then stayed the same for MS milliseconds. It
// writes one line per change:
// the steady-clock time in ns, then the six values. Its own decoding: the
// section holds little-endian IEEE doubles, whatever the host byte order.
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tools/platform/child_process.h"
#include "tools/platform/fake_platform.h"
#include "platform/shared_memory.h"

namespace {

namespace platform = portrelay::platform;
using Clock = std::chrono::steady_clock;

constexpr const char* kSectionName = "Local\\motionRigPose";
constexpr size_t kPoseBytes = 48;

struct Seen {
  int64_t ns;
  std::array<double, 6> pose;
};

std::array<double, 6> decode(const uint8_t* bytes) {
  std::array<double, 6> pose{};
  for (size_t i = 0; i < pose.size(); ++i) {
    uint64_t bits = 0;
    for (int b = 7; b >= 0; --b) bits = bits << 8 | bytes[8 * i + static_cast<size_t>(b)];
    std::memcpy(&pose[i], &bits, sizeof bits);
  }
  return pose;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  double seconds = 10.0;
  long pollUs = 1000;
  long stillMs = 0;
  std::string objectNamespace;  // the test's prefix of the pose section's name
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string word = argv[i];
    const char* value = argv[i + 1];
    if (word == "--out") {
      out = value;
    } else if (word == "--seconds") {
      seconds = std::atof(value);
    } else if (word == "--poll-us") {
      pollUs = std::atol(value);
    } else if (word == "--until-still") {
      stillMs = std::atol(value);
    } else if (word == "--namespace") {
      objectNamespace = value;
    } else {
      std::fprintf(stderr, "posereader: unknown option %s\n", word.c_str());
      return 2;
    }
  }
  if (out.empty() || !(seconds > 0.0) || pollUs < 0) {
    std::fprintf(stderr,
                 "usage: posereader --out FILE [--seconds S] [--poll-us N] [--until-still MS] [--namespace PREFIX]\n");
    return 2;
  }
  const platform::ScopedPlatform isolation(platform::FakePlatform().withObjectNamespace(objectNamespace));
  platform::installStopRequestHandler();
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  const auto keepGoing = [&] { return !platform::stopRequested() && Clock::now() < end; };

  platform::SharedMemory section;
  platform::SharedView view;
  while (keepGoing()) {
    section = platform::SharedMemory::openExisting(kSectionName, platform::ViewAccess::ReadOnly);
    if (section.valid()) view = platform::SharedView::map(section, platform::ViewAccess::ReadOnly, kPoseBytes);
    if (view.valid()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  std::vector<Seen> seen;
  seen.reserve(200000);
  uint8_t last[kPoseBytes] = {};
  bool first = true;
  auto lastChange = Clock::now();
  while (view.valid() && keepGoing()) {
    uint8_t now[kPoseBytes];
    std::memcpy(now, view.data(), kPoseBytes);
    if (first || std::memcmp(now, last, kPoseBytes) != 0) {
      lastChange = Clock::now();
      const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(lastChange.time_since_epoch()).count();
      if (seen.size() < seen.capacity()) seen.push_back({ns, decode(now)});
      std::memcpy(last, now, kPoseBytes);
      first = false;
    } else if (stillMs > 0 && seen.size() >= 2 && Clock::now() - lastChange > std::chrono::milliseconds(stillMs)) {
      break;
    }
    if (pollUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(pollUs));
  }

  std::FILE* file = std::fopen(out.c_str(), "w");
  if (file == nullptr) return 1;
  for (const Seen& s : seen) {
    std::fprintf(file, "%lld", static_cast<long long>(s.ns));
    for (double v : s.pose) std::fprintf(file, " %.17g", v);
    std::fprintf(file, "\n");
  }
  std::fclose(file);
  return view.valid() ? 0 : 1;
}
