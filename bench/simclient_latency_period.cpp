// How long a data message takes from the simulated flight simulator to the
// engine's record: the server sends a data message every 2 ms, numbered in its
// heading, while the engine runs its 500-Hz loop on the flight simulator's
// reader; when a read puts a message's values into the record, the time since
// the server sent it is one measurement.
//   simclient_latency_period [seconds] [tcp|pipe ...]   (pipe: Windows only)
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/motion_engine.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "simserver/sim_server.h"
#include "sources/readers/flight_simulator.h"
#include "tools/platform/fake_platform.h"

namespace {

using namespace portrelay;
using Clock = std::chrono::steady_clock;

// A message's number travels in its heading: 0.1 degree per number.
constexpr int kCodes = 3400;
constexpr double kStep = 0.1;
constexpr double kPi = 3.14159265358979323846;

struct SendTimes {
  std::array<std::atomic<int64_t>, kCodes> ns{};
};

// The reader's connection without the process test (the simulator's process
// is not the point here); stamps each message whose values reach the record.
class StampingReader : public GameReader {
 public:
  explicit StampingReader(const SendTimes& sent) : sent_(sent) { latenciesUs.reserve(100000); }
  bool detect() override {
    if (connection_ == nullptr) connection_ = readers::clientConnector()(readers::kFlightSimClientName);
    return connection_ != nullptr;
  }
  bool attach() override { return connection_ != nullptr && connection_->setUp(); }
  void detach() override { connection_.reset(); }
  bool read(SampleRecord& record) override {
    int32_t ground = 0;
    if (connection_ == nullptr || !connection_->read(record, ground)) return false;
    const int64_t now = Clock::now().time_since_epoch().count();
    const int code = static_cast<int>(std::lround(record.data[channel::yaw_position] / kStep));
    if (code != lastCode_ && recording.load(std::memory_order_relaxed) && code >= 0 && code < kCodes &&
        latenciesUs.size() < latenciesUs.capacity()) {
      const int64_t sent = sent_.ns[static_cast<size_t>(code)].load(std::memory_order_relaxed);
      if (sent != 0) latenciesUs.push_back(std::chrono::duration<double, std::micro>(Clock::duration(now - sent)).count());
    }
    lastCode_ = code;
    return true;
  }
  std::vector<double> latenciesUs;  // engine thread while recording, main thread after the engine stopped
  std::atomic<bool> recording{false};

 private:
  const SendTimes& sent_;
  std::unique_ptr<readers::FlightSimConnection> connection_;
  int lastCode_ = -1;
};

void measure(const std::string& transport, double seconds, const std::filesystem::path& documents) {
  simserver::ServerOptions options;
  options.rateHz = 0.0;  // only the numbered messages below
  std::string config = "[SimConnect]\n";
  if (transport == "pipe") {
    options.tcp = false;
    options.pipeName = "portrelay-latency-" + std::to_string(platform::currentProcessId());
    config += "Protocol=Pipe\nPort=" + options.pipeName + "\n";
  }
  simserver::SimServer server(options);
  if (!server.start()) {
    std::printf("%-5s cannot serve\n", transport.c_str());
    return;
  }
  if (transport == "tcp")
    config += "Protocol=IPv4\nAddress=127.0.0.1\nDisableNagle=1\nPort=" + std::to_string(server.tcpPort()) + "\n";
  std::ofstream(documents / "SimConnect.cfg") << config;

  SendTimes sent;
  MotionEngine engine;
  for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
  auto owned = std::make_unique<StampingReader>(sent);
  StampingReader* reader = owned.get();
  engine.games().installReader(2, std::move(owned));
  engine.setMotionSystemReady(1);
  engine.start();
  while (!server.setUpComplete()) std::this_thread::sleep_for(std::chrono::milliseconds(5));

  std::atomic<bool> sending{true};
  std::atomic<int64_t> written{0};
  std::thread sender([&] {
    const simserver::FlightScript flight;
    auto next = Clock::now();
    for (int64_t n = 0; sending.load(std::memory_order_relaxed); ++n) {
      simserver::FlightSample s = flight.at(30.0);
      const int code = static_cast<int>(n % kCodes);
      s.heading = code * kStep * kPi / 180.0;
      sent.ns[static_cast<size_t>(code)].store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
      server.sendData(s);
      written.fetch_add(1, std::memory_order_relaxed);
      next += std::chrono::microseconds(2000);
      std::this_thread::sleep_until(next);
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int64_t writtenBefore = written.load();
  reader->recording = true;
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  reader->recording = false;
  const int64_t writtenDuring = written.load() - writtenBefore;
  engine.stop();
  sending = false;
  sender.join();
  engine.games().detachGame();
  server.stop();

  std::vector<double> us = reader->latenciesUs;
  if (us.empty()) {
    std::printf("%-5s no samples\n", transport.c_str());
    return;
  }
  std::sort(us.begin(), us.end());
  const auto at = [&](double q) { return us[std::min(us.size() - 1, static_cast<size_t>(q * us.size()))]; };
  std::printf("%-5s messages %6zu of ~%6lld sent  p50 %7.1f us  p90 %7.1f  p99 %7.1f  max %8.1f\n",
              transport.c_str(), us.size(), static_cast<long long>(writtenDuring), at(0.5), at(0.9), at(0.99),
              us.back());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  std::vector<std::string> transports;
  for (int i = 2; i < argc; ++i) transports.push_back(argv[i]);
  if (transports.empty()) transports = {"tcp", "pipe"};
  const auto folder = std::filesystem::temp_directory_path() /
                      ("portrelay-simclient-latency-" + std::to_string(platform::currentProcessId()));
  std::filesystem::create_directories(folder);
  // Where the client finds its configuration file.
  platform::keepInForce(platform::FakePlatform().withDocumentsFolder(folder.string()));
  for (const auto& transport : transports) measure(transport, seconds, folder);
  std::filesystem::remove_all(folder);
  return 0;
}
