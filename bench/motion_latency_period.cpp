// motion_latency_period [seconds]: the delay from a telemetry sample leaving
// the game (a simulated Assetto Corsa written at 500 Hz by this program) to
// the motion frame carrying it arriving at the virtual rig, through the whole
// library: engine thread, filter chain, frame, relay thread, serial port.
// Beside it: the time each frame waited in the rig link's transmit queue
// (from the engine queueing it to the relay taking it, as the rig link
// records it) and the interval between motion frames at the rig.
// Each sample carries a tag in its lateral acceleration (0.00 .. 0.96 g, the
// sample number modulo 97; the frame shows it in m/s^2) that slot 0 passes unchanged into the frame's
// first float. Only the first frame carrying each sample counts.
// Under Wine, run it after the Windows test run has mapped the rig's COM port
// (ctest --preset mingw does), e.g. wine build/mingw/bin/motion_latency_period.exe 5.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "gamesim/assetto_corsa_sim.h"
#include "platform/serial_port.h"
#include "portrelay/portrelay.h"
#include "riglink/link_state.h"
#include "bench_rig_port.h"
#include "simulated_rig.h"

using namespace portrelay;

namespace {

constexpr int kTags = 97;
constexpr double kTagStep = 0.01;  // g per tag

void printDistribution(const char* title, std::vector<double> values, const char* unit) {
  if (values.empty()) {
    std::printf("%s: no samples\n", title);
    return;
  }
  std::sort(values.begin(), values.end());
  auto at = [&](double q) { return values[std::min(values.size() - 1, static_cast<size_t>(q * values.size()))]; };
  std::printf("%s (%zu samples): min %.3f  p50 %.3f  p99 %.3f  max %.3f %s\n", title, values.size(), values.front(),
              at(0.50), at(0.99), values.back(), unit);
}

struct Written {
  int64_t sample;
  int64_t ns;
};

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  rigsim::SimulatedRig rig;
  const int com = bench::startRigOnComPort(rig, "motion_latency");
  if (com == 0) return 1;

  // Slot 0 passes lateral acceleration through unchanged; every other slot is off.
  for (int profile = 0; profile < 2; ++profile)
    for (int slot = 0; slot < 23; ++slot) setActiveAxis(profile, slot, slot == 0 && profile == 0 ? 1 : 0);
  setcheckFilterstring(0, 0, "VALUE");
  SetInputDofLimitValue(0, -10.0, 10.0);
  SetRigDofLimitValue(0, -10.0, 10.0);

  gamesim::AssettoCorsaSim game;
  if (!game.start()) {
    std::fprintf(stderr, "cannot publish the game\n");
    return 1;
  }
  std::vector<Written> written;
  written.reserve(static_cast<size_t>(seconds + 10) * 600);
  std::atomic<bool> writing{true};
  std::atomic<bool> recording{false};
  std::thread writer([&] {
    auto next = std::chrono::steady_clock::now();
    for (int64_t n = 0; writing.load(); ++n) {
      gamesim::MotionSample sample;
      sample.lateralAccel = static_cast<double>(n % kTags) * kTagStep * gamesim::ac::kPageG;
      game.write(sample);
      if (recording.load()) written.push_back({n, rigsim::monotonicNs()});
      next += std::chrono::microseconds(2000);
      std::this_thread::sleep_until(next);
    }
  });

  setMotionsystemready(1);
  startGamesource_Thread();
  enableAutoconnect();
  std::thread relay([] { startPortRelay_Thread(); });
  // Wait for the rig link and the end of the 4-s output fade.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((isConnected() == 0 || getTransitionStatus() < 100.0) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (isConnected() == 0) std::fprintf(stderr, "the rig was not found on COM%d\n", com);
  const int64_t offset = rig.clockOffsetNs();
  rig.reset();
  RigLink::instance().motionQueueWait().clear();
  recording = true;
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  recording = false;
  const QueueWaitHistogram& queueWait = RigLink::instance().motionQueueWait();
  const uint64_t queued = queueWait.count();
  const double queueWaitP50 = queueWait.quantileMs(0.50), queueWaitP99 = queueWait.quantileMs(0.99);
  const double queueWaitMax = queueWait.maxMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stopGamesource_Thread();
  stopPortRelay_Thread();
  relay.join();
  writing = false;
  writer.join();

  // The first frame that carries each recorded sample.
  const std::vector<rigsim::ReceivedFrame> frames = rig.motionLog();
  std::vector<double> latencies;
  int lastTag = -1;
  int64_t lastSample = -1;
  size_t undecoded = 0;
  for (const rigsim::ReceivedFrame& frame : frames) {
    float value;
    std::memcpy(&value, frame.bytes.data() + 2, sizeof value);
    const double scaled = value / (kTagStep * gamesim::ac::kPageG);  // the reader's m/s^2
    const long tag = std::lround(scaled);
    if (std::fabs(scaled - static_cast<double>(tag)) > 0.2 || tag < 0 || tag >= kTags) {
      ++undecoded;
      continue;
    }
    if (tag == lastTag) continue;  // the same sample again
    lastTag = static_cast<int>(tag);
    const int64_t arrival = frame.arrivalNs - offset;
    // The latest sample with this tag written before the frame arrived.
    auto after = std::upper_bound(written.begin(), written.end(), arrival,
                                  [](int64_t t, const Written& w) { return t < w.ns; });
    for (int back = 0; back < kTags && after != written.begin(); ++back) {
      --after;
      if (after->sample % kTags == tag) {
        if (after->sample > lastSample) {
          latencies.push_back(static_cast<double>(arrival - after->ns) / 1e6);
          lastSample = after->sample;
        }
        break;
      }
    }
  }
  std::vector<double> intervals;
  for (size_t i = 1; i < frames.size(); ++i)
    intervals.push_back(static_cast<double>(frames[i].arrivalNs - frames[i - 1].arrivalNs) / 1e6);
  printDistribution("sample written to frame at the rig", latencies, "ms");
  std::printf("frame waiting in the transmit queue (%llu frames): p50 %.3f  p99 %.3f  max %.3f ms (10-us steps)\n",
              static_cast<unsigned long long>(queued), queueWaitP50, queueWaitP99, queueWaitMax);
  printDistribution("interval between motion frames at the rig", intervals, "ms");
  std::printf("samples written %zu, motion frames at the rig %zu (%.0f/s), undecoded %zu, CRC errors %llu\n",
              written.size(), frames.size(), static_cast<double>(frames.size()) / seconds, undecoded,
              static_cast<unsigned long long>(rig.stats().checksumErrors));
  game.stop();
  return latencies.empty() ? 1 : 0;
}
