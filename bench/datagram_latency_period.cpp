// How long a sample takes from gamesim to the engine's record: for each
// network game, gamesim writes a sample every 2 ms (a datagram leaves at once;
// for NoLimits 2 the sample becomes the server's answer to the next request)
// while the engine runs its 500-Hz loop; when a read puts a sample into the
// record, the time since that sample was written is one measurement.
//   datagram_latency_period [seconds per game] [game key ...]
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/motion_engine.h"
#include "gamesim/game_catalog.h"
#include "gamesim/nolimits2_sim.h"
#include "platform/paths.h"
#include "platform/sockets.h"
#include "sources/readers/network_reader_factory.h"
#include "sources/readers/network_games.h"
#include "sources/readers/nolimits2.h"
#include "tools/platform/fake_platform.h"

namespace {

using namespace portrelay;
using Clock = std::chrono::steady_clock;

// A sample's number travels in its heading: 0.1 degree per number, 3400
// numbers (6.8 s of samples) before it repeats.
constexpr int kCodes = 3400;
constexpr double kFirstHeading = -170.0;
constexpr double kHeadingStep = 0.1;

gamesim::MotionSample numbered(const gamesim::LapMotion& lap, int64_t n, double seconds) {
  gamesim::MotionSample m = lap.at(seconds);
  m.yaw = (kFirstHeading + kHeadingStep * static_cast<double>(n % kCodes)) * gamesim::kPi / 180.0;
  return m;
}
int codeOf(double headingDegrees) {
  return static_cast<int>(std::lround((headingDegrees - kFirstHeading) / kHeadingStep));
}

struct SendTimes {
  std::array<std::atomic<int64_t>, kCodes> ns{};
};

// Takes the game's reader as it is, skips detection (the processes some
// games need are not the point here), and stamps each sample it delivers.
class StampingReader : public GameReader {
 public:
  StampingReader(std::unique_ptr<GameReader> inner, const SendTimes& sent) : inner_(std::move(inner)), sent_(sent) {
    latenciesUs.reserve(100000);
  }
  bool detect() override { return true; }
  bool attach() override { return inner_->attach(); }
  void detach() override { inner_->detach(); }
  bool read(SampleRecord& record) override {
    if (!inner_->read(record)) return false;
    const int64_t now = Clock::now().time_since_epoch().count();
    const int code = codeOf(record.data[channel::yaw_position]);
    if (recording.load(std::memory_order_relaxed) && code >= 0 && code < kCodes &&
        latenciesUs.size() < latenciesUs.capacity()) {
      const int64_t sent = sent_.ns[static_cast<size_t>(code)].load(std::memory_order_relaxed);
      if (sent != 0) latenciesUs.push_back(std::chrono::duration<double, std::micro>(Clock::duration(now - sent)).count());
    }
    return true;
  }
  std::vector<double> latenciesUs;  // engine thread while recording, main thread after the engine stopped
  std::atomic<bool> recording{false};

 private:
  std::unique_ptr<GameReader> inner_;
  const SendTimes& sent_;
};

uint16_t freeUdpPort() {
  const platform::SocketHandle socket = platform::openUdpSocket();
  platform::bindSocket(socket, platform::loopbackAddress(0));
  const uint16_t port = platform::portOf(platform::localAddress(socket));
  platform::closeSocket(socket);
  return port;
}

void measure(const gamesim::GameEntry& entry, double seconds) {
  uint16_t port = 0;
  std::unique_ptr<gamesim::GameSim> game;
  if (entry.gameId == 8) {
    auto server = std::make_unique<gamesim::NoLimitsSim>(0);
    if (server->start()) port = server->port();
    game = std::move(server);
  } else {
    port = freeUdpPort();
    game = entry.make({port});
    if (!game->start()) port = 0;
  }
  if (port == 0) {
    std::printf("%-12.*s cannot start\n", static_cast<int>(entry.key.size()), entry.key.data());
    return;
  }
  SendTimes sent;
  MotionEngine engine;
  for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
  auto owned = std::make_unique<StampingReader>(readers::makeNetworkReader(entry.gameId, port), sent);
  StampingReader* reader = owned.get();
  engine.games().installReader(entry.gameId, std::move(owned));
  engine.setMotionSystemReady(1);
  engine.start();

  std::atomic<bool> sending{true};
  int64_t written = 0;
  std::thread sender([&] {
    const gamesim::LapMotion lap;
    const auto begin = Clock::now();
    auto next = begin;
    for (int64_t n = 0; sending.load(std::memory_order_relaxed); ++n) {
      const auto m = numbered(lap, n, std::chrono::duration<double>(Clock::now() - begin).count());
      sent.ns[static_cast<size_t>(n % kCodes)].store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
      game->write(m);
      ++written;
      next += std::chrono::microseconds(2000);
      std::this_thread::sleep_until(next);
    }
  });
  while (!engine.isAttached()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int64_t writtenBefore = written;  // read racily: only a rough count
  reader->recording = true;
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  reader->recording = false;
  const int64_t writtenDuring = written - writtenBefore;
  engine.stop();
  sending = false;
  sender.join();
  game->stop();

  std::vector<double> us = reader->latenciesUs;
  if (us.empty()) {
    std::printf("%-12.*s no samples\n", static_cast<int>(entry.key.size()), entry.key.data());
    return;
  }
  std::sort(us.begin(), us.end());
  const auto at = [&](double q) { return us[std::min(us.size() - 1, static_cast<size_t>(q * us.size()))]; };
  std::printf("%-12.*s samples %6zu of ~%6lld written  p50 %7.1f us  p90 %7.1f  p99 %7.1f  max %8.1f\n",
              static_cast<int>(entry.key.size()), entry.key.data(), us.size(), static_cast<long long>(writtenDuring),
              at(0.5), at(0.9), at(0.99), us.back());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  std::vector<std::string> keys;
  for (int i = 2; i < argc; ++i) keys.push_back(argv[i]);
  if (keys.empty()) keys = {"xplane", "dcs", "dirt-rally2", "condor2", "f1", "nolimits2", "wrc", "beamng", "lfs"};

  const auto folder = std::filesystem::temp_directory_path() / "portrelay-latency-documents";
  std::filesystem::create_directories(folder);
  // The endpoints' log lines go aside.
  platform::keepInForce(platform::FakePlatform().withDocumentsFolder(folder.string()));
  platform::NetworkStartup startup;
  platform::startNetworking(startup);
  for (const auto& key : keys) {
    const gamesim::GameEntry* entry = gamesim::findGame(key);
    if (entry == nullptr) {
      std::fprintf(stderr, "datagram_latency_period: unknown game '%s'\n", key.c_str());
      return 2;
    }
    measure(*entry, seconds);
  }
  platform::stopNetworking();
  return 0;
}
