#include "view_warnings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "games.h"
#include "profile.h"

namespace host {
namespace {

constexpr int32_t kTelemetrySeen = 1, kProcessSeen = 2;

std::string formatted(const char* pattern, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, pattern, values...);
  return text;
}

// "datagrams arrive on port 4321", "its shared memory SCSTelemetryExample moves".
std::string telemetryArrives(const SupportedGame& game) {
  if (game.transport == "UDP") return "datagrams arrive on " + std::string(game.endpoint);
  if (game.transport == "shared memory") return "its shared memory " + std::string(game.endpoint) + " moves";
  return "its " + std::string(game.transport) + " opens";
}

std::string telemetryMissing(const SupportedGame& game) {
  if (game.transport == "UDP") return "no datagrams arrive on " + std::string(game.endpoint);
  if (game.transport == "shared memory") return "its shared memory " + std::string(game.endpoint) + " does not move";
  return "its " + std::string(game.transport) + " does not open";
}

// "DCS.exe or DCS64.exe".
std::string eitherProcess(const SupportedGame& game) {
  std::string all(game.processes);
  for (size_t at = all.find(", "); at != std::string::npos; at = all.find(", ", at + 4)) all.replace(at, 2, " or ");
  return all;
}

// The first process name a game's detection accepts: what gamesim's --as needs.
std::string firstProcess(const SupportedGame& game) {
  const std::string all(game.processes);
  return all.substr(0, all.find(','));
}

void detectionHints(const LibraryFacts& facts, std::vector<std::string>& lines) {
  if (facts.gameId >= 0) return;
  for (const SupportedGame& game : supportedGames()) {
    if (game.id < 0 || game.id >= kGameCount || game.processes.empty()) continue;
    const int32_t clues = facts.detectionClues[static_cast<size_t>(game.id)];
    if (clues == kTelemetrySeen) {
      lines.push_back(formatted("%s: %s but no %s runs (gamesim: --as %s)",
                             std::string(game.name).c_str(), telemetryArrives(game).c_str(),
                             eitherProcess(game).c_str(), firstProcess(game).c_str()));
    } else if (clues == kProcessSeen) {
      lines.push_back(formatted("%s: the game runs but %s: in a menu, or its telemetry output is off",
                             std::string(game.name).c_str(), telemetryMissing(game).c_str()));
    }
  }
}

}  // namespace

LibraryFacts readLibraryFacts(const LibraryApi& api) {
  LibraryFacts facts;
  facts.transport = api.getRigLinkStatus(&facts.comNumber, &facts.identity, &facts.level, &facts.linksLost,
                                         &facts.framesDropped);
  facts.gameId = api.getGameID();
  for (int id = 0; id < kGameCount; ++id)
    facts.detectionClues[static_cast<size_t>(id)] = facts.gameId < 0 ? api.getDetectionClues(id) : 0;
  api.getEngineStalls(&facts.longCycles, &facts.longestCycleMs);
  return facts;
}

void ViewWarnings::observe(const LibraryFacts& facts, double nowSeconds) {
  if (!observed_) first_ = facts;
  if (observed_ && facts.linksLost > now_.linksLost) lastLossSeconds_ = nowSeconds;
  observed_ = true;
  now_ = facts;
  nowSeconds_ = nowSeconds;
  droppedHistory_.emplace_back(nowSeconds, facts.framesDropped);
  // Keep one look at or before the window's start: the count to subtract.
  while (droppedHistory_.size() > 1 && droppedHistory_[1].first <= nowSeconds - kRecentSeconds)
    droppedHistory_.erase(droppedHistory_.begin());
}

std::vector<std::string> ViewWarnings::lines() const {
  std::vector<std::string> lines;
  if (!observed_) return lines;
  const int32_t lost = now_.linksLost - first_.linksLost;
  if (lost > 0)
    lines.push_back(formatted("rig link lost %d time%s in this run, the last %.0f s ago", lost, lost == 1 ? "" : "s",
                           nowSeconds_ - lastLossSeconds_));
  const int32_t dropped = now_.framesDropped - droppedHistory_.front().second;
  if (dropped > 0)
    lines.push_back(formatted("%d motion frames dropped in the last %.0f s: the link could not take them", dropped,
                           kRecentSeconds));
  if (now_.longestCycleMs > 10.0)
    lines.push_back(formatted("engine stalls: %d cycles over 10 ms, the longest of the last 10 s %.0f ms",
                           now_.longCycles, now_.longestCycleMs));
  std::string clipping;
  for (int i = 0; i < 6; ++i) {
    const double share = now_.clipped[static_cast<size_t>(i)];
    if (share > 0.0) clipping += formatted("%s %ld %%  ", kAxisNames[i], std::lround(100.0 * share));
  }
  if (!clipping.empty()) lines.push_back("held at a rig limit in the last second: " + clipping);
  detectionHints(now_, lines);
  return lines;
}

std::string ViewWarnings::rigLine() const {
  if (!observed_) return "";
  static const char* const kTransports[3] = {"", " (serial link)", " (UDP link)"};
  const char* transport = kTransports[std::clamp(now_.transport, 0, 2)];
  if (!rigPortOpen())
    return now_.identity > 0 ? formatted("no rig port open (the last rig gave identity %d)", now_.identity)
                             : "no rig identified yet";
  std::string line = now_.comNumber > 0 ? formatted("COM%d", now_.comNumber) : "over the network";
  if (now_.identity > 0) line += formatted(", identity %d", now_.identity);
  line += now_.level >= 0 ? formatted(", level %d", now_.level) : ", level not reported yet";
  return line + transport;
}

}  // namespace host
