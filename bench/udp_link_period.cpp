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
//
// udp_link_period --host [seconds [samples-file]]: the library's side alone
// (also the Windows build, e.g. under Wine), for a run already inside a
// namespace whose rig is `rigsim --udp` in the peer namespace: prints the
// sender's pass period and the datagrams it sent (rigsim prints those it
// received), and writes the samples' times to the file.
// udp_link_period --match samples-file motion-file: the latency of such a run
// under Wine, from rigsim's --motion-log.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/motion_engine.h"
#include "gamesim/game_catalog.h"
#include "gamesim/lap_motion.h"
#include "net/udp_link.h"
#include "platform/paths.h"
#include "portrelay/portrelay.h"
#include "riglink/link_state.h"
#include "sources/readers/network_reader_factory.h"
#include "tools/platform/fake_platform.h"
#include "virtual_rig.h"
#if !defined(_WIN32)
#include <time.h>

#include "net_namespace.h"
#include "udp_rig.h"
#endif

using namespace portrelay;

namespace {

constexpr int kTags = 97;
constexpr double kTagStep = 0.01 * gamesim::kStandardGravity;  // m/s^2 per tag
constexpr int kLiveForSpeed = 13;
constexpr uint16_t kGamePort = 4123;  // the game's own port, free inside the namespace

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

// Samples written by the game: their times, indexed by sample number.
struct Written {
  explicit Written(size_t capacity) : capacity(capacity), ns(new std::atomic<int64_t>[capacity]) {}
  size_t capacity;
  std::unique_ptr<std::atomic<int64_t>[]> ns;
  std::atomic<size_t> count{0};
};

struct HostResult {
  std::vector<double> periods;
  double measuredSeconds = 0;
  bool rigAnswered = false;
};

// The library's side: engine on the simulated game, UDP listener and sender,
// for the time `window` takes (it runs on this thread once the rig answered
// and the output fade is over).
HostResult runLibrarySide(int seconds, Written& written, const std::function<void()>& window) {
  HostResult result;
  for (int profile = 0; profile < 2; ++profile)
    for (int slot = 0; slot < 23; ++slot) setActiveAxis(profile, slot, slot == 0 && profile == 0 ? 1 : 0);
  setcheckFilterstring(0, 0, "VALUE");
  SetInputDofLimitValue(0, -10.0, 10.0);
  SetRigDofLimitValue(0, -10.0, 10.0);
  MotionEngine& engine = MotionEngine::instance();
  for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
  engine.games().installReader(kLiveForSpeed,
                             std::make_unique<AlwaysDetected>(readers::makeNetworkReader(kLiveForSpeed, kGamePort)));
  std::unique_ptr<gamesim::GameSim> game = gamesim::findGame("lfs")->make({kGamePort});
  if (!game->start()) {
    std::fprintf(stderr, "udp_link_period: cannot start the game\n");
    return result;
  }
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    auto next = std::chrono::steady_clock::now();
    for (size_t n = 0; writing.load() && n < written.capacity; ++n) {
      gamesim::MotionSample sample;
      sample.lateralAccel = static_cast<double>(n % kTags) * kTagStep;
      written.ns[n].store(rigsim::monotonicNs(), std::memory_order_relaxed);
      game->write(sample);
      written.count.store(n + 1, std::memory_order_release);
      next += std::chrono::microseconds(2000);
      std::this_thread::sleep_until(next);
    }
  });

  UdpLink& udp = udpLink();
  RigLink& link = RigLink::instance();
  setMotionsystemready(1);
  startGamesource_Thread();
  std::thread listener([] { startUPDListenThread(); });
  std::thread sender([] { startUPDMulticastSenderThread(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((link.mode().transport() != LinkTransport::udp || getTransitionStatus() < 100.0) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  result.rigAnswered = link.mode().transport() == LinkTransport::udp;
  if (!result.rigAnswered) std::fprintf(stderr, "udp_link_period: the rig never answered\n");

  // The sender's pass lengths, as its timer records them.
  result.periods.reserve(static_cast<size_t>(seconds) * 520);
  std::atomic<bool> watching{true};
  std::thread watcher([&] {
    double last = udp.networkCycleTimer.lastIntervalTicks();
    while (watching.load()) {
      const double now = udp.networkCycleTimer.lastIntervalTicks();
      if (now != last) {
        result.periods.push_back(now / udp.networkCycleTimer.countsPerMs());
        last = now;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  const int64_t start = rigsim::monotonicNs();
  window();
  result.measuredSeconds = static_cast<double>(rigsim::monotonicNs() - start) / 1e9;
  watching = false;
  watcher.join();

  stopGamesource_Thread();
  stopPortRelay_Thread();
  sender.join();
  listener.join();
  writing = false;
  writer.join();
  game->stop();
  return result;
}

struct ArrivedFrame {
  int64_t arrivalNs;
  float value;  // the frame's first float
};

// Latency of each sample that reached the rig: the first frame carrying a new
// tag, matched with the latest sample of that tag written before it arrived.
// `sampleNs[n]` is the time sample n was written (from `first` on).
[[maybe_unused]] std::vector<double> matchLatencies(const std::function<int64_t(size_t)>& sampleNs, size_t first, size_t available,
                                   const std::vector<ArrivedFrame>& frames, size_t& undecoded, long& lastTag,
                                   size_t& lastSample) {
  std::vector<double> latencies;
  for (const ArrivedFrame& frame : frames) {
    const double scaled = std::fabs(frame.value) / kTagStep;
    const long tag = std::lround(scaled);
    if (std::fabs(scaled - static_cast<double>(tag)) > 0.2 || tag >= kTags) {
      ++undecoded;
      continue;
    }
    if (tag == lastTag) continue;  // the same sample again
    lastTag = tag;
    size_t low = first, high = available;
    while (low < high) {
      const size_t mid = low + (high - low) / 2;
      if (sampleNs(mid) <= frame.arrivalNs) low = mid + 1;
      else high = mid;
    }
    for (size_t n = low, back = 0; n > first && back < static_cast<size_t>(kTags); ++back) {
      --n;
      if (static_cast<long>(n % kTags) != tag) continue;
      if (n > lastSample || lastSample == 0) {
        latencies.push_back(static_cast<double>(frame.arrivalNs - sampleNs(n)) / 1e6);
        lastSample = n;
      }
      break;
    }
  }
  return latencies;
}

void useLogFolder(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  // The link's log lines go aside.
  platform::keepInForce(platform::FakePlatform().withDocumentsFolder(folder.string()));
}

int hostOnly(int seconds, const char* samplesFile) {
  const auto logDir = std::filesystem::temp_directory_path() / ("udp_link_period_" + std::to_string(rigsim::monotonicNs()));
  useLogFolder(logDir);
  Written written(static_cast<size_t>(seconds + 60) * 520);
  size_t firstSample = 0;  // the first written once the output fade is over
  const HostResult result = runLibrarySide(seconds, written, [&] {
    firstSample = written.count.load();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::printf("library side of the UDP link, %.1f s measured\n", result.measuredSeconds);
  printDistribution("multicast sender pass period", result.periods, "ms");
  std::printf("datagrams sent %llu (all of the run)\n",
              static_cast<unsigned long long>(udpLink().datagramsSent.load()));
  if (samplesFile != nullptr) {
    // Sample number and time written (this process's steady clock, in ns).
    if (FILE* out = std::fopen(samplesFile, "w")) {
      for (size_t n = firstSample; n < written.count.load(); ++n)
        std::fprintf(out, "%zu %lld\n", n, static_cast<long long>(written.ns[n].load()));
      std::fclose(out);
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(logDir, ignored);
  return result.rigAnswered ? 0 : 1;
}

}  // namespace

#if defined(_WIN32)
int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--host") != 0) {
    std::fprintf(stderr, "udp_link_period: on Windows only --host [seconds] (network namespaces are Linux's)\n");
    return 2;
  }
  return hostOnly(argc > 2 ? std::max(1, std::atoi(argv[2])) : 10, argc > 3 ? argv[3] : nullptr);
}
#else
// The latency of a --host run under Wine: its samples file against the motion
// log of `rigsim --udp ... --motion-log FILE`. Wine's performance counter
// runs on CLOCK_MONOTONIC_RAW, rigsim on CLOCK_MONOTONIC: the difference of the
// two clocks now is added to the sample times.
int matchFiles(const char* samplesFile, const char* motionFile) {
  timespec mono{}, raw{};
  clock_gettime(CLOCK_MONOTONIC, &mono);
  clock_gettime(CLOCK_MONOTONIC_RAW, &raw);
  const int64_t offset = (static_cast<int64_t>(mono.tv_sec) - raw.tv_sec) * 1000000000 + (mono.tv_nsec - raw.tv_nsec);
  std::vector<int64_t> samples;
  size_t firstNumber = 0;
  if (FILE* in = std::fopen(samplesFile, "r")) {
    unsigned long long n;
    long long ns;
    // Numbered from the window's first sample on; tags are the numbers modulo 97.
    while (std::fscanf(in, "%llu %lld", &n, &ns) == 2) {
      if (samples.empty()) firstNumber = static_cast<size_t>(n);
      samples.push_back(ns + offset);
    }
    std::fclose(in);
  }
  std::vector<ArrivedFrame> frames;
  if (FILE* in = std::fopen(motionFile, "r")) {
    long long ns;
    float value;
    while (std::fscanf(in, "%lld %f", &ns, &value) == 2) frames.push_back({ns, value});
    std::fclose(in);
  }
  size_t undecoded = 0, lastSample = 0;
  long lastTag = -1;
  const auto latencies = matchLatencies([&](size_t n) { return samples[n - firstNumber]; }, firstNumber,
                                        firstNumber + samples.size(), frames, undecoded, lastTag, lastSample);
  std::printf("clock offset MONOTONIC - MONOTONIC_RAW %.3f ms\n", static_cast<double>(offset) / 1e6);
  printDistribution("sample written to frame at the rig", latencies, "ms");
  std::printf("samples %zu, motion frames %zu, undecoded %zu\n", samples.size(), frames.size(), undecoded);
  return latencies.empty() ? 1 : 0;
}

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--host") == 0)
    return hostOnly(argc > 2 ? std::max(1, std::atoi(argv[2])) : 10, argc > 3 ? argv[3] : nullptr);
  if (argc > 3 && std::strcmp(argv[1], "--match") == 0) return matchFiles(argv[2], argv[3]);
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  rigsim::NamespacePair pair;
  std::string why;
  if (!pair.create(why)) {
    std::fprintf(stderr, "udp_link_period: %s\n", why.c_str());
    return 1;
  }
  const auto logDir = std::filesystem::temp_directory_path() / ("udp_link_period_" + std::to_string(rigsim::monotonicNs()));
  useLogFolder(logDir);

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

  // Latency: every frame arriving in the window, matched with the latest
  // sample of its tag written before it arrived.
  Written written(static_cast<size_t>(seconds + 60) * 520);
  std::vector<double> latencies;
  size_t undecoded = 0, frames = 0;
  const HostResult result = runLibrarySide(seconds, written, [&] {
    const size_t firstSample = written.count.load();
    int64_t lastArrival = rigsim::monotonicNs();
    long lastTag = -1;
    size_t lastSample = 0;
    auto collect = [&] {
      const size_t available = written.count.load(std::memory_order_acquire);
      std::vector<ArrivedFrame> fresh;
      for (const rigsim::ReceivedFrame& frame : rig.rig().motionLog()) {
        if (frame.arrivalNs <= lastArrival) continue;
        lastArrival = frame.arrivalNs;
        float value;
        std::memcpy(&value, frame.bytes.data() + 2, sizeof value);
        fresh.push_back({frame.arrivalNs, value});
      }
      frames += fresh.size();
      const auto more = matchLatencies([&](size_t n) { return written.ns[n].load(std::memory_order_relaxed); },
                                       firstSample, available, fresh, undecoded, lastTag, lastSample);
      latencies.insert(latencies.end(), more.begin(), more.end());
    };
    for (int elapsed = 0; elapsed < seconds; elapsed += 5) {  // the rig keeps its last 20 s
      std::this_thread::sleep_for(std::chrono::seconds(std::min(5, seconds - elapsed)));
      collect();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last datagrams land
  const uint64_t sent = udpLink().datagramsSent.load(), received = rig.datagrams();
  const rigsim::RigStats stats = rig.rig().stats(rigsim::monotonicNs());
  pair.enterOriginal();
  rig.stop();

  std::printf("UDP link between network namespaces, %.1f s measured\n", result.measuredSeconds);
  printDistribution("sample written to frame at the rig", latencies, "ms");
  printDistribution("multicast sender pass period", result.periods, "ms");
  std::printf("motion frames at the rig in the window %zu (%.0f/s), undecoded %zu\n", frames,
              static_cast<double>(frames) / result.measuredSeconds, undecoded);
  std::printf("datagrams sent %llu, received by the rig %llu, lost %lld; CRC errors %llu, checksummed motion %llu of %llu\n",
              static_cast<unsigned long long>(sent), static_cast<unsigned long long>(received),
              static_cast<long long>(sent) - static_cast<long long>(received),
              static_cast<unsigned long long>(stats.checksumErrors),
              static_cast<unsigned long long>(stats.checksummedMotionFrames),
              static_cast<unsigned long long>(stats.motionFrames));
  std::error_code ignored;
  std::filesystem::remove_all(logDir, ignored);
  return latencies.empty() || sent != received ? 1 : 0;
}
#endif
