// gamesim: plays one supported game from the outside, for tests, benchmarks and
// demonstrations.
//
//   gamesim <game> [--rate HZ] [--seconds S] [--state N] [--namespace PREFIX]
//                  [--port P] [--as EXE] [--crash-after S] [--start-file PATH]
//   gamesim --list
//   gamesim replay FILE.csv --as GAME [--seconds S] [--namespace PREFIX] [--port P]
//
// --as EXE runs the simulation in a child that shows up in the process list as
// EXE (a game's executable name); on Windows the child is a renamed copy.
// --crash-after S ends the process after S seconds the way a crashing game
// ends: at once, withdrawing nothing (its memory keeps its last contents, and
// a POSIX object keeps its name).
// --start-file PATH writes the system-clock time of lap time 0 (nanoseconds
// since 1970) into PATH, so that another process can tell when each sample
// was written (the sample of lap time t at that time + t).
// replay sends a recording (portrelay run --record) as GAME's telemetry at the
// recording's own pace, once; a game whose detection looks for its process
// runs in a child named like it.
//
// Exit codes: 0 the run ended; 1 the game could not publish or the child could
// not be started; 2 a wrong command line; 3 --crash-after; 4 a child named like
// the game did not end in time and was stopped. Each non-zero code comes with
// one line on standard error saying why.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "gamesim/game_catalog.h"
#include "gamesim/recorded_motion.h"
#include "gamesim/simulation_runner.h"
#include "tools/platform/child_process.h"
#include "tools/platform/fake_platform.h"
#include "platform/processes.h"
#include "platform/shared_memory.h"

namespace {

namespace platform = portrelay::platform;
using Clock = std::chrono::steady_clock;

struct Settings {
  std::string game;
  double rateHz = 500.0;
  double seconds = 600.0;  // a bound, so a forgotten simulator ends by itself
  bool hasState = false;
  int state = 0;
  std::string objectNamespace;
  std::string runAs;
  double crashAfter = 0.0;  // 0: run the whole time and clean up
  std::string startFile;
  gamesim::GameOptions options;
  std::vector<std::string> forwarded;  // everything but --as, for the child
};

void printUsage(FILE* out) {
  std::fprintf(out,
               "usage: gamesim <game> [--rate HZ] [--seconds S] [--state N] [--namespace PREFIX]\n"
               "                      [--port P] [--as EXE] [--crash-after S] [--start-file PATH]\n"
               "       gamesim --list\n"
               "       gamesim replay FILE.csv --as GAME [--seconds S] [--namespace PREFIX] [--port P]\n"
               "       gamesim --help\n");
}

int usage() {
  printUsage(stderr);
  return 2;
}

int listGames() {
  for (const auto& game : gamesim::gameCatalog())
    std::printf("%-18.*s id %2d  %-22.*s state: %.*s\n", static_cast<int>(game.key.size()), game.key.data(),
                game.gameId, static_cast<int>(game.executable.size()), game.executable.data(),
                static_cast<int>(game.stateHelp.size()), game.stateHelp.data());
  return 0;
}

bool parse(int argc, char** argv, Settings& s) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    const bool hasValue = i + 1 < argc;
    if (word == "--as" && hasValue) {
      s.runAs = argv[++i];
      continue;
    }
    s.forwarded.push_back(word);
    if (word.rfind("--", 0) != 0) {
      if (!s.game.empty()) return false;
      s.game = word;
      continue;
    }
    if (!hasValue) return false;
    const std::string value = argv[++i];
    s.forwarded.push_back(value);
    if (word == "--rate") {
      s.rateHz = std::atof(value.c_str());
    } else if (word == "--seconds") {
      s.seconds = std::atof(value.c_str());
    } else if (word == "--state") {
      s.hasState = true;
      s.state = std::atoi(value.c_str());
    } else if (word == "--namespace") {
      s.objectNamespace = value;
    } else if (word == "--crash-after") {
      s.crashAfter = std::atof(value.c_str());
      if (!(s.crashAfter > 0.0)) return false;
    } else if (word == "--start-file") {
      s.startFile = value;
    } else if (word == "--port") {
      s.options.port = static_cast<uint16_t>(std::atoi(value.c_str()));
    } else {
      return false;
    }
  }
  return !s.game.empty() && s.rateHz > 0.0 && s.rateHz <= 10000.0 && s.seconds > 0.0;
}

bool timeLeft(Clock::time_point begin, double seconds) {
  return !platform::stopRequested() && std::chrono::duration<double>(Clock::now() - begin).count() < seconds;
}

// Waits for a child named like the game, which bounds its own run to
// `seconds`, and hands on its exit code. The child's clock starts when it runs,
// which under Wine or on a loaded machine may be seconds after the launch, so
// the child is stopped only when it overruns by far more than that (it hangs).
int superviseChild(platform::ChildProcess& child, const std::string& name, double seconds) {
  constexpr double kStartAndEndSeconds = 30.0;
  const auto begin = Clock::now();
  while (child.running() && !platform::stopRequested()) {
    if (std::chrono::duration<double>(Clock::now() - begin).count() > seconds + kStartAndEndSeconds) {
      child.stop();
      std::fprintf(stderr, "gamesim: %s still ran %g s after it was started (its run is %g s); stopped it\n",
                   name.c_str(), seconds + kStartAndEndSeconds, seconds);
      return 4;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const int code = child.stop();  // asked to end: the child ends as well
  if (code != 0) std::fprintf(stderr, "gamesim: %s ended with exit code %d\n", name.c_str(), code);
  return code;
}

// Runs the same simulation in a child named like the game, until it ends.
int runAs(const Settings& s) {
  auto child = platform::ChildProcess::launch(platform::executablePath(), s.runAs, s.forwarded);
  if (child == nullptr) {
    std::fprintf(stderr, "gamesim: cannot start %s\n", s.runAs.c_str());
    return 1;
  }
  return superviseChild(*child, s.runAs, s.seconds);
}

void writeStartFile(const std::string& path, Clock::time_point lapStart) {
  const auto now = std::chrono::system_clock::now();
  const auto lapStartOnSystemClock = now - std::chrono::duration_cast<std::chrono::system_clock::duration>(Clock::now() - lapStart);
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(lapStartOnSystemClock.time_since_epoch()).count();
  if (FILE* file = std::fopen(path.c_str(), "w")) {
    std::fprintf(file, "%lld\n", static_cast<long long>(ns));
    std::fclose(file);
  }
}

struct ReplaySettings {
  std::string file;
  std::string game;
  double seconds = 3600.0;
  std::string objectNamespace;
  gamesim::GameOptions options;
  bool named = false;  // already running under the game's process name
  std::vector<std::string> arguments;
};

bool parseReplay(int argc, char** argv, ReplaySettings& s) {
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--named") {
      s.named = true;
      continue;
    }
    s.arguments.push_back(word);
    if (word.rfind("--", 0) != 0) {
      if (!s.file.empty()) return false;
      s.file = word;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    s.arguments.push_back(value);
    if (word == "--as") {
      s.game = value;
    } else if (word == "--seconds") {
      s.seconds = std::atof(value.c_str());
    } else if (word == "--namespace") {
      s.objectNamespace = value;
    } else if (word == "--port") {
      s.options.port = static_cast<uint16_t>(std::atoi(value.c_str()));
    } else {
      return false;
    }
  }
  return !s.file.empty() && !s.game.empty() && s.seconds > 0.0;
}

int replay(int argc, char** argv) {
  ReplaySettings s;
  if (!parseReplay(argc, argv, s)) return usage();
  const gamesim::GameEntry* entry = gamesim::findGame(s.game);
  if (entry == nullptr) {
    std::fprintf(stderr, "gamesim: unknown game '%s' (see --list)\n", s.game.c_str());
    return 2;
  }
  gamesim::RecordedMotion recording;
  std::string error;
  if (!recording.load(s.file, error)) {
    std::fprintf(stderr, "gamesim: %s\n", error.c_str());
    return 1;
  }
  if (!entry->executable.empty() && !s.named) {
    std::vector<std::string> arguments{"replay"};
    arguments.insert(arguments.end(), s.arguments.begin(), s.arguments.end());
    arguments.push_back("--named");
    auto child = platform::ChildProcess::launch(platform::executablePath(), std::string(entry->executable), arguments);
    if (child == nullptr) {
      std::fprintf(stderr, "gamesim: cannot start %.*s\n", static_cast<int>(entry->executable.size()),
                   entry->executable.data());
      return 1;
    }
    return superviseChild(*child, std::string(entry->executable), s.seconds);
  }
  // The test's namespace for every name published (none: the plain names).
  const platform::ScopedPlatform isolation(platform::FakePlatform().withObjectNamespace(s.objectNamespace));
  auto game = entry->make(s.options);
  if (!game->start()) {
    std::fprintf(stderr, "gamesim: %s could not start publishing\n", s.game.c_str());
    return 1;
  }
  const auto& samples = recording.samples();
  std::printf("gamesim: replaying %zu samples of %s as %s\n", samples.size(), s.file.c_str(), s.game.c_str());
  std::fflush(stdout);
  // The recording's own times set the pace, counted from its first row.
  const auto begin = Clock::now();
  const double first = samples.front().time;
  size_t written = 0;
  for (const gamesim::MotionSample& sample : samples) {
    if (!timeLeft(begin, s.seconds)) break;
    std::this_thread::sleep_until(begin + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(sample.time - first)));
    game->write(sample);
    ++written;
  }
  game->stop();
  std::printf("gamesim: replay of %s ended after %zu samples\n", s.file.c_str(), written);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  platform::installStopRequestHandler();
  if (argc == 2 && std::string(argv[1]) == "--list") return listGames();
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    printUsage(stdout);
    return 0;
  }
  if (argc >= 2 && std::string(argv[1]) == "replay") return replay(argc, argv);
  Settings s;
  if (!parse(argc, argv, s)) return usage();
  const gamesim::GameEntry* entry = gamesim::findGame(s.game);
  if (entry == nullptr) {
    std::fprintf(stderr, "gamesim: unknown game '%s' (see --list)\n", s.game.c_str());
    return 2;
  }
  if (!s.runAs.empty()) return runAs(s);
  // The test's namespace for every name published (none: the plain names).
  const platform::ScopedPlatform isolation(platform::FakePlatform().withObjectNamespace(s.objectNamespace));

  auto game = entry->make(s.options);
  if (s.hasState) game->setState(s.state);
  if (!game->start()) {
    std::fprintf(stderr, "gamesim: %s could not start publishing\n", s.game.c_str());
    return 1;
  }
  std::printf("gamesim: %s running at %g Hz\n", s.game.c_str(), s.rateHz);
  std::fflush(stdout);
  // The runner ends the lap at --seconds itself, so that no sample is later
  // than that even when this thread is late to notice.
  gamesim::SimulationRunner runner(*game, s.rateHz, s.seconds);
  runner.start();
  if (!s.startFile.empty()) writeStartFile(s.startFile, runner.begin());
  const bool crashes = s.crashAfter > 0.0 && s.crashAfter < s.seconds;
  while (!runner.finished() && timeLeft(runner.begin(), crashes ? s.crashAfter : s.seconds))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (crashes && !platform::stopRequested()) {
    std::printf("gamesim: %s crashes after %llu samples\n", s.game.c_str(),
                static_cast<unsigned long long>(runner.samplesWritten()));
    std::fflush(stdout);
    std::_Exit(3);
  }
  runner.stop();
  game->stop();
  std::printf("gamesim: %s stopped after %llu samples\n", s.game.c_str(),
              static_cast<unsigned long long>(runner.samplesWritten()));
  return 0;
}
