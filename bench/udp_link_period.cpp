// udp_link_period [seconds]: the UDP link to the rig measured between two
// network namespaces that this program makes (a veth pair; Linux, root):
// a simulated Live for Speed streams a sample every 2 ms to the library on
// the library's side; the engine turns each into a motion frame, the multicast
// sender sends it to the group, and rigsim's UDP rig receives it on the other
// side. Prints the sample-to-rig latency distribution, the sender's pass
// period distribution and the datagrams lost on the way. Nothing leaves the
// namespaces.
// Each sample carries a tag in its lateral acceleration (0.00 .. 0.96 g, the
// sample number modulo 97), which slot 0 passes unchanged into the frame's
// first float (m/s^2). Only the first frame carrying each sample counts.
#if defined(_WIN32)
#include <cstdio>
int main() {
  std::fprintf(stderr, "udp_link_period: network namespaces exist on Linux only\n");
  return 1;
}
#else
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "engine/motion_engine.h"
#include "gamesim/game_catalog.h"
#include "gamesim/lap_motion.h"
#include "net/udp_link.h"
#include "net_namespace.h"
#include "platform/paths.h"
#include "portrelay/portrelay.h"
#include "riglink/link_state.h"
#include "sources/readers/network_reader_factory.h"
#include "udp_rig.h"

using namespace portrelay;

namespace {

constexpr int kTags = 97;
constexpr int kLiveForSpeed = 13;
constexpr uint16_t kGamePort = 4123;  // the game's own port, free inside the namespace
constexpr double kTagStep = 0.01 * gamesim::kStandardGravity;  // m/s^2 per tag

void printDistribution(const char* title, std::vector<double> values, const char* unit) {
  if (values.empty()) {
    std::printf("%s: no samples\n", title);
    return;
  }
  std::sort(values.begin(), values.end());
  auto at = [&](double q) { return values[std::min(values.size() - 1, static_cast<size_t>(q * values.size()))]; };
  std::printf("%s (%zu): min %.3f  p50 %.3f  p99 %.3f  p99.9 %.3f  max %.3f %s\n", title, values.size(),
              values.front(), at(0.50), at(0.99), at(0.999), values.back(), unit);
}

// The game's reader as it is, without detection: other programs on this
// machine (processes are shared across network namespaces) may look like
// games of a higher priority.
class AlwaysDetected : public GameReader {
 public:
  explicit AlwaysDetected(std::unique_ptr<GameReader> inner) : inner_(std::move(inner)) {}
  bool detect() override { return true; }
  bool attach() override { return inner_->attach(); }
  void detach() override { inner_->detach(); }
  bool read(SampleRecord& record) override { return inner_->read(record); }

 private:
  std::unique_ptr<GameReader> inner_;
};

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  rigsim::NamespacePair pair;
  std::string why;
  if (!pair.create(why)) {
    std::fprintf(stderr, "udp_link_period: %s\n", why.c_str());
    return 1;
  }
  const auto logDir = std::filesystem::temp_directory_path() / ("udp_link_period_" + std::to_string(rigsim::monotonicNs()));
  std::filesystem::create_directories(logDir);
  platform::overrideDocumentsFolder(logDir.string());

  rigsim::UdpRig rig;
  rigsim::UdpRigOptions options;
  options.interfaceAddress = rigsim::NamespacePair::kRigAddress;
  if (!pair.enterRigSide() || !rig.start(options)) {
    std::fprintf(stderr, "udp_link_period: the rig cannot join the group\n");
    return 1;
  }
  // From here on this thread and every thread it starts are on the library's side.
  if (!pair.enterLibrarySide() || !pair.inLibrarySide()) {
    std::fprintf(stderr, "udp_link_period: cannot enter the library's namespace\n");
    return 1;
  }

  for (int profile = 0; profile < 2; ++profile)
    for (int slot = 0; slot < 23; ++slot) setActiveAxis(profile, slot, slot == 0 && profile == 0 ? 1 : 0);
  setcheckFilterstring(0, 0, "VALUE");
  SetInputDofLimitValue(0, -10.0, 10.0);
  SetRigDofLimitValue(0, -10.0, 10.0);

  MotionEngine& engine = MotionEngine::instance();
  for (int id = 0; id < kGameCount; ++id) engine.games.installReader(id, nullptr);
  engine.games.installReader(kLiveForSpeed,
                             std::make_unique<AlwaysDetected>(readers::makeNetworkReader(kLiveForSpeed, kGamePort)));
  std::unique_ptr<gamesim::GameSim> game = gamesim::findGame("lfs")->make({kGamePort});
  if (!game->start()) {
    std::fprintf(stderr, "udp_link_period: cannot start the game\n");
    return 1;
  }
  const size_t capacity = static_cast<size_t>(seconds + 60) * 520;
  std::unique_ptr<std::atomic<int64_t>[]> writtenNs(new std::atomic<int64_t>[capacity]);
  std::atomic<size_t> written{0};
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    auto next = std::chrono::steady_clock::now();
    for (size_t n = 0; writing.load() && n < capacity; ++n) {
      gamesim::MotionSample sample;
      sample.lateralAccel = static_cast<double>(n % kTags) * kTagStep;
      writtenNs[n].store(rigsim::monotonicNs(), std::memory_order_relaxed);
      game->write(sample);
      written.store(n + 1, std::memory_order_release);
      next += std::chrono::microseconds(2000);
      std::this_thread::sleep_until(next);
    }
  });

  UdpLink& udp = udpLink();
  RigLinkState& link = rigLink();
  setMotionsystemready(1);
  startGamesource_Thread();
  std::thread listener([] { startUPDListenThread(); });
  std::thread sender([] { startUPDMulticastSenderThread(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((link.networkFramesValid.load() == 0 || getTransitionStatus() < 100.0) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (link.networkFramesValid.load() == 0) std::fprintf(stderr, "udp_link_period: the rig never answered\n");

  // The sender's pass lengths, as its timer records them.
  std::vector<double> periods;
  periods.reserve(static_cast<size_t>(seconds) * 520);
  std::atomic<bool> watching{true};
  std::thread watcher([&] {
    double last = udp.networkCycleTimer.lastIntervalTicks();
    while (watching.load()) {
      const double now = udp.networkCycleTimer.lastIntervalTicks();
      if (now != last) {
        periods.push_back(now / udp.networkCycleTimer.countsPerMs());
        last = now;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });

  // Latency: every frame arriving from now on, matched with the latest sample
  // of its tag written before it arrived.
  const int64_t start = rigsim::monotonicNs();
  const size_t firstSample = written.load();
  std::vector<double> latencies;
  int64_t lastArrival = start;
  long lastTag = -1;
  size_t lastSample = 0, undecoded = 0, frames = 0;
  auto collect = [&] {
    const size_t available = written.load(std::memory_order_acquire);
    for (const rigsim::ReceivedFrame& frame : rig.rig().motionLog()) {
      if (frame.arrivalNs <= lastArrival) continue;
      lastArrival = frame.arrivalNs;
      ++frames;
      float value;
      std::memcpy(&value, frame.bytes.data() + 2, sizeof value);
      const double scaled = std::fabs(value) / kTagStep;
      const long tag = std::lround(scaled);
      if (std::fabs(scaled - static_cast<double>(tag)) > 0.2 || tag >= kTags) {
        ++undecoded;
        continue;
      }
      if (tag == lastTag) continue;  // the same sample again
      lastTag = tag;
      // The samples written up to the frame's arrival, then back to its tag.
      size_t low = firstSample, high = available;
      while (low < high) {
        const size_t mid = low + (high - low) / 2;
        if (writtenNs[mid].load(std::memory_order_relaxed) <= frame.arrivalNs) low = mid + 1;
        else high = mid;
      }
      for (size_t n = low, back = 0; n > firstSample && back < static_cast<size_t>(kTags); ++back) {
        --n;
        if (static_cast<long>(n % kTags) != tag) continue;
        if (n > lastSample || lastSample == 0) {
          latencies.push_back(static_cast<double>(frame.arrivalNs - writtenNs[n].load(std::memory_order_relaxed)) / 1e6);
          lastSample = n;
        }
        break;
      }
    }
  };
  for (int elapsed = 0; elapsed < seconds; elapsed += 5) {
    std::this_thread::sleep_for(std::chrono::seconds(std::min(5, seconds - elapsed)));
    collect();
  }
  const double measured = static_cast<double>(rigsim::monotonicNs() - start) / 1e9;
  watching = false;
  watcher.join();

  stopGamesource_Thread();
  stopPortRelay_Thread();
  sender.join();
  listener.join();
  writing = false;
  writer.join();
  game->stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last datagrams land
  const uint64_t sent = udp.datagramsSent.load(), received = rig.datagrams();
  const rigsim::RigStats stats = rig.rig().stats(rigsim::monotonicNs());
  pair.enterOriginal();
  rig.stop();

  std::printf("UDP link between network namespaces, %.1f s measured\n", measured);
  printDistribution("sample written to frame at the rig", latencies, "ms");
  printDistribution("multicast sender pass period", periods, "ms");
  std::printf("motion frames at the rig in the window %zu (%.0f/s), undecoded %zu\n", frames,
              static_cast<double>(frames) / measured, undecoded);
  std::printf("datagrams sent %llu, received by the rig %llu, lost %lld; CRC errors %llu, checksummed motion %llu of %llu\n",
              static_cast<unsigned long long>(sent), static_cast<unsigned long long>(received),
              static_cast<long long>(sent) - static_cast<long long>(received),
              static_cast<unsigned long long>(stats.checksumErrors),
              static_cast<unsigned long long>(stats.checksummedMotionFrames),
              static_cast<unsigned long long>(stats.motionFrames));
  std::filesystem::remove_all(logDir);
  return latencies.empty() || sent != received ? 1 : 0;
}
#endif
