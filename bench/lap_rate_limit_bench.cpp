// What the output rate limit does to real motion: each gamesim game plays its
// 60-s lap (gamesim in a child process, under the game's executable name), a
// private engine on a private link runs it through a profile with the rate
// limit off, and every frame it queues goes through limiters at a few rates.
// Per game: the largest step between two frames, and the largest difference
// the limit makes, as a share of the axis's rig-limit range.
//
//   lap_rate_limit_bench PROFILE.json SECONDS GAME...   (games run at once)
//
// A plain measuring program (no benchmark loop); native builds only, as it
// reads the profile with the JSON library the host uses.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/motion_engine.h"
#include "gamesim/game_catalog.h"
#include "platform/processes.h"
#include "tools/platform/child_process.h"
#include "riglink/link_state.h"

namespace {

using namespace portrelay;
namespace platform = portrelay::platform;
using Clock = std::chrono::steady_clock;

constexpr std::array<double, 6> kRates = {10.0, 15.0, 20.0, 25.0, 30.0, 40.0};  // units per second
constexpr const char* kAxisNames[kRigAxisCount] = {"sway", "surge", "heave", "yaw", "roll", "pitch"};

void applyProfile(const nlohmann::json& profile, MotionEngine& engine, std::array<double, kRigAxisCount>& range) {
  const char* names[2] = {"AIR", "GROUND"};
  for (int p = 0; p < 2; ++p) {
    if (!profile["profiles"].contains(names[p])) continue;
    const auto& motion = profile["profiles"][names[p]];
    if (motion.contains("slots"))
      for (const auto& [key, slot] : motion["slots"].items()) {
        const int s = std::atoi(key.c_str());
        if (slot.contains("filter"))
          engine.installFilterString(p, s, slot["filter"].get<std::string>().c_str());
        if (slot.contains("active")) engine.setActiveAxis(p, s, slot["active"].get<bool>() ? 1 : 0);
      }
    if (motion.contains("beltWeights"))
      for (const auto& [key, weight] : motion["beltWeights"].items())
        engine.setBeltMix(p, std::atoi(key.c_str()), weight.get<double>());
  }
  for (const auto& [key, l] : profile["inputLimits"].items())
    engine.setInputLimit(std::atoi(key.c_str()), l[0].get<double>(), l[1].get<double>());
  for (int axis = 0; axis < kRigAxisCount; ++axis) {
    const auto& l = profile["rig"]["limits"][kAxisNames[axis]];
    engine.setRigLimit(axis, l[0].get<double>(), l[1].get<double>());
    range[static_cast<size_t>(axis)] = l[1].get<double>() - l[0].get<double>();
  }
}

struct Result {
  std::string game;
  uint64_t frames = 0;
  std::array<double, kRigAxisCount> largestStep{};
  std::array<std::array<double, kRigAxisCount>, kRates.size()> largestShare{};  // of the range, per rate
  bool attached = false;
};

void runGame(const std::string& key, const nlohmann::json& profile, double seconds, Result& result) {
  result.game = key;
  const gamesim::GameEntry* entry = gamesim::findGame(key);
  if (entry == nullptr || entry->gameId < 0) return;
  const std::string program = platform::executableDirectory() + "/gamesim" + platform::kExecutableSuffix;
  auto child = platform::ChildProcess::launch(program, entry->executable.empty() ? "gamesim" : std::string(entry->executable),
                                              {key, "--seconds", std::to_string(seconds + 30.0)});
  if (child == nullptr) return;

  RigLink link;
  link.setRelayRunning(1);
  MotionEngine engine(link);
  for (int id = 0; id < kGameCount; ++id)
    if (id != entry->gameId) engine.games().installReader(id, nullptr);
  std::array<double, kRigAxisCount> range{};
  applyProfile(profile, engine, range);
  for (int channel = 0; channel < kRateLimitedChannels; ++channel) engine.setOutputRateLimit(channel, 0.0);
  engine.setMotionSystemReady(1);
  engine.start();

  std::array<OutputRateLimiter, kRates.size()> limiters;
  for (size_t r = 0; r < kRates.size(); ++r)
    for (int axis = 0; axis < kRigAxisCount; ++axis) limiters[r].setLimit(axis, kRates[r]);
  const auto attachDeadline = Clock::now() + std::chrono::seconds(10);
  while (!engine.isAttached() && Clock::now() < attachDeadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  result.attached = engine.isAttached();
  engine.setTimerPrecision(0);  // many engines share the cores: sleep, do not spin
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  std::array<float, kRigAxisCount> previous{};
  uint8_t bytes[kMaxMessageLength];
  while (result.attached && Clock::now() < end) {
    while (link.serialTxQueue().takeFront(bytes)) {
      const MotionFrameValues frame = decodeMotionFrame(bytes);
      link.networkTxQueue().removeIf([](const uint8_t*, size_t) { return true; });
      for (size_t r = 0; r < kRates.size(); ++r) {
        std::array<double, kRateLimitedChannels> values{};
        for (int axis = 0; axis < kRigAxisCount; ++axis) values[static_cast<size_t>(axis)] = frame.axes[static_cast<size_t>(axis)];
        limiters[r].apply(values);
        for (size_t axis = 0; axis < kRigAxisCount; ++axis)
          result.largestShare[r][axis] =
              std::max(result.largestShare[r][axis], std::abs(values[axis] - frame.axes[axis]) / range[axis]);
      }
      if (result.frames > 0)
        for (size_t axis = 0; axis < kRigAxisCount; ++axis)
          result.largestStep[axis] = std::max(result.largestStep[axis], double{std::abs(frame.axes[axis] - previous[axis])});
      previous = frame.axes;
      ++result.frames;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  engine.stop();
  child->stop(5000);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: lap_rate_limit_bench PROFILE.json SECONDS GAME...\n");
    return 2;
  }
  std::ifstream file(argv[1]);
  std::stringstream text;
  text << file.rdbuf();
  const nlohmann::json profile = nlohmann::json::parse(text.str());
  const double seconds = std::atof(argv[2]);
  std::vector<Result> results(static_cast<size_t>(argc - 3));
  std::vector<std::thread> threads;
  for (int i = 3; i < argc; ++i)
    threads.emplace_back([&, i] { runGame(argv[i], profile, seconds, results[static_cast<size_t>(i - 3)]); });
  for (std::thread& t : threads) t.join();

  std::printf("%-18s %7s  largest step per frame (sway surge heave yaw roll pitch)  |  largest change by the limit, %% of range, at", "game", "frames");
  for (double rate : kRates) std::printf(" %g", rate);
  std::printf(" units/s\n");
  for (const Result& r : results) {
    if (!r.attached) {
      std::printf("%-18s not attached\n", r.game.c_str());
      continue;
    }
    std::printf("%-18s %7llu ", r.game.c_str(), static_cast<unsigned long long>(r.frames));
    for (double step : r.largestStep) std::printf(" %.4f", step);
    std::printf("  |");
    for (const auto& shares : r.largestShare) {
      const auto worst = std::max_element(shares.begin(), shares.end());
      std::printf(" %.2f%%(%s)", 100.0 * *worst, kAxisNames[worst - shares.begin()]);
    }
    std::printf("\n");
  }
  return 0;
}
