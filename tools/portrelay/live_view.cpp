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

const char* fadeState(const ViewState& s) {
  if (!s.motion) return "waiting for motion";
  return s.fadePercent >= 100.0 ? "idle" : "fading in";
}

}  // namespace

void drawView(const ViewState& s, bool first) {
  static const char* const kAxes[6] = {"sway", "surge", "heave", "yaw", "roll", "pitch"};
  std::printf(first ? "\033[2J\033[H" : "\033[H");
  if (s.duration > 0)
    std::printf("PortRelay  %6.1f / %.0f s of motion   (Ctrl-C ends)\033[K\n\033[K\n", s.elapsed, s.duration);
  else
    std::printf("PortRelay  %6.1f s of motion   (Ctrl-C ends)\033[K\n\033[K\n", s.elapsed);
  std::printf("game      %-22s id %d\033[K\n", s.gameId < 0 ? "waiting for a game..." : s.game.c_str(), s.gameId);
  std::printf("cycle     %6.3f ms   game sample every %6.3f ms   relay cycle %6.3f ms\033[K\n", s.cycleMs,
              s.gameFrameMs, s.relayCycleMs);
  std::printf("fade      %3.0f %%  %-18s\033[K\n", s.fadePercent, fadeState(s));
  std::printf("profile   %-6s   transition AIR %3.0f %% / GROUND %3.0f %%%s\033[K\n\033[K\n",
              s.profile == 1 ? "GROUND" : (s.profile == 0 ? "AIR" : "none"), s.airPercent, s.groundPercent,
              (s.airPercent > 0 && s.groundPercent > 0) ? "  (cross-fading)" : "");
  for (int i = 0; i < 6; ++i) std::printf("%-6s %+8.4f  [%s]\033[K\n", kAxes[i], s.axes[i], bar(s.axes[i]).c_str());
  std::printf("\033[K\nbelt      %10u\033[K\n", s.belt);
  std::printf("fan       %10u\033[K\n", s.fanValue);
  std::printf("link      %s\033[K\n", s.link.c_str());
  if (!s.rig.empty()) std::printf("rig       %s\033[K\n", s.rig.c_str());
  if (s.virtualRig) {
    std::printf("received  %5.0f frames/s   %llu frames, %llu checksum errors (virtual rig)\033[K\n",
                s.rigFramesPerSecond, static_cast<unsigned long long>(s.rigFrames),
                static_cast<unsigned long long>(s.checksumErrors));
    std::printf("fan port  last byte %4d   %5.1f bytes/s (virtual fan)\033[K\n", s.lastFanByte, s.fanBytesPerSecond);
  }
  if (!s.operation.empty()) std::printf("operate   %s\033[K\n", s.operation.c_str());
  for (const std::string& warning : s.warnings) std::printf("WARNING   %s\033[K\n", warning.c_str());
  if (!s.notice.empty()) std::printf("last      %s\033[K\n", s.notice.c_str());
  if (!s.libraryLine.empty()) std::printf("library   %s\033[K\n", s.libraryLine.c_str());
  if (!s.keys.empty()) std::printf("\033[K\n%s\033[K\n", s.keys.c_str());
  if (!s.recordPath.empty())
    std::printf("record    %s   %llu rows\033[K\n", s.recordPath.c_str(),
                static_cast<unsigned long long>(s.recordedRows));
  std::printf("\033[J");  // lines a longer screen left below
  std::fflush(stdout);
}

}  // namespace host
