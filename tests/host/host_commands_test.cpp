// The portrelay host end to end: the program itself, started as a rig owner
// starts it, against gamesim and the virtual rig, judged by its exit code, its
// output and the files it writes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/platform/child_process.h"
#include "platform/processes.h"
#include "host_process.h"
#include "support/temp_dir.h"
#include "support/text_pattern.h"

namespace {

using portrelay::testing::hostPath;
using portrelay::testing::Outcome;
using portrelay::testing::quoted;
using portrelay::testing::readFile;
using portrelay::testing::runHost;
using portrelay::testing::TempDir;
namespace platform = portrelay::platform;

std::vector<std::string> split(const std::string& line, char separator) {
  std::vector<std::string> cells;
  std::stringstream stream(line);
  for (std::string cell; std::getline(stream, cell, separator);) cells.push_back(cell);
  return cells;
}

struct Recording {
  std::vector<std::string> columns;
  std::vector<std::vector<double>> rows;
  bool complete = true;  // every row has every column and the file ends with a line end
};

[[maybe_unused]] Recording readRecording(const std::string& path) {
  Recording recording;
  const std::string text = readFile(path);
  recording.complete = !text.empty() && text.back() == '\n';
  std::vector<std::string> lines = split(text, '\n');
  if (lines.empty()) return recording;
  recording.columns = split(lines[0], ',');
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> cells = split(lines[i], ',');
    if (cells.size() != recording.columns.size()) {
      recording.complete = false;
      continue;
    }
    std::vector<double> values;
    for (const std::string& cell : cells) {
      char* end = nullptr;
      values.push_back(std::strtod(cell.c_str(), &end));
      if (end == cell.c_str() || *end != '\0') recording.complete = false;
    }
    recording.rows.push_back(values);
  }
  return recording;
}

[[maybe_unused]] size_t column(const Recording& recording, const std::string& name) {
  for (size_t i = 0; i < recording.columns.size(); ++i)
    if (recording.columns[i] == name) return i;
  ADD_FAILURE() << "no column " << name;
  return 0;
}

// A profile like the shipped car profile, with the sleeping timer so the run
// shares the machine's cores politely.
[[maybe_unused]] std::string writeCoarseProfile(const TempDir& dir) {
  std::string text = readFile(std::string(PORTRELAY_SOURCE_DIR) + "/profiles/car.json");
  const size_t at = text.find("\"precise\"");
  EXPECT_NE(at, std::string::npos);
  text.replace(at, 9, "\"coarse\"");
  const std::string path = (dir.path() / "car-coarse.json").string();
  std::ofstream(path) << text;
  return path;
}

[[maybe_unused]] uint64_t rigFrames(const std::string& output) {
  const portrelay::testing::TextPattern summary(R"(virtual rig received ([0-9]+) motion frames \(([0-9]+) checksummed, 0 checksum errors)");
  const auto match = summary.search(output);
  return match ? std::stoull((*match)[2]) : 0;
}

TEST(HostCommands, AnswerAsDocumented) {
  struct Case {
    std::string arguments;
    int exitCode;
    std::vector<std::string> expected;  // each must appear in the output
  };
  const std::vector<Case> cases = {
      {"check \"EMALP(GAIN(VALUE;2);10)\"", 0, {"EMALP 10\n  GAIN 2\n    VALUE\n"}},
      {"check \"ABS(gain( REMAP(VALUE;0;10;-1;1);0,5))\"", 0,
       {"ABS\n  GAIN 0.5\n    REMAP 0; 10; -1; 1\n      VALUE\n"}},
      {"check \"SPIKE(ADD(VALUE;-0x10);0.1;2;3;4)\"", 0, {"SPIKE 0.1; 2; 3; 4\n  ADD -16\n    VALUE\n"}},
      {"check \"EMALP(GAIN(VALUE;2);0.5)\"", 1, {"invalid at character 21: EMALP: the time constant must be at least 1\n"}},
      {"check \"GAIN( VALUE;2)\"", 1, {"invalid at character 6: VALUE must stand without spaces around it\n"}},
      {"check \"FOO(VALUE;2)\"", 1, {"invalid at character 1: FOO: unknown keyword\n"}},
      {"check \"GAIN(VALUE;1e3)\"", 1, {"invalid at character 12: GAIN: a number is missing"}},
      {"check \"REMAP(VALUE;5;5;0;1)\"", 1, {"invalid at character 13: REMAP: the input range"}},
      {"check \"GAIN(VALUE;" + std::string(40, '9') + ")\"", 1,
       {"invalid at character 12: GAIN: a number is beyond the float range\n"}},
      {"check \"GAIN(VALUE;2\"", 1, {"invalid at character 13: missing ')'\n"}},
      {"check \"\"", 1, {"invalid at character 1: expected VALUE or KEYWORD(...), found nothing\n"}},
      {"check \"EMALP(GAIN(VALUE;0.5);10\"", 1, {"invalid at character 25: missing ')'\n"}},
      {"check \"GAIN(VALUE;2;3)\"", 1, {"invalid at character 12: GAIN: too many numbers\n"}},
      {"check \"GAIN(CROP(VALUE;1;-1);2)xyz\"", 0,
       {"warning: the text after the last ')' is ignored: \"xyz\"\n",
        "warning: CROP with its lower bound above its upper bound always gives the lower bound (1; -1)\n"}},
      {"run --profile no-such-profile.json --seconds 1", 2, {"no-such-profile.json: (file): cannot be read"}},
      {"games", 0, {"3   AssettoCorsa/Comp.    shared memory      Local\\acpmf_physics, Local\\acpmf_graphics",
                    "17  ETSM2/AMT", "port 20777", "F1_23.exe, F1_23_64.exe, F1_24.exe, F1_24_64.exe",
                    "RRRE64.exe, RRRE.exe", "assetto-corsa"}},
#if !defined(_WIN32)
      {"ports --virtual-rig", 0,
       {"COM7    yes  USB-SERIAL CH340 (COM7)            USB\\VID_1A86&PID_7523&REV_0254   (virtual)\n",
        "COM8    no   Fan controller (COM8)              -   (virtual)\n"}},
#endif
      {"run --help", 0, {"--profile", "--simulate", "--virtual-rig", "--rig-port", "--fan-port", "--seconds", "--record",
                         "--no-view"}},
      {"check --help", 0, {"FILTER"}},
      {"ports --help", 0, {"ports"}},
      {"games --help", 0, {"games"}},
      {"run --simulate no-such-game --seconds 1", 2, {"gamesim does not play 'no-such-game'"}},
      {"run --rig-port COM7X --seconds 1", 2, {"--rig-port: expected a port name COM1..COM255"}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const Outcome outcome = runHost(c.arguments, dir);
    EXPECT_EQ(outcome.exitCode, c.exitCode) << c.arguments << "\n" << outcome.output;
    for (const std::string& text : c.expected)
      EXPECT_NE(outcome.output.find(text), std::string::npos) << c.arguments << "\nwanted: " << text << "\ngot:\n"
                                                              << outcome.output;
    if (c.arguments.rfind("check \"", 0) == 0 && c.exitCode == 1) {
      EXPECT_EQ(std::count(outcome.output.begin(), outcome.output.end(), '\n'), 1) << outcome.output;
    }
  }
}

#if !defined(_WIN32)
TEST(HostCommands, VirtualRigJoinsTheRealPorts) {
  TempDir dir;
  const Outcome real = runHost("ports", dir);
  const Outcome both = runHost("ports --virtual-rig", dir);
  ASSERT_EQ(real.exitCode, 0) << real.output;
  ASSERT_EQ(both.exitCode, 0) << both.output;
  size_t realPorts = 0;
  for (const std::string& line : split(real.output, '\n')) {
    if (line.rfind("COM", 0) != 0) continue;
    ++realPorts;
    EXPECT_NE(both.output.find(line + "\n"), std::string::npos) << line << "\n" << both.output;
  }
  const std::vector<std::string> lines = split(both.output, '\n');
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("COM", 0) == 0; }),
            static_cast<std::ptrdiff_t>(realPorts + 2))
      << both.output;
}
#endif

TEST(HostProfiles, BadFilesAreRefusedBeforeAnythingStarts) {
  struct Case {
    const char* name;
    std::string content;
    std::string expected;  // what follows the file name: ": KEY.PATH: reason" or ":LINE:COLUMN: reason"
  };
  const std::vector<Case> cases = {
      {"unknown-key", R"({"rig": {"limits": {"sway": [-1, 1], "swey": [-1, 1]}}})", ": rig.limits.swey: unknown key"},
      {"unknown-top", R"({"profile": {}})", ": profile: unknown key"},
      {"wrong-type", R"({"profiles": {"AIR": {"slots": {"3": {"active": "yes"}}}}})",
       ": profiles.AIR.slots.3.active: expected a boolean (true or false), found a string"},
      {"wrong-limits", R"({"inputLimits": {"2": [-30, "30"]}})", ": inputLimits.2[1]: expected a number, found a string"},
      {"slot-out-of-range", R"({"profiles": {"GROUND": {"slots": {"23": {"active": true}}}}})",
       ": profiles.GROUND.slots.23: slot out of range (0..22)"},
      {"input-slot-out-of-range", R"({"inputLimits": {"8": [-1, 1]}})", ": inputLimits.8: slot out of range (0..7)"},
      {"belt-index-out-of-range", R"({"profiles": {"AIR": {"beltWeights": {"43": 1}}}})",
       ": profiles.AIR.beltWeights.43: game-data index out of range (0..42)"},
      {"invalid-filter",
       R"json({"profiles": {"AIR": {"slots": {"0": {"filter": "GAIN(VALUE;2)"}, "1": {"filter": "EMALP(VALUE;0.5)"}}}}})json",
       ": profiles.AIR.slots.1.filter: invalid filter string \"EMALP(VALUE;0.5)\" at character 13: EMALP: the time "
       "constant must be at least 1"},
      {"min-above-max", R"({"rig": {"limits": {"heave": [1, -1]}}})", ": rig.limits.heave: min is above max"},
      {"bad-port", R"({"rig": {"port": "ttyUSB0"}})", ": rig.port: expected \"auto\" or a port name COM1..COM255"},
      {"not-json", "{\n  \"rig\": {\"port\": \"auto\",}\n}", ":2:26: not valid JSON: syntax error while parsing object key"},
      {"duplicate-key", R"({"rig": {"limits": {"sway": [-1, 1]}}, "rig": {"port": "auto"}})", ": rig: the key is given twice"},
      {"duplicate-nested", R"({"rig": {"limits": {"sway": [-1, 1], "sway": [-2, 2]}}})", ": rig.limits.sway: the key is given twice"},
      {"huge-number", R"({"rig": {"limits": {"sway": [-1e400, 1]}}})", ": (file): a number is beyond the range of a double"},
      {"one-limit", R"({"inputLimits": {"0": [-30]}})", ": inputLimits.0: expected an array [min, max] of two numbers, found 1 value"},
      {"limit-outside-travel", R"({"rig": {"limits": {"sway": [-0.8, 8]}}})",
       ": rig.limits.sway: [-0.8, 8] is outside the rig's travel [-1, 1]"},
      {"limit-outside-own-travel", R"({"rig": {"travel": [-0.5, 0.6], "limits": {"roll": [-0.6, 0.6]}}})",
       ": rig.limits.roll: [-0.6, 0.6] is outside the rig's travel [-0.5, 0.6]"},
      {"game-limit-outside-travel", R"({"rig": {"travel": [-0.5, 0.5]}, "games": {"f1": {"rig": {"limits": {"heave": [-0.8, 0.8]}}}}})",
       ": games.f1.rig.limits.heave: [-0.8, 0.8] is outside the rig's travel [-0.5, 0.5]"},
      {"travel-without-neutral", R"({"rig": {"travel": [0, 1]}})", ": rig.travel: must reach below and above 0 (neutral)"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const std::string path = (dir.path() / (std::string(c.name) + ".json")).string();
    std::ofstream(path) << c.content;
    const Outcome outcome = runHost("run --profile " + quoted(path) + " --simulate assetto-corsa --no-view --seconds 1", dir);
    EXPECT_EQ(outcome.exitCode, 2) << c.name << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find("profile refused: " + path + c.expected), std::string::npos)
        << c.name << "\n" << outcome.output;
    // Nothing started: no game, no engine, no rig link.
    EXPECT_EQ(outcome.output.find("running"), std::string::npos) << c.name << "\n" << outcome.output;
    EXPECT_EQ(outcome.output.find("gamesim"), std::string::npos) << c.name << "\n" << outcome.output;
  }
}

#if !defined(_WIN32)
// The virtual rig lives on pseudo-terminals, which only a native host has.

TEST(HostRun, ShippedProfilesDriveTheRig) {
  TempDir dir;
  for (const char* profile : {"car", "flight"}) {
    const std::string path = std::string(PORTRELAY_SOURCE_DIR) + "/profiles/" + profile + ".json";
    const Outcome outcome =
        runHost("run --profile " + quoted(path) + " --simulate assetto-corsa --virtual-rig --no-view --seconds 1", dir);
    EXPECT_EQ(outcome.exitCode, 0) << profile << "\n" << outcome.output;
    EXPECT_GT(rigFrames(outcome.output), 100u) << profile << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find("the rig is parked"), std::string::npos) << profile << "\n" << outcome.output;
    // The rig as the library found it: the scanned port, its identity reply and its level report.
    EXPECT_NE(outcome.output.find("portrelay: rig COM7, identity 1, level 328 (serial link)\n"), std::string::npos)
        << profile << "\n" << outcome.output;
  }
}

TEST(HostRun, RecordsEveryEngineCycleAndReplaysItAsTheGame) {
  TempDir dir;
  const std::string profile = writeCoarseProfile(dir);
  const std::string first = (dir.path() / "lap.csv").string();
  const Outcome run = runHost("run --profile " + quoted(profile) +
                                  " --simulate assetto-corsa --virtual-rig --no-view --seconds 5 --record " + quoted(first),
                              dir);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const Recording lap = readRecording(first);
  ASSERT_TRUE(lap.complete);

  // Columns: time, the 43 game-data values under their channel names, the 23
  // outputs, then wall time, game id and the six axes the frames carried.
  ASSERT_EQ(lap.columns.size(), 1u + 43u + 23u + 8u);
  EXPECT_EQ(lap.columns[0], "time_s");
  EXPECT_EQ(lap.columns[2], "lateral_speed");
  EXPECT_EQ(lap.columns[4], "lateral_accel_g");
  EXPECT_EQ(lap.columns[42], "simtools_axis4b");
  EXPECT_EQ(lap.columns[44], "out_sway");
  EXPECT_EQ(lap.columns[66], "out_22");

  // One row per engine cycle: 500 a second, and the frames the rig counted on
  // its side, so none is lost or doubled. The engine starts once the link has
  // identified the virtual rig, so every frame reaches it but the last few,
  // which may still wait in the transmit queue (at most 150) as the link stops.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // A sanitized engine cannot hold its 2-ms period on a shared machine; the
  // count of rows against the rig's own count below holds there too. The
  // engine's timer gives up the periods it woke more than its 20-ms carry
  // late for (it does not race to catch up), so a loaded machine records
  // fewer rows (a few per cent on two busy cores); never more than one per
  // 2 ms. Rows lost in the drain would break the time column below instead.
  // The park at the end runs motion cycles too: at most its 2000 ms more.
  EXPECT_LE(lap.rows.size(), 2525u + 1000u);
  EXPECT_GE(lap.rows.size(), 2250u);
#endif
  const uint64_t framesAtRig = rigFrames(run.output);
  EXPECT_LE(framesAtRig, lap.rows.size() + 1) << run.output;
  EXPECT_LE(lap.rows.size(), framesAtRig + 150 + 1) << run.output;
  EXPECT_GT(framesAtRig, 0u) << run.output;
  for (size_t r = 0; r < lap.rows.size(); ++r) ASSERT_NEAR(lap.rows[r][0], 0.002 * static_cast<double>(r), 1e-9);
  // The recorded motion is the lap's: the heading turns, the sway output moves.
  const size_t heading = column(lap, "yaw_position"), sway = column(lap, "out_sway");
  double headingMin = 1e9, headingMax = -1e9, swayMax = 0;
  for (const auto& row : lap.rows) {
    headingMin = std::min(headingMin, row[heading]);
    headingMax = std::max(headingMax, row[heading]);
    swayMax = std::max(swayMax, std::abs(row[sway]));
  }
  EXPECT_GT(headingMax - headingMin, 5.0);
  EXPECT_GT(swayMax, 0.01);
  // Every row says when its cycle ran, which game ran and what the rig got:
  // the sent axes stay within the profile's rig limits whatever the outputs.
  const size_t wall = column(lap, "wall_time_s"), game = column(lap, "game_id"), sentSway = column(lap, "sent_sway");
  double sentSwayMax = 0;
  for (size_t r = 0; r < lap.rows.size(); ++r) {
    ASSERT_EQ(lap.rows[r][game], 3.0) << r;
    if (r > 0) {
      ASSERT_GT(lap.rows[r][wall], lap.rows[r - 1][wall]) << r;
    }
    sentSwayMax = std::max(sentSwayMax, std::abs(lap.rows[r][sentSway]));
  }
  EXPECT_GT(sentSwayMax, 0.0);
  EXPECT_LE(sentSwayMax, 0.8f);  // the car profile's sway limit, as a float
  EXPECT_NEAR(lap.rows.back()[wall] - lap.rows.front()[wall], 0.002 * static_cast<double>(lap.rows.size()), 1.0);

  // Replayed as Assetto Corsa to a host waiting for a real game, the
  // recording comes back: every value the second recording holds appears in
  // the first, in the same order.
  auto replay = platform::ChildProcess::launch(platform::executableDirectory() + "/gamesim" + platform::kExecutableSuffix,
                                               "gamesim", {"replay", first, "--as", "assetto-corsa"});
  ASSERT_NE(replay, nullptr);
  const std::string second = (dir.path() / "replayed.csv").string();
  const Outcome replayed = runHost(
      "run --profile " + quoted(profile) + " --virtual-rig --no-view --seconds 2 --record " + quoted(second), dir);
  replay->stop();
  ASSERT_EQ(replayed.exitCode, 0) << replayed.output;
  const Recording again = readRecording(second);
  ASSERT_TRUE(again.complete);
  ASSERT_GE(again.rows.size(), 500u);
  for (const char* name : {"lateral_accel", "longitu_speed", "yaw_position", "roll_speed", "pitch_position"}) {
    const size_t a = column(lap, name), b = column(again, name);
    size_t at = 0, unmatched = 0;
    for (const auto& row : again.rows) {
      size_t probe = at;
      const double value = row[b];
      while (probe < lap.rows.size() && std::abs(lap.rows[probe][a] - value) > 1e-4 * std::max(1.0, std::abs(value)))
        ++probe;
      if (probe == lap.rows.size()) {
        ++unmatched;
      } else {
        at = probe;
      }
    }
    EXPECT_EQ(unmatched, 0u) << name;
  }
}

// A profile that moves sway to `base` on its own, and to `perGame` while
// Assetto Corsa runs (slot 15 generates; the game's data plays no part).
std::string slotFifteen(double value) {
  return R"x({"AIR": {"slots": {"15": {"filter": "SETVALUE(VALUE;)x" + std::to_string(value) +
         R"x()", "active": true}}}})x";
}

std::string sweepProfile(double base, double perGame) {
  return R"x({"timerPrecision": "coarse", "rig": {"limits": {"sway": [-1, 1]}}, "profiles": )x" + slotFifteen(base) +
         R"x(, "games": {"assetto-corsa": {"profiles": )x" + slotFifteen(perGame) + "}}}";
}

TEST(HostRun, PerGameSettingsAndEditsOfTheRunningProfile) {
  TempDir dir;
  const std::string profile = (dir.path() / "sweep.json").string(), csv = (dir.path() / "sweep.csv").string();
  std::ofstream(profile) << sweepProfile(0.5, 0.2);
  Outcome outcome;
  std::thread host([&] {
    outcome = runHost("run --profile " + quoted(profile) + " --simulate assetto-corsa --virtual-rig --no-view "
                      "--seconds 10 --record " + quoted(csv), dir);
  });
  std::this_thread::sleep_for(std::chrono::seconds(3));
  std::ofstream(profile) << "{\"rig\": ";  // a bad edit: refused, the running profile stays
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  std::ofstream(profile) << sweepProfile(0.5, -0.1);
  host.join();
  ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
  for (const char* said : {"games.assetto-corsa applied (fading in)", "profile edit refused, the running profile stays: ",
                           "profile reloaded from "})
    EXPECT_NE(outcome.output.find(said), std::string::npos) << said << "\n" << outcome.output;
  // Sway moved towards the game's 0.2, never to the file's own 0.5, then
  // faded to the edited -0.1 without a step.
  const Recording sweep = readRecording(csv);
  const size_t sway = column(sweep, "out_sway");
  ASSERT_GT(sweep.rows.size(), 1000u);
  double highest = -1.0, largestStep = 0.0;
  for (size_t r = 0; r < sweep.rows.size(); ++r) {
    highest = std::max(highest, sweep.rows[r][sway]);
    if (r > 0) largestStep = std::max(largestStep, std::abs(sweep.rows[r][sway] - sweep.rows[r - 1][sway]));
  }
  EXPECT_LT(highest, 0.21);
  EXPECT_GT(highest, 0.1);
  EXPECT_NEAR(sweep.rows.back()[sway], -0.1, 0.02);
  EXPECT_LT(largestStep, 0.01);
}

// The host held still for half a second (as a stalled machine holds it):
// the recording's wall time shows the gap that the cycle count cannot.
TEST(HostRun, RecordingKeepsWallTimeThroughAStall) {
  TempDir dir;
  const std::string profile = writeCoarseProfile(dir);
  const std::string path = (dir.path() / "stalled.csv").string();
  auto host = platform::ChildProcess::launch(hostPath(), "portrelay",
                                             {"run", "--profile", profile, "--simulate", "assetto-corsa", "--virtual-rig",
                                              "--no-view", "--seconds", "4", "--record", path});
  ASSERT_NE(host, nullptr);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline && readRecording(path).rows.size() < 500)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::string id = std::to_string(host->id());
  ASSERT_EQ(std::system(("kill -STOP " + id).c_str()), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_EQ(std::system(("kill -CONT " + id).c_str()), 0);
  EXPECT_EQ(host->wait(30000), 0);
  const Recording recording = readRecording(path);
  ASSERT_TRUE(recording.complete);
  ASSERT_GE(recording.rows.size(), 1000u);
  const size_t wall = column(recording, "wall_time_s");
  double longestGap = 0.0;
  size_t at = 0;
  for (size_t r = 1; r < recording.rows.size(); ++r) {
    const double gap = recording.rows[r][wall] - recording.rows[r - 1][wall];
    ASSERT_GT(gap, 0.0) << r;
    if (gap > longestGap) {
      longestGap = gap;
      at = r;
    }
  }
  EXPECT_GE(longestGap, 0.45);
  EXPECT_LT(longestGap, 5.0);
  // The cycle count goes on as if nothing happened: 2 ms a row.
  EXPECT_NEAR(recording.rows[at][0] - recording.rows[at - 1][0], 0.002, 1e-9);
}

TEST(HostRun, SaysWhyARunningGameIsNotDetected) {
  // X-Plane's datagrams on port 4321 (loopback), from a gamesim that does not
  // run as X-Plane.exe: detection needs both, so the host waits and says why.
  auto game = platform::ChildProcess::launch(platform::executableDirectory() + "/gamesim" + platform::kExecutableSuffix,
                                             "gamesim", {"xplane", "--seconds", "60"});
  ASSERT_NE(game, nullptr);
  TempDir dir;
  const std::string capture = portrelay::testing::outputPath(dir);
  auto host = platform::ChildProcess::launch(
      "/bin/sh", "sh", {"-c", "exec " + quoted(hostPath()) + " run --virtual-rig --no-view > " + quoted(capture) + " 2>&1"});
  ASSERT_NE(host, nullptr);
  // Ctrl-C once the host has said why (it says so within seconds; a loaded
  // machine may take longer): the run ends as after --seconds, with exit code 0.
  const std::string warning = "portrelay: warning: Xplane: datagrams arrive on port 4321 but no X-Plane.exe runs "
                              "(gamesim: --as X-Plane.exe)\n";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
  while (std::chrono::steady_clock::now() < deadline && readFile(capture).find(warning) == std::string::npos)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(std::system(("kill -INT " + std::to_string(host->id())).c_str()), 0);
  const int exitCode = host->wait(30000);
  game->stop();
  const std::string output = readFile(capture);
  EXPECT_EQ(exitCode, 0) << output;
  EXPECT_NE(output.find(warning), std::string::npos) << output;
  EXPECT_NE(output.find("0.0 s of motion"), std::string::npos) << output;
}

TEST(HostRun, CtrlCEndsTheRunWithACompleteRecording) {
  TempDir dir;
  const std::string profile = writeCoarseProfile(dir);
  const std::string path = (dir.path() / "stopped.csv").string();
  auto host = platform::ChildProcess::launch(hostPath(), "portrelay",
                                             {"run", "--profile", profile, "--simulate", "assetto-corsa", "--virtual-rig",
                                              "--no-view", "--seconds", "60", "--record", path});
  ASSERT_NE(host, nullptr);
  // Rows reach the file within a second of being recorded.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  size_t seen = 0;
  while (std::chrono::steady_clock::now() < deadline && seen < 500) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    seen = readRecording(path).rows.size();
  }
  ASSERT_GE(seen, 500u);
  EXPECT_EQ(host->stop(10000), 0);  // the stop request Ctrl-C gives; both threads end, the file closes
  const Recording recording = readRecording(path);
  EXPECT_TRUE(recording.complete);
  EXPECT_GE(recording.rows.size(), seen);
  EXPECT_EQ(recording.columns.size(), 75u);
}
#endif

}  // namespace
