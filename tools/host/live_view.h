// The demo's terminal view: one screen redrawn in place.
#pragma once
#include <cstdint>
#include <string>

namespace host {

struct ViewState {
  std::string game;
  int gameId = -1;
  int profile = 0;
  double cycleMs = 0, gameFrameMs = 0, relayCycleMs = 0, fadePercent = 0;
  float axes[6] = {};
  uint32_t belt = 0, fanValue = 0;
  int lastFanByte = -1;
  double rigFramesPerSecond = 0, fanBytesPerSecond = 0;
  uint64_t rigFrames = 0, checksumErrors = 0;
  bool connected = false;
  double elapsed = 0, duration = 0;
};

// Draws the state; `first` clears the screen, later calls overwrite it.
void drawView(const ViewState& state, bool first);

}  // namespace host
