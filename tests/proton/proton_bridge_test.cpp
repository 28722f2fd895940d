// Linux with Proton, end to end: the Windows build of gamesim runs under Wine
// and publishes each shared-memory game's memory by name, as the game would,
// while prbridge runs in the same prefix; this native process detects the
// game, attaches, reads the scripted lap and lets go when the game has ended.
// Built only where the MinGW build's prbridge.exe and gamesim.exe exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/motion_engine.h"
#include "gamesim/lap_motion.h"
#include "tools/platform/child_process.h"
#include "platform/processes.h"
#include "platform/shared_memory.h"
#include "sources/game_source.h"
#include "sources/readers/assetto_corsa.h"
#include "sources/readers/iracing.h"
#include "sources/readers/pcars2.h"
#include "sources/readers/raceroom.h"
#include "sources/readers/rfactor2.h"
#include "sources/readers/truck_sim.h"
#include "support/game_fixtures.h"
#include "support/motion_expectations.h"
#include "support/temp_dir.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;
using namespace channel;
using testing::IsolatedGames;
using testing::waitUntil;
namespace fs = std::filesystem;

const std::string kWine = PROTON_TEST_WINE;
const std::string kWindowsPrograms = PROTON_TEST_WINDOWS_PROGRAMS;  // the MinGW build's bin folder
const std::string kBridge = kWindowsPrograms + "/prbridge.exe";
const std::string kGamesim = kWindowsPrograms + "/gamesim.exe";
const fs::path kSharedMemoryFolder = "/dev/shm";

// A Unix path as Wine's drive Z: shows it.
std::string onDriveZ(const std::string& path) {
  std::string result = "Z:" + path;
  std::replace(result.begin(), result.end(), '/', '\\');
  return result;
}

std::unique_ptr<platform::ChildProcess> wine(const std::vector<std::string>& arguments) {
  return platform::ChildProcess::launch(kWine, "wine", arguments);
}

// Runs a Windows program to its end; its exit code, or -1.
int wineRun(const std::vector<std::string>& arguments, int timeoutMs = 60000) {
  auto child = wine(arguments);
  return child == nullptr ? -1 : child->wait(timeoutMs);
}

// The files the bridge backs its sections with, for one object namespace.
std::vector<fs::path> backingFiles(const std::string& objectNamespace, const fs::path& folder = kSharedMemoryFolder) {
  std::vector<fs::path> files;
  for (const char* name : {readers::kAcPhysicsName, readers::kAcGraphicsName, readers::kRaceRoomName,
                           readers::kProjectCarsName, readers::kIRacingName, readers::kRFactor2Name,
                           readers::kTruckSimName})
    files.push_back(folder / platform::posixObjectName(name, objectNamespace).substr(1));
  return files;
}

bool allExist(const std::vector<fs::path>& files) {
  return std::all_of(files.begin(), files.end(), [](const fs::path& f) { return fs::exists(f); });
}
bool noneExists(const std::vector<fs::path>& files) {
  return std::none_of(files.begin(), files.end(), [](const fs::path& f) { return fs::exists(f); });
}

// CPU seconds (user + system) a process has used so far, from /proc/<pid>/stat.
double cpuSeconds(uint32_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return -1.0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double user = 0, system = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {  // utime and stime are fields 14 and 15
    if (i == 14) user = std::stod(field);
    if (i == 15) system = std::stod(field);
  }
  return (user + system) / 100.0;  // clock ticks of 10 ms
}

// The lap time whose attitude the record holds, searched on a grid of 1 ms
// (then refined) over the whole lap; the residual says how well it fits.
struct LapFit {
  double seconds = -1.0;
  double residual = 1e9;  // degrees, largest of the three angles
};
LapFit fitLap(const SampleRecord& record, testing::ChannelConventions conventions, double from, double to, double step) {
  const gamesim::LapMotion lap;
  LapFit best;
  const auto residual = [&](double t) {
    const gamesim::MotionSample m = lap.at(t);
    double worst = 0.0;
    for (int index : {yaw_position, roll_position, pitch_position}) {
      double d = std::fabs(record.data[index] - *testing::expectedChannel(index, m, conventions));
      d = std::min(d, std::fabs(d - 360.0));
      worst = std::max(worst, d);
    }
    return worst;
  };
  for (double t = from; t <= to; t += step) {
    const double r = residual(t);
    if (r < best.residual) best = {t, r};
  }
  const double centre = best.seconds;
  for (double t = centre - step; t <= centre + step; t += step / 200.0) {
    const double r = residual(t);
    if (r < best.residual) best = {t, r};
  }
  return best;
}

struct BridgedGame {
  const char* key;  // gamesim's name of the game
  int id;
  const char* executable;  // the process name detection wants ("" for none)
  const char* memory;      // the section that shows the game is publishing
  testing::ChannelConventions conventions;
  bool wrapper;  // prbridge --run starts the game; otherwise the bridge runs on its own
};

const BridgedGame kGames[] = {
    {"assetto-corsa", 3, "", readers::kAcPhysicsName, {}, true},
    {"assetto-corsa-evo", 16, "AssettoCorsaEVO.exe", readers::kAcPhysicsName, {}, false},
    {"raceroom", 4, "RRRE64.exe", readers::kRaceRoomName, {}, true},
    {"pcars2", 9, "", readers::kProjectCarsName, {}, false},
    {"iracing", 10, "iRacingSim64DX11.exe", readers::kIRacingName, {true, false}, true},
    {"rfactor2", 14, "rFactor2.exe", readers::kRFactor2Name, {}, false},
    {"truck-sim", 17, "eurotrucks2.exe", readers::kTruckSimName, {false, true}, true},
};

// A Wine process's parent is not always the process that ran wine, so the
// process test here looks at every process (the memory lives in the test's
// own namespace, so a game of the same name elsewhere is never attached).
class ProtonBridge : public ::testing::Test {
 protected:
  IsolatedGames scope;
  platform::ScopedPlatform everyProcess{platform::FakePlatform().withEveryProcess()};
};

TEST_F(ProtonBridge, EverySharedMemoryGameEndToEnd) {
  for (const BridgedGame& game : kGames) {
    SCOPED_TRACE(std::string(game.key) + (game.wrapper ? " (--run)" : " (on its own)"));
    IsolatedGames own;  // a fresh namespace per game
    const platform::ScopedPlatform everyProcess(platform::FakePlatform().withEveryProcess());
    MotionEngine engine;
    for (int id = 0; id < kGameCount; ++id)
      if (id != game.id) engine.games().installReader(id, nullptr);
    engine.setMotionSystemReady(1);
    engine.start();

    const auto files = backingFiles(own.objectNamespace());
    std::vector<std::string> command = {kGamesim, game.key, "--namespace", own.objectNamespace(), "--rate", "500",
                                        "--seconds", "3"};
    if (game.executable[0] != '\0') command.insert(command.end(), {"--as", game.executable});
    std::vector<std::string> bridgeCommand = {kBridge, "--namespace", own.objectNamespace()};
    std::unique_ptr<platform::ChildProcess> bridge, gameProcess;
    if (game.wrapper) {
      bridgeCommand.push_back("--run");
      bridgeCommand.insert(bridgeCommand.end(), command.begin(), command.end());  // the game as a Unix path
      bridge = wine(bridgeCommand);
      ASSERT_NE(bridge, nullptr);
    } else {
      bridge = wine(bridgeCommand);
      ASSERT_NE(bridge, nullptr);
      ASSERT_TRUE(waitUntil([&] { return allExist(files); }, 60s));
      gameProcess = wine(command);
      ASSERT_NE(gameProcess, nullptr);
    }
    ASSERT_TRUE(waitUntil([&] { return engine.isAttached(); }, 60s));
    EXPECT_EQ(engine.games().getGameID(), game.id);
    EXPECT_TRUE(allExist(files));
    // The bridge's CPU use while the game runs.
    const double cpuBefore = cpuSeconds(bridge->id());
    std::this_thread::sleep_for(1s);
    const double bridgeCpu = cpuSeconds(bridge->id()) - cpuBefore;

    // The game ends after its 3 s; the engine lets go of it.
    if (gameProcess != nullptr) {
      EXPECT_EQ(gameProcess->wait(30000), 0);
      EXPECT_EQ(wineRun({kBridge, "--stop", "--namespace", own.objectNamespace()}), 0);
    }
    EXPECT_EQ(bridge->wait(30000), 0);  // --run hands on the game's exit code
    EXPECT_TRUE(noneExists(files));  // the bridge removed its files
    ASSERT_TRUE(waitUntil([&] { return !engine.isAttached(); }, 15s));
    engine.stop();
    EXPECT_EQ(engine.games().getGameID(), -1);

    // The last sample the engine took is a sample of the scripted lap.
    const LapFit fit = fitLap(engine.games().record(), game.conventions, 0.0, 4.0, 0.001);
    EXPECT_LT(fit.residual, 0.01) << "lap time " << fit.seconds;
    EXPECT_GT(fit.seconds, 1.0);
    std::printf("%s: lap read up to %.3f s (residual %.2g deg); bridge CPU %.1f %% of a core\n", game.key,
                fit.seconds, fit.residual, bridgeCpu * 100.0);
  }
}

// The bridge refuses clearly, with its own exit code, and leaves nothing behind.
TEST_F(ProtonBridge, Refusals) {
  testing::TempDir folder;
  const std::string ns = scope.objectNamespace();
  const auto files = backingFiles(ns, folder.path());
  const std::string z = onDriveZ(folder.path());

  // No shared-memory folder (not Linux, or a mistyped --folder).
  EXPECT_EQ(wineRun({kBridge, "--namespace", ns, "--folder", z + "\\missing"}), 3);
  // A name in the folder that another program keeps with another size: after
  // its 2-s wait the bridge removes the sections it made before that one and
  // leaves the file alone.
  const fs::path taken = files[2];
  std::ofstream(taken) << "not a game section";
  EXPECT_EQ(wineRun({kBridge, "--namespace", ns, "--folder", z}), 4);
  EXPECT_EQ(fs::file_size(taken), 18u);
  EXPECT_FALSE(fs::exists(files[0]));
  EXPECT_FALSE(fs::exists(files[1]));
  fs::remove(taken);
  // A name taken only for a moment, as the library's detection takes the truck
  // simulator's while the bridge starts: the bridge waits for it and serves.
  std::ofstream(taken) << "a moment";
  auto patient = wine({kBridge, "--namespace", ns, "--folder", z});
  ASSERT_NE(patient, nullptr);
  ASSERT_TRUE(waitUntil([&] { return fs::exists(files[0]); }, 60s));  // the sections before the taken one
  std::this_thread::sleep_for(200ms);
  fs::remove(taken);
  EXPECT_TRUE(waitUntil([&] { return allExist(files); }, 60s));
  EXPECT_EQ(wineRun({kBridge, "--namespace", ns, "--stop"}), 0);
  EXPECT_EQ(patient->wait(30000), 0);
  EXPECT_TRUE(noneExists(files));
  // No bridge to stop; and an unknown option.
  EXPECT_EQ(wineRun({kBridge, "--namespace", ns, "--stop"}), 7);
  EXPECT_EQ(wineRun({kBridge, "--namespace", ns, "--bogus"}), 2);

  // A game that made its section before the bridge started: its memory is
  // not the bridge's file, so the bridge refuses (and removes what it made).
  const fs::path started = folder.path() / "started";
  auto early = wine({kGamesim, "raceroom", "--namespace", ns, "--seconds", "20", "--start-file", onDriveZ(started)});
  ASSERT_NE(early, nullptr);
  ASSERT_TRUE(waitUntil([&] { return fs::exists(started) && fs::file_size(started) > 0; }, 60s));
  EXPECT_EQ(wineRun({kBridge, "--namespace", ns, "--folder", z}), 4);
  EXPECT_TRUE(noneExists(files));
  early->stop();

  // A second bridge in the same prefix: refused, the first bridge untouched.
  auto first = wine({kBridge, "--namespace", ns, "--folder", z});
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(waitUntil([&] { return allExist(files); }, 60s));
  EXPECT_EQ(wineRun({kBridge, "--namespace", ns, "--folder", z}), 4);
  EXPECT_TRUE(allExist(files));
  EXPECT_EQ(wineRun({kBridge, "--namespace", ns, "--stop"}), 0);
  EXPECT_EQ(first->wait(30000), 0);
  EXPECT_TRUE(noneExists(files));

  // A program that cannot be started.
  EXPECT_EQ(wineRun({kBridge, "--namespace", ns, "--folder", z, "--run", z + "\\no-such-game.exe"}), 6);
  EXPECT_TRUE(noneExists(files));
}

// Time from a page written under Wine to the sample in the native record, with
// the reader called once per 2-ms cycle as the engine calls it. gamesim tells
// the system-clock time of its lap time 0; the record's attitude tells the lap
// time of the sample, hence when it was written.
TEST_F(ProtonBridge, PageToRecordLatency) {
  const std::string ns = scope.objectNamespace();
  testing::TempDir folder;
  const fs::path startFile = folder.path() / "start";
  const auto files = backingFiles(ns);
  auto bridge = wine({kBridge, "--namespace", ns, "--run", kGamesim, "rfactor2", "--namespace", ns, "--rate", "500",
                      "--seconds", "5", "--as", "rFactor2.exe", "--start-file", onDriveZ(startFile)});
  ASSERT_NE(bridge, nullptr);
  long long startNs = 0;
  ASSERT_TRUE(waitUntil([&] { return (std::ifstream(startFile) >> startNs) && startNs > 0; }, 60s));

  GameSource source;
  source.setDetectionPauseMs(0);
  for (int id = 0; id < kGameCount; ++id)
    if (id != 14) source.installReader(id, nullptr);
  ASSERT_TRUE(waitUntil([&] { return source.detectGame() && source.attachGame(); }, 30s));

  struct Taken {
    SampleRecord record;
    std::chrono::system_clock::time_point at;
  };
  std::vector<Taken> taken;
  taken.reserve(1000);
  auto next = std::chrono::steady_clock::now();
  while (taken.size() < 1000 && bridge->running()) {
    if (source.readSample()) taken.push_back({source.record(), std::chrono::system_clock::now()});
    next += 2ms;
    std::this_thread::sleep_until(next);
  }
  ASSERT_GE(taken.size(), 500u);
  std::vector<double> latencyMs;
  for (const Taken& t : taken) {
    const double since = std::chrono::duration<double>(t.at.time_since_epoch()).count() - static_cast<double>(startNs) * 1e-9;
    const LapFit fit = fitLap(t.record, {}, since - 0.1, since + 0.005, 0.0005);
    ASSERT_LT(fit.residual, 1e-4);  // the sample is one the lap holds
    latencyMs.push_back((since - fit.seconds) * 1000.0);
  }
  std::sort(latencyMs.begin(), latencyMs.end());
  const auto at = [&](double q) { return latencyMs[static_cast<size_t>(q * static_cast<double>(latencyMs.size() - 1))]; };
  std::printf("page written under Wine to native record, %zu samples: p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
              latencyMs.size(), at(0.5), at(0.99), latencyMs.back());
  EXPECT_GT(at(0.0), -0.5);  // no sample is seen before it was written (clocks agree)
  source.detachGame();
  EXPECT_EQ(bridge->wait(30000), 0);
  EXPECT_TRUE(noneExists(files));
}

}  // namespace
}  // namespace portrelay
