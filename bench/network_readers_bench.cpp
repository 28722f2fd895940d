// The network games' decoders: the cost of decoding one datagram (or one
// NoLimits 2 answer) of gamesim's lap, per format, and of one reader call
// that receives and decodes a datagram waiting on a loopback socket.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "gamesim/nolimits2_sim.h"
#include "gamesim/udp_games_sim.h"
#include "platform/paths.h"
#include "platform/sockets.h"
#include "sources/readers/network_games.h"
#include "sources/readers/nolimits2.h"
#include "tools/platform/fake_platform.h"

namespace {

using namespace portrelay;
using namespace portrelay::readers;
using Encoder = std::function<void(const gamesim::MotionSample&, std::vector<uint8_t>&)>;

constexpr int kDatagrams = 64;  // distinct samples, cycled

std::vector<std::vector<uint8_t>> lapDatagrams(const Encoder& encode) {
  std::vector<std::vector<uint8_t>> all(kDatagrams);
  const gamesim::LapMotion lap;
  for (int i = 0; i < kDatagrams; ++i) encode(lap.at(1.0 + 0.002 * i), all[static_cast<size_t>(i)]);
  return all;
}

template <typename Decode>
void decodeEach(benchmark::State& state, const std::vector<std::vector<uint8_t>>& datagrams, Decode decode) {
  SampleRecord record;
  size_t i = 0;
  for (auto _ : state) {
    const auto& d = datagrams[i];
    benchmark::DoNotOptimize(decode(ByteView{d.data(), d.size()}, record));
    benchmark::ClobberMemory();
    i = (i + 1) % datagrams.size();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_DecodeXPlane(benchmark::State& state) {
  const auto d = lapDatagrams([](const auto& m, auto& out) { gamesim::xplane::encode(m, true, out); });
  int32_t ground = 0;
  decodeEach(state, d, [&](ByteView v, SampleRecord& r) { return decodeXPlane(v, ground, r); });
}
void BM_DecodeDcs(benchmark::State& state) {
  decodeEach(state, lapDatagrams(gamesim::dcs::encode), decodeDcs);
}
void BM_DecodeDirtRally2(benchmark::State& state) {
  decodeEach(state, lapDatagrams(gamesim::dirt::encode), decodeDirtRally2);
}
void BM_DecodeCondor2(benchmark::State& state) {
  Condor2Values kept;
  decodeEach(state, lapDatagrams(gamesim::condor::encode),
             [&](ByteView v, SampleRecord& r) { return decodeCondor2(v, kept, r); });
}
void BM_DecodeF1Motion(benchmark::State& state) {
  decodeEach(state, lapDatagrams([](const auto& m, auto& out) {
               gamesim::f1::encodeMotion(m, gamesim::f1::kFormat2024, gamesim::f1::kPlayerCar, out);
             }),
             decodeF1);
}
void BM_DecodeF1ExtendedMotion(benchmark::State& state) {
  decodeEach(state, lapDatagrams([](const auto& m, auto& out) {
               gamesim::f1::encodeExtendedMotion(m, gamesim::f1::kFormat2024, out);
             }),
             decodeF1);
}
void BM_DecodeWrc(benchmark::State& state) {
  WrcState wrc;
  decodeEach(state, lapDatagrams(gamesim::wrc::encode),
             [&](ByteView v, SampleRecord& r) { return decodeWrc(v, 2.0, wrc, r); });
}
void BM_DecodeBeamNg(benchmark::State& state) {
  decodeEach(state, lapDatagrams(gamesim::beamng::encode), decodeBeamNg);
}
void BM_DecodeLfs(benchmark::State& state) { decodeEach(state, lapDatagrams(gamesim::lfs::encode), decodeLfs); }
void BM_DecodeNoLimits2Answer(benchmark::State& state) {
  std::vector<std::vector<uint8_t>> answers;
  const gamesim::LapMotion lap;
  for (int i = 0; i < kDatagrams; ++i)
    answers.push_back(gamesim::nl2::encode({gamesim::nl2::kTelemetryAnswer, kNoLimitsTelemetryRequestId,
                                            gamesim::nl2::telemetryData(lap.at(1.0 + 0.01 * i), 1, i + 1)}));
  NoLimitsState kept;
  decodeEach(state, answers, [&](ByteView v, SampleRecord& r) { return decodeNoLimitsAnswer(v, 2.0, kept, r); });
}

// One read() of the Live for Speed reader with one datagram waiting: the
// receive, the decode and the gravity split (the send is outside the timing).
void BM_LfsReaderReadsAWaitingDatagram(benchmark::State& state) {
  static const bool logsAside = [] {
    const auto folder = std::filesystem::temp_directory_path() / "portrelay-bench-documents";
    std::filesystem::create_directories(folder);
    platform::keepInForce(platform::FakePlatform().withDocumentsFolder(folder.string()));
    return true;
  }();
  (void)logsAside;
  // Bind the reader on a port the system picks, then point the game at it.
  platform::NetworkStartup startup;
  platform::startNetworking(startup);
  const platform::SocketHandle probe = platform::openUdpSocket();
  platform::bindSocket(probe, platform::loopbackAddress(0));
  const uint16_t port = platform::portOf(platform::localAddress(probe));
  platform::closeSocket(probe);
  LfsReader bound(port);
  if (!bound.attach()) {
    state.SkipWithError("cannot bind");
    return;
  }
  gamesim::DatagramGameSim sender(port, [](const gamesim::MotionSample& m, int32_t, std::vector<uint8_t>& out) {
    gamesim::lfs::encode(m, out);
  });
  sender.start();
  const gamesim::LapMotion lap;
  SampleRecord record;
  double t = 0.0;
  int64_t samples = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sender.write(lap.at(t += 0.002));
    state.ResumeTiming();
    samples += bound.read(record) ? 1 : 0;
  }
  bound.detach();
  sender.stop();
  platform::stopNetworking();
  state.counters["samples"] = static_cast<double>(samples);
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_DecodeXPlane);
BENCHMARK(BM_DecodeDcs);
BENCHMARK(BM_DecodeDirtRally2);
BENCHMARK(BM_DecodeCondor2);
BENCHMARK(BM_DecodeF1Motion);
BENCHMARK(BM_DecodeF1ExtendedMotion);
BENCHMARK(BM_DecodeWrc);
BENCHMARK(BM_DecodeBeamNg);
BENCHMARK(BM_DecodeLfs);
BENCHMARK(BM_DecodeNoLimits2Answer);
BENCHMARK(BM_LfsReaderReadsAWaitingDatagram)->Iterations(20000);

BENCHMARK_MAIN();
