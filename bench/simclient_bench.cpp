// The flight simulator's client: one engine cycle's polling with no message
// waiting (a connected TCP client), and the dispatch of one data message.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/paths.h"
#include "platform/processes.h"
#include "simclient/client.h"
#include "simserver/sim_server.h"
#include "sources/readers/flight_simulator.h"

namespace {

using namespace portrelay;

void PollWithNothingWaiting(benchmark::State& state) {
  simserver::ServerOptions options;
  options.rateHz = 0.0;
  simserver::SimServer server(options);
  if (!server.start()) {
    state.SkipWithError("cannot serve");
    return;
  }
  const auto folder = std::filesystem::temp_directory_path() /
                      ("portrelay-simclient-bench-" + std::to_string(platform::currentProcessId()));
  std::filesystem::create_directories(folder);
  const auto config = (folder / "SimConnect.cfg").string();
  std::ofstream(config) << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << server.tcpPort() << "\n";
  std::unique_ptr<simclient::ClientClient> client;
  if (simclient::ClientClient::open(client, readers::kFlightSimClientName, {}, {config}) != simclient::kResultOk) {
    state.SkipWithError("cannot connect");
    return;
  }
  SampleRecord record;
  int32_t ground = 0;
  simclient::ClientResult last = simclient::kResultOk;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  readers::flightsim::pollMessages(*client, record, ground, last);  // the open reply
  for (auto _ : state) benchmark::DoNotOptimize(readers::flightsim::pollMessages(*client, record, ground, last));
  simclient::ClientClient::close(std::move(client));
  server.stop();
  std::filesystem::remove_all(folder);
}
BENCHMARK(PollWithNothingWaiting);

void HandleDataMessage(benchmark::State& state) {
  const auto message = simserver::objectDataMessage(0, simserver::FlightScript().at(33.0));
  SampleRecord record;
  int32_t ground = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(readers::flightsim::handleMessage(message, record, ground));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(HandleDataMessage);

}  // namespace

BENCHMARK_MAIN();
