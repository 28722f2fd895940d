// The host's terminal view: one screen redrawn in place.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct ViewState {
  std::string game;
  int gameId = -1;
  int profile = 0;
  double cycleMs = 0, gameFrameMs = 0, relayCycleMs = 0, fadePercent = 0;
  double airPercent = 100, groundPercent = 0;
  float axes[6] = {};
  uint32_t belt = 0, fanValue = 0;
  std::string link;  // "connected", "searching", "paused", "not running"
  // The virtual rig and fan, when the host runs them.
  bool virtualRig = false;
  int lastFanByte = -1;
  double rigFramesPerSecond = 0, fanBytesPerSecond = 0;
  uint64_t rigFrames = 0, checksumErrors = 0;
  // Recording.
  std::string recordPath;
  uint64_t recordedRows = 0;
  double elapsed = 0, duration = 0;  // duration 0: until Ctrl-C
  bool motion = false;               // the engine runs motion (a game is attached)
  std::string notice;                // the last action, profile switch, reload or refusal
  std::string operation, keys;      // intensity, mutes and park; the keys
  std::string libraryLine;          // the library's newest diagnostic line
  std::array<double, 6> clipped{};   // per axis, share of the last second's cycles held at a rig limit
  int32_t longCycles = 0;            // engine cycles over 10 ms since the start
  double longestCycleMs = 0;         // the longest of the last 10 s
  std::string rig;                   // the rig's port, identity and level (view_warnings.h)
  std::vector<std::string> warnings;  // one line each, most urgent first (view_warnings.h)
};

// Draws the state; `first` clears the screen, later calls overwrite it.
void drawView(const ViewState& state, bool first);

}  // namespace host
