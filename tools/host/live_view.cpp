#include "live_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace host {
namespace {

// A centred bar for a value in [-1, 1]: 41 columns, the middle marks zero.
std::string bar(double value) {
  constexpr int kHalf = 20;
  const int at = kHalf + static_cast<int>(std::lround(std::clamp(value, -1.0, 1.0) * kHalf));
  std::string text(2 * kHalf + 1, ' ');
  text[kHalf] = '|';
  for (int i = std::min(at, kHalf); i <= std::max(at, kHalf); ++i) text[static_cast<size_t>(i)] = '=';
  text[static_cast<size_t>(at)] = '#';
  return text;
}

}  // namespace

void drawView(const ViewState& s, bool first) {
  static const char* const kAxes[6] = {"sway", "surge", "heave", "yaw", "roll", "pitch"};
  std::printf(first ? "\033[2J\033[H" : "\033[H");
  std::printf("PortRelay demo  %5.1f / %.0f s   (Ctrl-C ends)\033[K\n\n", s.elapsed, s.duration);
  std::printf("game      %-22s id %d   profile %s\033[K\n", s.game.c_str(), s.gameId, s.profile ? "GROUND" : "AIR");
  std::printf("cycle     %6.3f ms   game sample every %6.3f ms   relay cycle %6.3f ms\033[K\n", s.cycleMs,
              s.gameFrameMs, s.relayCycleMs);
  std::printf("fade      %3.0f %%\033[K\n\n", s.fadePercent);
  for (int i = 0; i < 6; ++i) std::printf("%-6s %+8.4f  [%s]\033[K\n", kAxes[i], s.axes[i], bar(s.axes[i]).c_str());
  std::printf("\nbelt      %10u\033[K\n", s.belt);
  std::printf("fan       %10u %%   last byte at the fan %4d   %5.1f bytes/s\033[K\n", s.fanValue, s.lastFanByte,
              s.fanBytesPerSecond);
  std::printf("rig       %s   %5.0f frames/s   %llu frames, %llu checksum errors\033[K\n",
              s.connected ? "connected   " : "searching...", s.rigFramesPerSecond,
              static_cast<unsigned long long>(s.rigFrames), static_cast<unsigned long long>(s.checksumErrors));
  std::fflush(stdout);
}

}  // namespace host
