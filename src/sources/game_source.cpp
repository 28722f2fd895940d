#include "sources/game_source.h"

#include <cstring>

namespace portrelay {

const char* gameName(int id) {
  static constexpr const char* kNames[kGameCount] = {
      "Xplane",  "DCS",      "MSFS2020",   "AssettoCorsa/Comp.", "RaceRoom", "DirtRally2",
      "Condor2", "F1-2023-24", "NoLimits2", "PCAR2/Automobilista2", "iRacing", "WRC23",
      "BeamNG",  "LFS",      "rFactor2",   "MSFS2024",           "AssettoCorsaEvo", "ETSM2/AMT"};
  if (id < 0 || id >= kGameCount) return "No Game online";
  return kNames[id];
}

void installSupportedGames(GameSource& source);  // the readers built so far

GameSource::GameSource() { installSupportedGames(*this); }

GameSource::~GameSource() {
  processWatch_.stop();
  for (auto& reader : readers_)
    if (reader) reader->detach();
}

void GameSource::installReader(int id, std::unique_ptr<GameReader> reader) {
  if (id < 0 || id >= kGameCount) return;
  readers_[static_cast<size_t>(id)] = std::move(reader);
}

bool GameSource::detectGame(const std::atomic<uint8_t>* keepGoing) {
  for (size_t i = 0; i < kGamePriority.size(); ++i) {
    if (keepGoing != nullptr && keepGoing->load(std::memory_order_relaxed) == 0) return false;
    const auto id = static_cast<size_t>(kGamePriority[i]);
    GameReader* candidate = readers_[id].get();
    if (candidate != nullptr && candidate->detect()) {
      // Exactly one flag afterwards, also when an earlier pass left a later
      // game's flag behind (its attach failed).
      for (size_t other = 0; other < flags_.size(); ++other)
        flags_[other].store(other == id, std::memory_order_relaxed);
      return true;
    }
    flags_[id].store(false, std::memory_order_relaxed);
    if (candidate != nullptr) candidate->onDetectionFailed();
    // The pause comes between two tests, not after the last one.
    if (detectionPauseMs_ > 0 && i + 1 < kGamePriority.size()) {
      if (pauseBetweenTests_) {
        pauseBetweenTests_(detectionPauseMs_);
      } else {
        sleepMilliseconds(detectionPauseMs_);
      }
    }
  }
  return false;
}

GameReader* GameSource::detectedReader() const {
  const int id = getGameID();
  return id < 0 ? nullptr : readers_[static_cast<size_t>(id)].get();
}

bool GameSource::attachGame() {
  GameReader* reader = detectedReader();
  if (reader == nullptr || !reader->attach()) return false;
  record_ = SampleRecord{};
  timeFrame_.store(record_.timeFrame, std::memory_order_relaxed);
  processWatch_.watch(reader);
  return true;
}

bool GameSource::readSample() {
  GameReader* reader = detectedReader();
  const bool read = reader != nullptr && reader->read(record_);
  timeFrame_.store(record_.timeFrame, std::memory_order_relaxed);
  return read;
}

bool GameSource::detachGame() {
  processWatch_.watch(nullptr);
  const int id = getGameID();
  if (id < 0) return false;
  if (GameReader* reader = readers_[static_cast<size_t>(id)].get()) reader->detach();
  flags_[static_cast<size_t>(id)].store(false, std::memory_order_relaxed);
  return true;
}

void GameSource::clearFlags() {
  for (auto& flag : flags_) flag.store(false, std::memory_order_relaxed);
}

int GameSource::getGameID() const {
  for (int id : kGamePriority)
    if (flags_[static_cast<size_t>(id)].load(std::memory_order_relaxed)) return id;
  return -1;
}

void GameSource::getGameName(char* buffer) const {
  if (buffer == nullptr) return;
  const char* name = gameName(getGameID());
  std::memcpy(buffer, name, std::strlen(name) + 1);
}

int32_t GameSource::groundState() const {
  GameReader* reader = detectedReader();
  if (getGameID() < 0) return -1;
  return reader != nullptr ? reader->groundState() : 0;
}

}  // namespace portrelay
