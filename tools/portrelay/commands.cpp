#include "commands.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>
#include <vector>

#include "engine/output_frame.h"
#include "filter_warnings.h"
#include "games.h"
#include "library_api.h"
#include "live_view.h"
#include "tools/platform/child_process.h"
#include "tools/platform/dynamic_library.h"
#include "platform/processes.h"
#include "panel_bridge.h"
#include "panel_server.h"
#include "profile.h"
#include "host_actions.h"
#include "tools/platform/console_keys.h"
#include "profile_keeper.h"
#include "recorder.h"
#include "view_warnings.h"
#if !defined(_WIN32)
#include "simulated_fan.h"
#include "simulated_rig.h"
#endif

namespace host {
namespace {

using Clock = std::chrono::steady_clock;
namespace platform = portrelay::platform;

constexpr int kVirtualRigCom = 7;
constexpr int kVirtualFanCom = 8;
constexpr auto kViewInterval = std::chrono::milliseconds(100);  // the live view at 10 Hz
constexpr auto kSampleInterval = std::chrono::milliseconds(10);  // --period-stats
constexpr int32_t kParkMs = 2000;  // the ramp to neutral, at the end and when the game is let go
// The wait for the park at the end: the ramp, and time for a loaded machine.
constexpr auto kParkWaitLimit = std::chrono::milliseconds(kParkMs + 3000);
// A scan finds the virtual rig within a second; a loaded machine may need a
// second round.
constexpr auto kRigWaitLimit = std::chrono::seconds(10);

[[maybe_unused]] double secondsSince(Clock::time_point begin) { return std::chrono::duration<double>(Clock::now() - begin).count(); }
double steadySeconds() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

// The shared library beside the executable, with every export looked up. The
// virtual rig is registered through the COM-port seam, which only the test
// variant of the library carries; everything else runs on the shipped library.
struct Library {
  std::unique_ptr<platform::DynamicLibrary> handle;
  LibraryApi api{};
};

bool loadLibrary(Library& library, bool withTestSeams = false) {
  const std::string path = platform::executableDirectory() + "/" +
                           (withTestSeams ? platform::kPortRelayTestLibraryName : platform::kPortRelayLibraryName);
  library.handle = std::make_unique<platform::DynamicLibrary>(path);
  std::string missing;
  if (!library.handle->loaded()) {
    std::fprintf(stderr, "portrelay: cannot load %s\n", path.c_str());
    return false;
  }
  if (!resolve(*library.handle, library.api, missing)) {
    std::fprintf(stderr, "portrelay: %s lacks the export %s\n", path.c_str(), missing.c_str());
    return false;
  }
  return true;
}

// The virtual rig and fan on pseudo-terminals, registered with the library
// through its test seam as COM7 (a CH340 USB serial adapter) and COM8.
class VirtualRig {
 public:
  ~VirtualRig() { close(); }

  bool start(const platform::DynamicLibrary& library) {
#if defined(_WIN32)
    (void)library;
    std::fprintf(stderr, "portrelay: --virtual-rig needs pseudo-terminals (Linux); on Windows start rigsim and "
                         "give --rig-port\n");
    return false;
#else
    std::string missing;
    if (!resolve(library, seams_, missing)) {
      std::fprintf(stderr, "portrelay: --virtual-rig needs the library's test variant (%s is missing)\n",
                   missing.c_str());
      return false;
    }
    folder_ = std::filesystem::temp_directory_path() / ("portrelay-rig-" + std::to_string(platform::currentProcessId()));
    std::filesystem::create_directories(folder_);
    const std::string rigLink = (folder_ / "rig").string(), fanLink = (folder_ / "fan").string();
    rig_ = std::make_unique<rigsim::SimulatedRig>();
    fan_ = std::make_unique<rigsim::SimulatedFan>();
    if (!rig_->start(rigLink) || !fan_->start(fanLink)) {
      std::fprintf(stderr, "portrelay: cannot create the virtual rig's pseudo-terminals\n");
      return false;
    }
    seams_.portrelaySeam_addComPort(kVirtualRigCom, rigLink.c_str(), "USB-SERIAL CH340 (COM7)",
                                    "USB\\VID_1A86&PID_7523&REV_0254");
    seams_.portrelaySeam_addComPort(kVirtualFanCom, fanLink.c_str(), "Fan controller (COM8)", "");
    registered_ = true;
    return true;
#endif
  }

  void fill(ViewState& view) {
#if !defined(_WIN32)
    if (!rig_) return;
    view.virtualRig = true;
    const rigsim::RigStats stats = rig_->stats();
    view.rigFramesPerSecond = stats.motionRatePerSecond;
    view.rigFrames = stats.motionFrames;
    view.checksumErrors = stats.checksumErrors;
    const auto bytes = fan_->bytes();
    view.lastFanByte = bytes.empty() ? -1 : bytes.back().value;
    const double window = secondsSince(fanSince_);
    if (window >= 1.0) {
      view.fanBytesPerSecond = static_cast<double>(bytes.size() - fanBytesBefore_) / window;
      fanBytesBefore_ = bytes.size();
      fanSince_ = Clock::now();
    }
#else
    (void)view;
#endif
  }

  // The axes of the last motion frame the rig received; false before any.
  bool lastFrame(std::array<float, 6>& axes) {
#if !defined(_WIN32)
    if (!rig_) return false;
    const std::vector<uint8_t> frame = rig_->stats().lastMotionFrame;
    if (frame.size() < static_cast<size_t>(portrelay::kOutputFrameSize)) return false;
    const portrelay::MotionFrameValues values = portrelay::decodeMotionFrame(frame.data());
    for (size_t i = 0; i < axes.size(); ++i) axes[i] = values.axes[i];
    return true;
#else
    (void)axes;
    return false;
#endif
  }

  // Frames the rig took with a good checksum; the summary line.
  uint64_t report() {
#if !defined(_WIN32)
    if (!rig_) return 0;
    const rigsim::RigStats stats = rig_->stats();
    const auto bytes = fan_->bytes();
    std::printf("portrelay: the virtual rig received %llu motion frames (%llu checksummed, %llu checksum errors); "
                "the virtual fan received %zu bytes, the last %d\n",
                static_cast<unsigned long long>(stats.motionFrames),
                static_cast<unsigned long long>(stats.checksummedMotionFrames),
                static_cast<unsigned long long>(stats.checksumErrors), bytes.size(),
                bytes.empty() ? -1 : bytes.back().value);
    return stats.checksummedMotionFrames;
#else
    return 0;
#endif
  }

  void close() {
    if (registered_) seams_.portrelaySeam_clearComPorts();
    registered_ = false;
#if !defined(_WIN32)
    rig_.reset();
    fan_.reset();
#endif
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    folder_.clear();
  }

 private:
  SeamApi seams_{};
  bool registered_ = false;
  std::filesystem::path folder_;
#if !defined(_WIN32)
  std::unique_ptr<rigsim::SimulatedRig> rig_;
  std::unique_ptr<rigsim::SimulatedFan> fan_;
  size_t fanBytesBefore_ = 0;
  Clock::time_point fanSince_ = Clock::now();
#endif
};

// gamesim playing a game, started beside this program under the game's
// process name when its detection looks for one.
std::unique_ptr<platform::ChildProcess> startGameSimulator(const SupportedGame& game, double seconds) {
  const std::string program = platform::executableDirectory() + "/gamesim" + platform::kExecutableSuffix;
  std::vector<std::string> arguments{std::string(game.simulateKey)};
  if (seconds > 0.0) arguments.insert(arguments.end(), {"--seconds", std::to_string(seconds + 60.0)});
  const std::string processName = game.process.empty() ? "gamesim" : std::string(game.process);
  return platform::ChildProcess::launch(program, processName, arguments);
}

std::string linkState(const LibraryApi& api) {
  if (api.isInterfaceRunning() == 0) return "paused";
  return api.isConnected() != 0 ? "connected" : "searching for the rig...";
}

void readView(const LibraryApi& api, ViewState& view) {
  char name[32] = {};
  api.getGameName(name);
  view.game = name;
  view.gameId = api.getGameID();
  view.profile = api.getactiveProfil();
  view.cycleMs = api.getMotionDataTimeFrame();
  view.gameFrameMs = api.getGameTimeFrame();
  view.relayCycleMs = api.getOutputTimeFrame();
  view.fadePercent = api.getTransitionStatus();
  view.airPercent = api.getProfilAirTransitionStatus();
  view.groundPercent = api.getProfilGrdTransitionStatus();
  uint8_t frame[portrelay::kOutputFrameSize];
  api.getOutputData(frame);
  const portrelay::MotionFrameValues values = portrelay::decodeMotionFrame(frame);
  for (int i = 0; i < portrelay::kRigAxisCount; ++i) view.axes[i] = values.axes[static_cast<size_t>(i)];
  view.belt = values.belt;
  view.fanValue = values.fan;
  view.link = linkState(api);
  api.getEngineStalls(&view.longCycles, &view.longestCycleMs);
}

// The profile of --profile, or the built-in one, read and checked whole; false
// (with the refusal on standard error) when it does not pass.
bool readProfileOption(const RunOptions& options, const LibraryApi& api, Profile& profile) {
  std::string error;
  const bool read = options.profile.empty()
                        ? parseProfile(builtInProfileText(), "(built-in profile)", api, profile, error)
                        : loadProfile(options.profile, api, profile, error);
  if (!read) {
    std::fprintf(stderr, "portrelay: profile refused: %s\n", error.c_str());
    return false;
  }
  for (const std::string& warning : profile.warnings) std::fprintf(stderr, "portrelay: warning: %s\n", warning.c_str());
  return true;
}

// The rig link on a thread of its own: a scan for the rig, or the port given.
std::thread startRigLink(const LibraryApi& api, const std::string& rigPort) {
  std::thread relay([&api] { api.startPortRelay_Thread(); });
  if (rigPort == "auto") {
    api.enableAutoconnect();
  } else {
    api.disableAutoconnect();
    api.setStandartPort(rigPort.c_str());
    if (api.resumeInterface() != 1) std::fprintf(stderr, "portrelay: no rig answered on %s\n", rigPort.c_str());
  }
  return relay;
}

// Waits, at most kRigWaitLimit, until the link has identified the rig.
bool waitForTheRig(const LibraryApi& api) {
  const auto end = Clock::now() + kRigWaitLimit;
  while (api.isConnected() == 0 && Clock::now() < end && !platform::stopRequested())
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return api.isConnected() != 0;
}

// The library's diagnostic lines while the live view owns the terminal: the
// newest complete line, shown in the view instead of written over it.
class LibraryLines {
 public:
  static void receive(int32_t /*level*/, const char* text, void* context) {
    auto& self = *static_cast<LibraryLines*>(context);
    std::lock_guard lock(self.mutex_);
    for (const char* c = text; *c != '\0'; ++c) {
      if (*c == '\n' || *c == '\r') {
        if (!self.partial_.empty()) self.last_ = std::move(self.partial_);
        self.partial_.clear();
      } else if (self.partial_.size() < 200) {
        self.partial_ += *c;
      }
    }
  }
  std::string last() const {
    std::lock_guard lock(mutex_);
    return last_;
  }

 private:
  mutable std::mutex mutex_;
  std::string partial_, last_;
};

// Parks the rig and waits until it is parked, at most kParkWaitLimit. The
// engine keeps sending frames meanwhile, with or without a game.
void parkAndWait(const LibraryApi& api) {
  const auto begin = Clock::now();
  api.parkRig(kParkMs);
  while (api.getParkStatus() != 2 && Clock::now() - begin < kParkWaitLimit)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
  if (api.getParkStatus() == 2) {
    std::printf("\nportrelay: the rig is parked (%lld ms)\n", ms);
  } else {
    std::fprintf(stderr, "\nportrelay: the rig did not report parked within %lld ms; stopping anyway\n", ms);
  }
}

// Without the view, each warning is printed once when it appears (its
// numbers aside), and again only after it has gone away.
class WarningPrinter {
 public:
  void print(const std::vector<std::string>& lines) {
    std::vector<std::string> kinds;
    for (const std::string& line : lines) {
      std::string kind = line;
      std::erase_if(kind, [](char c) { return c >= '0' && c <= '9'; });
      if (std::find(shown_.begin(), shown_.end(), kind) == shown_.end())
        std::fprintf(stderr, "portrelay: warning: %s\n", line.c_str());
      kinds.push_back(std::move(kind));
    }
    shown_ = std::move(kinds);
  }

 private:
  std::vector<std::string> shown_;
};

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
  return values[at];
}

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The browser panel of `portrelay ui`: its hooks read live values through the
// exports on the server's threads, and hand every change to the main loop.
class PanelSession {
 public:
  PanelSession(const LibraryApi& api, VirtualRig& rig, HostActions& actions, ProfileKeeper& keeper,
               Recorder& recorder, std::string recordFolder)
      : api_(api), rig_(rig), actions_(actions), keeper_(keeper), recorder_(recorder),
        recordFolder_(std::move(recordFolder)) {}

  bool start(const std::string& listen, std::string& error) {
    PanelAddress address;
    if (!parseListen(listen, address)) {
      error = "--listen: expected ADDR:PORT with an IPv4 address, found '" + listen + "'";
      return false;
    }
    server_ = std::make_unique<PanelServer>(api_, hooks(), address);
    return server_->start(error);
  }
  std::string url() const { return server_->url(); }

  // Main loop: the panel's waiting changes, and the status the page shows.
  void serve(const ViewState& view, const std::string& notice) {
    bridge_.serve();
    if (!notice.empty()) notice_ = notice;
    if (Clock::now() < nextStatus_) return;
    nextStatus_ = Clock::now() + kViewInterval;
    nlohmann::json muted = nlohmann::json::array();
    for (int axis = 0; axis < 6; ++axis) muted.push_back(keeper_.muted(axis));
    int32_t longCycles = 0;
    double longestMs = 0;
    api_.getEngineStalls(&longCycles, &longestMs);
    bridge_.publish(nlohmann::json{{"operation", actions_.state()},
                                   {"intensity", keeper_.intensity()},
                                   {"muted", muted},
                                   {"park", api_.getParkStatus()},
                                   {"notice", notice_},
                                   {"clipped", recorder_.clippedShares()},
                                   {"library", view.libraryLine},
                                   {"longCycles", longCycles},
                                   {"longestCycleMs", longestMs},
                                   {"elapsed", view.elapsed},
                                   {"recording", recorder_.recording() ? recordName_ : ""},
                                   {"recordedRows", recorder_.rows()}}
                        .dump());
  }

  // A recording the panel started goes on through the park at the end; the
  // recorder closes it when it stops.
  void stop() {
    bridge_.close();
    if (server_) server_->stop();
  }

 private:
  PanelHooks hooks() {
    using nlohmann::json;
    PanelHooks hooks;
    hooks.live = [this] {
      ViewState view;
      readView(api_, view);
      std::array<float, 6> rigAxes{};
      json live{{"game", view.game},        {"gameId", view.gameId},  {"profile", view.profile},
                {"link", view.link},        {"fade", view.fadePercent}, {"air", view.airPercent},
                {"ground", view.groundPercent}, {"axes", view.axes}, {"belt", view.belt},
                {"fan", view.fanValue},     {"cycleMs", view.cycleMs}};
      live["rig"] = rig_.lastFrame(rigAxes) ? json(rigAxes) : json();
      live["status"] = json::parse(bridge_.status(), nullptr, false);
      return live.dump();
    };
    const auto onLoop = [this](std::function<std::string()> job) {
      return bridge_.run(std::move(job), R"({"ok":false,"message":"the host is busy; try again"})");
    };
    const auto answer = [](bool ok, const std::string& message) {
      return json{{"ok", ok}, {"message", message}}.dump();
    };
    hooks.act = [this, onLoop, answer](const std::string& action, int axis) {
      return onLoop([this, action, axis, answer] {
        std::string notice;
        if (action == "park") notice = actions_.togglePark();
        else if (action == "stop") notice = actions_.emergencyStop();
        else if (action == "intensity-up") notice = actions_.changeIntensity(+1);
        else if (action == "intensity-down") notice = actions_.changeIntensity(-1);
        else if (action == "mute") notice = actions_.toggleMute(axis);
        else if (action == "reload") notice = actions_.reloadProfile();
        else return answer(false, "no such action: " + action);
        notice_ = notice;
        return answer(true, notice);
      });
    };
    hooks.profile = [this, onLoop] {
      return onLoop([this] {
        const Profile& applied = keeper_.applied();
        json profiles = json::array();
        for (int p = 0; p < kProfileCount; ++p) {
          json slots = json::array();
          for (int slot = 0; slot < kSlotCount; ++slot) {
            const auto found = applied.profiles[static_cast<size_t>(p)].slots.find(slot);
            const bool named = found != applied.profiles[static_cast<size_t>(p)].slots.end();
            slots.push_back({{"filter", named ? found->second.filter.value_or("VALUE") : "VALUE"},
                             {"active", named ? found->second.active.value_or(true) : true}});
          }
          profiles.push_back(slots);
        }
        json inputLimits = json::object(), rigLimits = json::object();
        for (const auto& [slot, l] : applied.inputLimits) inputLimits[std::to_string(slot)] = {l.min, l.max};
        for (const auto& [axis, l] : applied.rigLimits) rigLimits[std::to_string(axis)] = {l.min, l.max};
        return json{{"file", keeper_.path()},
                    {"profiles", profiles},
                    {"inputLimits", inputLimits},
                    {"rigLimits", rigLimits}}
            .dump();
      });
    };
    hooks.apply = [this, onLoop, answer](int profile, int slot, const std::string& filter, bool active) {
      return onLoop([=, this] {
        std::string error;
        if (!keeper_.setSlot(profile, slot, filter, active, error)) return answer(false, error);
        notice_ = std::string(profile == 0 ? "AIR" : "GROUND") + " slot " + std::to_string(slot) + " set to " +
                  filter + " (fading in)";
        return answer(true, notice_);
      });
    };
    hooks.save = [this, onLoop, answer] {
      return onLoop([this, answer] {
        std::string error;
        if (!keeper_.save(error)) return answer(false, error);
        notice_ = "saved to " + keeper_.path() + " (the previous file kept as " + keeper_.path() + ".bak)";
        return answer(true, notice_);
      });
    };
    hooks.record = [this, onLoop](bool start) {
      return onLoop([this, start] {
        std::string error;
        if (!start) {
          if (!recorder_.recording()) return json{{"ok", false}, {"message", "no recording runs"}}.dump();
          recorder_.closeFile();
          notice_ = "recording " + recordName_ + " ended, " + std::to_string(recorder_.rows()) + " rows";
          return json{{"ok", true}, {"message", notice_}, {"file", recordName_}}.dump();
        }
        const std::string name = "portrelay-" + std::to_string(platform::currentProcessId()) + "-" +
                                 std::to_string(recordings_.size() + 1) + ".csv";
        const std::string path = (std::filesystem::path(recordFolder_) / name).string();
        if (!recorder_.openFile(path, error)) return json{{"ok", false}, {"message", error}}.dump();
        recordName_ = name;
        {
          std::lock_guard lock(recordingsMutex_);
          recordings_.push_back({name, path});
        }
        notice_ = "recording to " + path;
        return json{{"ok", true}, {"message", notice_}, {"file", name}}.dump();
      });
    };
    hooks.recordingPath = [this](const std::string& name) {
      std::lock_guard lock(recordingsMutex_);
      for (const auto& [known, path] : recordings_)
        if (known == name) return path;
      return std::string();
    };
    return hooks;
  }

  const LibraryApi& api_;
  VirtualRig& rig_;
  HostActions& actions_;
  ProfileKeeper& keeper_;
  Recorder& recorder_;
  std::string recordFolder_;
  PanelBridge bridge_;
  std::unique_ptr<PanelServer> server_;
  std::string notice_;      // main loop only
  std::string recordName_;  // main loop only
  std::mutex recordingsMutex_;
  std::vector<std::pair<std::string, std::string>> recordings_;  // (name, path) made by the panel
  Clock::time_point nextStatus_{};
};

}  // namespace

int runCommand(const RunOptions& options) {
  const SupportedGame* simulated = nullptr;
  if (!options.simulate.empty()) {
    simulated = findSimulatedGame(options.simulate);
    if (simulated == nullptr) {
      std::fprintf(stderr, "portrelay: --simulate: gamesim does not play '%s' (see 'portrelay games')\n",
                   options.simulate.c_str());
      return 2;
    }
  }
  if (!options.rigPort.empty() && comPortNumber(options.rigPort) == 0) {
    std::fprintf(stderr, "portrelay: --rig-port: expected a port name COM1..COM255, found '%s'\n",
                 options.rigPort.c_str());
    return 2;
  }
  if (!options.fanPort.empty() && comPortNumber(options.fanPort) == 0) {
    std::fprintf(stderr, "portrelay: --fan-port: expected a port name COM1..COM255, found '%s'\n",
                 options.fanPort.c_str());
    return 2;
  }
  Library library;
  if (!loadLibrary(library, options.virtualRig)) return 1;
  const LibraryApi& api = library.api;

  // The whole profile is read and checked before anything starts.
  Profile profile;
  std::string error;
  if (!readProfileOption(options, api, profile)) return 2;
  if (!options.rigPort.empty()) profile.rigPort = options.rigPort;
  if (!options.fanPort.empty()) {
    if (!profile.fan) profile.fan = FanPort{};
    profile.fan->port = options.fanPort;
  }

  platform::installStopRequestHandler();
  VirtualRig virtualRig;
  if (options.virtualRig) {
    if (!virtualRig.start(*library.handle)) return 1;
    profile.rigPort = "auto";
    if (!profile.fan) profile.fan = FanPort{"COM8"};
  }
  std::unique_ptr<platform::ChildProcess> game;
  if (simulated != nullptr) {
    game = startGameSimulator(*simulated, options.seconds);
    if (game == nullptr) {
      std::fprintf(stderr, "portrelay: cannot start gamesim for %s\n", options.simulate.c_str());
      return 1;
    }
  }

  ProfileKeeper keeper(api, profile, options.profile);
  if (!keeper.applyFor(-1, error)) {
    std::fprintf(stderr, "portrelay: %s\n", error.c_str());
    return 1;
  }
  if (profile.fan &&
      api.initWindSerial(wide(profile.fan->port).c_str(), profile.fan->baudRate, wide(profile.fan->frameFormat).c_str(),
                         profile.fan->intervalMs) != 1)
    std::fprintf(stderr, "portrelay: the fan port %s does not exist; the fan stays off\n", profile.fan->port.c_str());

  Recorder recorder(api);
  const auto watchLimits = [&] {
    std::array<std::array<double, 2>, 6> rigLimits{};
    for (const auto& [axis, l] : keeper.applied().rigLimits) rigLimits[static_cast<size_t>(axis)] = {l.min, l.max};
    recorder.setRigLimits(rigLimits);
  };
  watchLimits();
  if (!recorder.start(options.record, error)) {
    std::fprintf(stderr, "portrelay: --record: %s\n", error.c_str());
    return 1;
  }

  HostActions actions(api, keeper);
  // The terminal view, or (ui) the panel in the browser; the terminal then
  // prints lines as without the view.
  const bool terminalView = !options.noView && !options.panel;
  std::unique_ptr<PanelSession> panel;
  if (options.panel) {
    std::error_code ignored;
    panel = std::make_unique<PanelSession>(api, virtualRig, actions, keeper, recorder,
                                           std::filesystem::current_path(ignored).string());
    if (!panel->start(options.listen, error)) {
      std::fprintf(stderr, "portrelay: %s\n", error.c_str());
      return error.rfind("--listen", 0) == 0 ? 2 : 1;
    }
  }

  // Start-up in the library's order: rig link, then the engine.
  std::thread relay = startRigLink(api, profile.rigPort);
  // The virtual rig is there from the start: the engine starts once the link
  // has found it, so that it makes no motion the link must drop as past
  // (however long the scan takes), and every frame reaches the rig.
  if (options.virtualRig && !waitForTheRig(api))
    std::fprintf(stderr, "portrelay: the virtual rig was not identified within %lld s\n",
                 static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kRigWaitLimit).count()));
  api.startGamesource_Thread();
  if (profile.preciseTimer) api.setTimerPrecision(*profile.preciseTimer ? 1 : 0);
  api.setMotionsystemready(1);
  if (panel) std::printf("portrelay: the panel is at %s\n", panel->url().c_str());
  if (!terminalView) {
    std::printf("portrelay: running%s%s; %s\n", simulated ? ", simulating " : ", waiting for a game",
                simulated ? options.simulate.c_str() : "",
                options.seconds > 0 ? ("ends after " + std::to_string(options.seconds) + " s of motion").c_str()
                                    : "Ctrl-C ends");
    std::fflush(stdout);
  }

  ViewState view;
  view.duration = options.seconds;
  view.recordPath = options.record;
  std::vector<double> periods;
  double motionSince = -1.0;  // steady-clock seconds of the first motion cycle
  double lastLook = steadySeconds();
  auto nextView = Clock::now();
  int32_t gameId = -1;
  ViewWarnings warnings;
  WarningPrinter warningPrinter;
  std::string shownRig;
  auto nextLook = Clock::now();
  LibraryLines libraryLines;
  if (!options.noView) api.setDiagnosticOutput(2, &LibraryLines::receive, &libraryLines);
  // Keys only with the view: without it standard input stays the caller's.
  std::optional<platform::ConsoleKeys> keys;
  if (terminalView) keys.emplace();
  for (bool first = true; !platform::stopRequested();) {
    // A game let go leaves the rig where its last frame put it: park it
    // until a game is attached again, which then fades in.
    const int32_t nowGameId = api.getGameID();
    if (nowGameId < 0 && gameId >= 0) {
      api.parkRig(kParkMs);
      if (!terminalView) std::printf("portrelay: the game was let go; parking the rig\n");
    } else if (nowGameId >= 0 && gameId < 0 && api.getParkStatus() != 0 && !actions.ownerParked()) {
      api.parkRig(0);
    }
    gameId = nowGameId;
    // Seconds of motion count only while the engine runs motion: the time a
    // game is gone and the engine searches is not motion.
    const double now = steadySeconds();
    const bool moving = api.getMotionDataTimeFrame() > 0.0;
    if (motionSince < 0.0) {
      if (!options.record.empty()) {
        motionSince = recorder.firstRowSeconds();
      } else if (moving) {
        motionSince = now - api.getMotionDataTimeFrame() / 1000.0;
      }
      if (motionSince >= 0.0) view.elapsed = now - motionSince;
    } else if (moving) {
      view.elapsed += now - lastLook;
    }
    lastLook = now;
    view.motion = motionSince >= 0.0;
    if (options.seconds > 0.0 && view.elapsed >= options.seconds) break;
    std::string notice;
    keeper.poll(api.getGameID(), notice);
    for (int pressed = keys ? keys->poll() : 0; pressed != 0; pressed = keys->poll()) actions.key(pressed, notice);
    if (!notice.empty()) {
      watchLimits();
      view.notice = notice;
      if (!terminalView) std::fprintf(stderr, "portrelay: %s\n", notice.c_str());
    }
    if (Clock::now() >= nextLook) {
      LibraryFacts facts = readLibraryFacts(api);
      facts.clipped = recorder.clippedShares();
      warnings.observe(facts, steadySeconds());
      view.rig = warnings.rigLine();
      view.warnings = warnings.lines();
      if (!terminalView) {
        warningPrinter.print(view.warnings);
        // The rig as it is found: its port, identity and level, once each
        // change (a rig found before the first look is told too).
        if (view.rig != shownRig && (!shownRig.empty() || warnings.rigPortOpen()))
          std::printf("portrelay: rig %s\n", view.rig.c_str());
        shownRig = view.rig;
      }
      nextLook += kViewInterval;
    }
    if (panel) {
      view.libraryLine = libraryLines.last();
      panel->serve(view, notice);
    }
    if (options.periodStats && view.motion) {
      const double period = api.getMotionDataTimeFrame();
      if (period > 0.0) periods.push_back(period);
    }
    if (terminalView && Clock::now() >= nextView) {
      readView(api, view);
      virtualRig.fill(view);
      view.recordedRows = recorder.rows();
      view.clipped = recorder.clippedShares();
      view.operation = actions.state();
      view.libraryLine = libraryLines.last();
      view.keys = HostActions::keyHelp();
      drawView(view, first);
      first = false;
      nextView += kViewInterval;
    }
    std::this_thread::sleep_for(options.periodStats ? kSampleInterval : std::chrono::milliseconds(10));
  }

  // Shut-down in the library's order: rig parked, then still, engine,
  // recording, link.
  if (panel) panel->stop();
  parkAndWait(api);
  api.setMotionsystemready(0);
  api.stopGamesource_Thread();  // stops the fan too
  recorder.stop();
  api.stopPortRelay_Thread();
  relay.join();
  if (game) game->stop();
  api.setDiagnosticOutput(1, nullptr, nullptr);  // the callback's lines end with this view

  std::printf("\nportrelay: %.1f s of motion", view.elapsed);
  if (!options.record.empty())
    std::printf(", %llu rows recorded to %s", static_cast<unsigned long long>(recorder.rows()),
                options.record.c_str());
  std::printf("\n");
  if (recorder.fullDrains() > 0)
    std::fprintf(stderr, "portrelay: the recording fell behind %llu times; cycles may be missing\n",
                 static_cast<unsigned long long>(recorder.fullDrains()));
  if (options.periodStats)
    std::printf("portrelay: engine cycle over %zu samples: p50 %.3f ms, p99 %.3f ms, max %.3f ms\n", periods.size(),
                percentile(periods, 0.5), percentile(periods, 0.99), percentile(periods, 1.0));
  const uint64_t rigFrames = virtualRig.report();
  virtualRig.close();
  return options.virtualRig && rigFrames == 0 ? 1 : 0;
}

int testAxesCommand(const RunOptions& options, double secondsPerAxis) {
  static const char* const kAxes[6] = {"sway", "surge", "heave", "yaw", "roll", "pitch"};
  Library library;
  if (!loadLibrary(library, options.virtualRig)) return 1;
  const LibraryApi& api = library.api;
  Profile profile;
  if (!readProfileOption(options, api, profile)) return 2;
  if (!options.rigPort.empty()) profile.rigPort = options.rigPort;
  platform::installStopRequestHandler();
  VirtualRig virtualRig;
  if (options.virtualRig) {
    if (!virtualRig.start(*library.handle)) return 1;
    profile.rigPort = "auto";
  }
  // The engine runs motion only with a game: gamesim's, with every slot off
  // but the effect slot of the axis under test, whose input is always 0.
  auto game = startGameSimulator(*findSimulatedGame("assetto-corsa"), 7.0 * secondsPerAxis + 30.0);
  if (game == nullptr) {
    std::fprintf(stderr, "portrelay: cannot start gamesim\n");
    return 1;
  }
  for (int p = 0; p < kProfileCount; ++p)
    for (int slot = 0; slot < kSlotCount; ++slot) api.setActiveAxis(p, slot, 0);
  for (const auto& [axis, l] : profile.rigLimits) api.SetRigDofLimitValue(axis, l.min, l.max);
  std::thread relay = startRigLink(api, profile.rigPort);
  api.startGamesource_Thread();
  api.setMotionsystemready(1);
  std::printf("portrelay: testing each axis for %.0f s: to its limits and back, the others at 0\n", secondsPerAxis);
  for (int axis = 0; axis < 6 && !platform::stopRequested(); ++axis) {
    const auto found = profile.rigLimits.find(axis);
    const Limits limits = found == profile.rigLimits.end() ? Limits{} : found->second;
    const double reach = std::max(std::abs(limits.min), std::abs(limits.max));
    if (reach == 0.0) {
      std::printf("  %-6s skipped: its rig limits are (0, 0)\n", kAxes[axis]);
      continue;
    }
    // One sine period per axis: out to one limit, over to the other, back to
    // 0; the rig limits cut it at each end, the rate limit keeps it slow.
    const std::string chain =
        "SINUS(VALUE;" + std::to_string(reach) + ";" + std::to_string(1.0 / secondsPerAxis) + ")";
    api.setcheckFilterstring(0, 15 + axis, chain.c_str());
    api.setActiveAxis(0, 15 + axis, 1);
    std::printf("  %-6s to %+.3f and %+.3f\n", kAxes[axis], limits.max, limits.min);
    std::fflush(stdout);
    const auto end = Clock::now() + std::chrono::duration<double>(secondsPerAxis);
    while (Clock::now() < end && !platform::stopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    api.setActiveAxis(0, 15 + axis, 0);
  }
  parkAndWait(api);
  api.setMotionsystemready(0);
  api.stopGamesource_Thread();
  api.stopPortRelay_Thread();
  relay.join();
  game->stop();
  const uint64_t rigFrames = virtualRig.report();
  virtualRig.close();
  return options.virtualRig && rigFrames == 0 ? 1 : 0;
}

// One row per port the library's enumeration sees now; false when it fails.
bool listPorts(const LibraryApi& api, const char* mark, int& listed) {
  for (int32_t index = 0;; ++index) {
    int32_t number = 0;
    char friendlyName[256] = {}, hardwareIds[1024] = {};
    uint8_t rigController = 0;
    const int32_t found = api.getSerialPortInfo(index, &number, friendlyName, sizeof friendlyName, hardwareIds,
                                                sizeof hardwareIds, &rigController);
    if (found < 0) return false;
    if (found == 0) return true;
    if (listed++ == 0) std::printf("%-7s %-4s %-34s %s\n", "port", "rig", "friendly name", "hardware ids");
    std::printf("COM%-4d %-4s %-34s %s%s\n", number, rigController ? "yes" : "no",
                friendlyName[0] ? friendlyName : "(no device information)", hardwareIds[0] ? hardwareIds : "-", mark);
  }
}

int portsCommand(bool virtualRigWanted) {
  Library library;
  if (!loadLibrary(library, virtualRigWanted)) return 1;
  // The real ports first: once the virtual rig is registered, the library
  // sees only the virtual ones.
  int listed = 0;
  bool enumerated = listPorts(library.api, "", listed);
  VirtualRig virtualRig;
  if (enumerated && virtualRigWanted) {
    if (!virtualRig.start(*library.handle)) return 1;
    enumerated = listPorts(library.api, "   (virtual)", listed);
  }
  if (!enumerated) {
    std::fprintf(stderr, "portrelay: the serial ports cannot be enumerated\n");
    return 1;
  }
  if (listed == 0) std::printf("no serial ports\n");
  return 0;
}

int checkCommand(const std::string& filter) {
  Library library;
  if (!loadLibrary(library)) return 1;
  char text[8192] = {};
  int32_t position = 0;
  const int32_t valid = library.api.checkFilterstring(filter.c_str(), text, sizeof text, &position);
  if (valid == 1) {
    std::printf("%s", text);
    for (const std::string& warning : filterWarnings(filter, text)) std::printf("warning: %s\n", warning.c_str());
    return 0;
  }
  if (valid < 0) {
    std::fprintf(stderr, "portrelay: the filter string could not be checked\n");
    return 1;
  }
  std::printf("invalid at character %d: %s\n", position + 1, text);
  return 1;
}

int gamesCommand() {
  std::printf("%-3s %-21s %-18s %-44s %-10s %s\n", "id", "name", "transport", "port or sections", "--simulate",
              "processes accepted (one must run)");
  const auto field = [](std::string_view text) { return text.empty() ? std::string("-") : std::string(text); };
  for (const SupportedGame& g : supportedGames())
    std::printf("%-3d %-21s %-18s %-44s %-10s %s\n", g.id, field(g.name).c_str(), field(g.transport).c_str(),
                field(g.endpoint).c_str(), field(g.simulateKey).c_str(), field(g.processes).c_str());
  return 0;
}

}  // namespace host
