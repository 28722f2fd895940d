// How long the rig pose takes from the engine to another process: the engine
// (driven cycle by cycle, one output step every 2 ms, motion cancel active with
// filter 1.0 so that the pose equals the output) numbers each cycle's sway
// output; posereader, a separate process polling the section without pause,
// logs each change with its time. One measurement: from the moment the frame
// of a cycle is queued to the moment the reader saw that cycle's pose.
//   pose_latency_period [seconds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/motion_engine.h"
#include "tools/platform/child_process.h"
#include "platform/processes.h"
#include "platform/shared_memory.h"
#include "tools/platform/fake_platform.h"

namespace {

using namespace portrelay;
using Clock = std::chrono::steady_clock;

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  const std::string objectNamespace = "poselat" + std::to_string(platform::currentProcessId()) + "_";
  platform::keepInForce(platform::FakePlatform().withObjectNamespace(objectNamespace));
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("pose_latency_" + std::to_string(platform::currentProcessId()) + ".txt");

  MotionEngine engine;
  engine.activateMotionCancel(true);
  engine.setMotionCancelFilter(1.0);
  auto reader = platform::ChildProcess::launch(
      (std::filesystem::path(platform::executableDirectory()) /
       (std::string("posereader") + platform::kExecutableSuffix)).string(),
      "posereader",
      {"--out", log.string(), "--seconds", std::to_string(seconds + 1.0), "--poll-us", "0", "--namespace",
       objectNamespace});
  if (reader == nullptr) {
    std::fprintf(stderr, "pose_latency_period: cannot start posereader\n");
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the reader maps the section

  const int cycles = static_cast<int>(seconds * 500.0);
  std::vector<int64_t> queuedNs(static_cast<size_t>(cycles) + 1, 0);
  auto next = Clock::now();
  for (int n = 1; n <= cycles; ++n) {
    engine.cues(MotionEngine::kOutputCues)[0] = n;
    queuedNs[static_cast<size_t>(n)] = nowNs();  // sendOutput queues the frame, then publishes the pose
    engine.sendOutput();
    next += std::chrono::microseconds(2000);
    std::this_thread::sleep_until(next);
  }
  // The reader ends by itself and writes its log (a stopped one would not).
  if (reader->wait(static_cast<int>((seconds + 10.0) * 1000.0)) != 0) {
    std::fprintf(stderr, "pose_latency_period: posereader failed\n");
    return 1;
  }

  std::ifstream in(log);
  std::vector<double> latenciesUs;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    long long seenNs = 0;
    double sway = 0.0;
    if (!(fields >> seenNs >> sway)) continue;
    const long long n = std::llround(sway);
    if (n < 1 || n > cycles || static_cast<double>(n) != sway) continue;
    latenciesUs.push_back(static_cast<double>(seenNs - queuedNs[static_cast<size_t>(n)]) / 1000.0);
  }
  in.close();
  std::error_code ignored;
  std::filesystem::remove(log, ignored);
  if (latenciesUs.empty()) {
    std::fprintf(stderr, "pose_latency_period: the reader saw no pose\n");
    return 1;
  }
  std::sort(latenciesUs.begin(), latenciesUs.end());
  const auto at = [&](double q) { return latenciesUs[static_cast<size_t>(q * static_cast<double>(latenciesUs.size() - 1))]; };
  std::printf("pose section latency, frame queued -> seen by another process: %zu of %d cycles seen\n",
              latenciesUs.size(), cycles);
  std::printf("  min %.1f us, p50 %.1f us, p90 %.1f us, p99 %.1f us, max %.1f us\n", latenciesUs.front(), at(0.5),
              at(0.9), at(0.99), latenciesUs.back());
  return 0;
}
