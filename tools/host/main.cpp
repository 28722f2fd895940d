// host: the demo. Loads the PortRelay shared library the way a host
// application does and drives it only through its exports: a simulated Assetto
// Corsa drives a lap, the engine shapes it with a default profile, the relay
// finds a virtual rig on a pseudo-terminal and sends it 500 frames a second,
// and the fan controller feeds a virtual fan on a second pseudo-terminal.
//
//   host [--seconds S]     (default 20; Ctrl-C ends earlier)
//
// The one call that is not a host export registers the rig's pseudo-terminal
// as a USB serial port with a USB id the library accepts (a pseudo-terminal
// has none); the library's own checks are unchanged.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

#include "engine/output_frame.h"
#include "gamesim/assetto_corsa_sim.h"
#include "gamesim/simulation_runner.h"
#include "library_api.h"
#include "live_view.h"
#include "platform/tools/child_process.h"
#include "platform/tools/dynamic_library.h"
#include "platform/processes.h"
#include "simulated_fan.h"
#include "simulated_rig.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace platform = portrelay::platform;

constexpr int kRigCom = 7;
constexpr int kFanCom = 8;
constexpr unsigned kFanIntervalMs = 15;

// The default profile, on the AIR profile (the one a car game selects):
// accelerations (m/s^2) to sway and surge through a gentle low-pass, heave
// through a high-pass that removes gravity, rates to
// yaw, roll and pitch, every axis inside +-0.8 of the rig's travel; the belt
// from surge and heave, the fan from a slow sine around half speed.
bool installDefaultProfile(const host::LibraryApi& api) {
  struct Axis {
    const char* chain;
    double inputLimit;
  };
  const Axis axes[6] = {{"EMALP(GAIN(VALUE;0.05);8)", 30.0}, {"EMALP(GAIN(VALUE;0.05);8)", 30.0},
                        {"EMAHP(GAIN(VALUE;0.2);50)", 30.0}, {"EMAHP(GAIN(VALUE;0.01);50)", 200.0},
                        {"GAIN(VALUE;0.02)", 200.0},        {"GAIN(VALUE;0.02)", 200.0}};
  bool ok = true;
  for (int slot = 0; slot < 6; ++slot) {
    ok = api.setcheckFilterstring(0, slot, axes[slot].chain) && ok;
    api.setActiveAxis(0, slot, 1);
    api.SetInputDofLimitValue(slot, -axes[slot].inputLimit, axes[slot].inputLimit);
    api.SetRigDofLimitValue(slot, -0.8, 0.8);
  }
  for (int slot : {6, 7, 8, 9}) api.setActiveAxis(0, slot, 0);  // no second roll and pitch sources
  for (int slot : {10, 11, 12}) api.setActiveAxis(0, slot, 1);
  api.setBelt_Mix(0, 1, 100.0);
  api.setBelt_Mix(0, 2, 50.0);
  ok = api.setcheckFilterstring(0, 21, "ADD(SINUS(VALUE;40;0.2);50)") && ok;
  api.setActiveAxis(0, 21, 1);
  return ok;
}

int usage() {
  std::fprintf(stderr, "usage: host [--seconds S]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 20.0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else {
      return usage();
    }
  }
  if (!(seconds > 0.0)) return usage();
  platform::installStopRequestHandler();

  // The test variant of the library: the demo registers the virtual rig's
  // pseudo-terminal through its COM-port seam.
  const std::string libraryPath = platform::executableDirectory() + "/" + platform::kPortRelayTestLibraryName;
  platform::DynamicLibrary library(libraryPath);
  host::LibraryApi api{};
  std::string missing;
  if (!library.loaded() || !host::resolve(library, api, missing)) {
    std::fprintf(stderr, "host: cannot use %s %s\n", libraryPath.c_str(), missing.c_str());
    return 1;
  }

  // The virtual rig and fan, each on a pseudo-terminal behind a link.
  const std::filesystem::path ports =
      std::filesystem::temp_directory_path() / ("portrelay-demo-" + std::to_string(getpid()));
  std::filesystem::create_directories(ports);
  const std::string rigLink = (ports / "rig").string(), fanLink = (ports / "fan").string();
  rigsim::SimulatedRig rig;
  rigsim::SimulatedFan fan;
  if (!rig.start(rigLink) || !fan.start(fanLink)) {
    std::fprintf(stderr, "host: cannot create the pseudo-terminals\n");
    return 1;
  }
  api.portrelaySeam_addComPort(kRigCom, rigLink.c_str(), "USB-SERIAL CH340 (COM7)", "USB\\VID_1A86&PID_7523&REV_0254");
  api.portrelaySeam_addComPort(kFanCom, fanLink.c_str(), "Fan controller (COM8)", "");

  // The game: a lap published as Assetto Corsa's shared memory at 500 Hz.
  gamesim::AssettoCorsaSim game;
  if (!game.start()) {
    std::fprintf(stderr, "host: cannot publish the game's shared memory\n");
    return 1;
  }
  gamesim::SimulationRunner lap(game, 500.0);
  lap.start();

  if (!installDefaultProfile(api)) std::fprintf(stderr, "host: a filter string was refused\n");
  api.initWindSerial(L"COM8", 115200, L"8N1", kFanIntervalMs);
  api.setMotionsystemready(1);
  api.startGamesource_Thread();
  api.enableAutoconnect();
  std::thread relay([&] { api.startPortRelay_Thread(); });

  host::ViewState view;
  view.duration = seconds;
  const auto begin = Clock::now();
  size_t fanBytesBefore = 0;
  auto fanSince = Clock::now();
  for (bool first = true; !platform::stopRequested(); first = false) {
    view.elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    if (view.elapsed >= seconds) break;
    char name[32] = {};
    api.getGameName(name);
    view.game = name;
    view.gameId = api.getGameID();
    view.profile = api.getactiveProfil();
    view.cycleMs = api.getMotionDataTimeFrame();
    view.gameFrameMs = api.getGameTimeFrame();
    view.relayCycleMs = api.getOutputTimeFrame();
    view.fadePercent = api.getTransitionStatus();
    uint8_t frame[portrelay::kOutputFrameSize];
    api.getOutputData(frame);
    const portrelay::MotionFrameValues values = portrelay::decodeMotionFrame(frame);
    for (int i = 0; i < portrelay::kRigAxisCount; ++i) view.axes[i] = values.axes[static_cast<size_t>(i)];
    view.belt = values.belt;
    view.fanValue = values.fan;
    const auto fanBytes = fan.bytes();
    view.lastFanByte = fanBytes.empty() ? -1 : fanBytes.back().value;
    const double fanWindow = std::chrono::duration<double>(Clock::now() - fanSince).count();
    if (fanWindow >= 1.0) {
      view.fanBytesPerSecond = static_cast<double>(fanBytes.size() - fanBytesBefore) / fanWindow;
      fanBytesBefore = fanBytes.size();
      fanSince = Clock::now();
    }
    const rigsim::RigStats stats = rig.stats();
    view.rigFramesPerSecond = stats.motionRatePerSecond;
    view.rigFrames = stats.motionFrames;
    view.checksumErrors = stats.checksumErrors;
    view.connected = api.isConnected() != 0;
    host::drawView(view, first);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }

  api.stopGamesource_Thread();  // stops the fan too (its last byte is 0x00)
  api.stopPortRelay_Thread();
  relay.join();
  lap.stop();
  game.stop();
  api.portrelaySeam_clearComPorts();
  const rigsim::RigStats stats = rig.stats();
  const auto fanBytes = fan.bytes();
  std::printf("\nhost: the rig received %llu motion frames (%llu checksummed, %llu checksum errors); "
              "the fan received %zu bytes, the last %d\n",
              static_cast<unsigned long long>(stats.motionFrames),
              static_cast<unsigned long long>(stats.checksummedMotionFrames),
              static_cast<unsigned long long>(stats.checksumErrors), fanBytes.size(),
              fanBytes.empty() ? -1 : fanBytes.back().value);
  std::error_code ignored;
  std::filesystem::remove_all(ports, ignored);
  return stats.checksummedMotionFrames > 0 ? 0 : 1;
}
