// The registry of the eighteen supported games: detection, attach, read, detach.
#pragma once
#include <array>
#include <atomic>
#include <functional>
#include <cstdint>
#include <memory>

#include "common/sample_record.h"
#include "sources/game_reader.h"
#include "sources/process_watch.h"

namespace portrelay {

inline constexpr int kGameCount = 18;

// Order in which the flags are tested everywhere.
inline constexpr std::array<int, kGameCount> kGamePriority = {0, 1, 2, 15, 3, 16, 4, 5, 6,
                                                              7, 8, 9, 10, 11, 12, 13, 14, 17};

// Display name of a game id, "No Game online" for any other value.
const char* gameName(int id);

class GameSource {
 public:
  GameSource();  // installs the reader of every supported game
  ~GameSource();
  GameSource(const GameSource&) = delete;
  GameSource& operator=(const GameSource&) = delete;

  // Engine thread. Tests in priority order with a 10-ms pause between two
  // tests; the first game that passes is the one flag set afterwards. With
  // keepGoing, the pass ends (false) between two tests once it reads 0, so a
  // stop does not wait for the whole pass.
  bool detectGame(const std::atomic<uint8_t>* keepGoing = nullptr);
  // On success the sample record starts cleared, so that channels the new
  // game does not fill read 0 rather than the last game's values, and the
  // process watch follows the game.
  bool attachGame();
  bool readSample();
  bool detachGame();
  void clearFlags();

  // Any thread: the first set flag in priority order, or -1.
  int getGameID() const;
  // Writes the display name (at most 21 bytes with the NUL).
  void getGameName(char* buffer) const;
  // Ground state of the detected game, -1 when none is detected.
  int32_t groundState() const;

  SampleRecord& record() { return record_; }
  const SampleRecord& record() const { return record_; }
  // Any thread: the record's time frame as of the last read (the record
  // itself belongs to the engine thread).
  double timeFrame() const { return timeFrame_.load(std::memory_order_relaxed); }

  // Replaces the reader of a game id (registry set-up and test seam). A null
  // reader's detection test always fails.
  void installReader(int id, std::unique_ptr<GameReader> reader);
  GameReader* reader(int id) const { return readers_[static_cast<size_t>(id)].get(); }

  // The attached game's process has ended (engine thread, once per cycle).
  bool attachedGameGone() const { return processWatch_.gone(); }
  // Its thread is started and stopped with the engine thread.
  ProcessWatch& processWatch() { return processWatch_; }

  // Pause after a failed detection test, in ms (test seam; 10 in production).
  void setDetectionPauseMs(int ms) { detectionPauseMs_ = ms; }
  // How that pause is spent (a plain sleep unless set; set before detection runs).
  void setPauseBetweenTests(std::function<void(int)> pause) { pauseBetweenTests_ = std::move(pause); }

 private:
  GameReader* detectedReader() const;

  std::array<std::atomic<bool>, kGameCount> flags_{};
  std::array<std::unique_ptr<GameReader>, kGameCount> readers_;
  SampleRecord record_;
  std::atomic<double> timeFrame_{0.0};
  int detectionPauseMs_ = 10;
  std::function<void(int)> pauseBetweenTests_;
  ProcessWatch processWatch_;  // last: its thread ends before the readers go
};

}  // namespace portrelay
