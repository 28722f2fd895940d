// One supported game: its detection test, transport and telemetry reader.
#pragma once
#include <atomic>
#include <cstdint>

#include "common/cycle_timer.h"
#include "common/sample_record.h"
#include "sources/telemetry_math.h"

namespace portrelay {

class GameReader {
 public:
  GameReader() = default;
  virtual ~GameReader() = default;
  GameReader(const GameReader&) = delete;
  GameReader& operator=(const GameReader&) = delete;

  // Detection test; must not block for long (probes are bounded).
  virtual bool detect() = 0;
  // Opens the telemetry transport; on failure releases what it opened.
  virtual bool attach() = 0;
  // Writes a new sample into the record and returns true; false when nothing
  // new arrived. Never waits.
  virtual bool read(SampleRecord& record) = 0;
  // Releases the transport and clears the reader's marks.
  virtual void detach() = 0;
  // Called when this game's detection test failed (readers reset their marks
  // and release what a failed test leaves behind).
  virtual void onDetectionFailed() {}
  // While attached: does the process that detection looked for still run?
  // True for a game that detection finds without a process. Called on the
  // process watch's thread, never on the engine thread (a process-list query
  // takes milliseconds), so it touches no reader state.
  virtual bool gameProcessRunning() const { return true; }

  // 1 on the ground (GROUND profile), 0 otherwise.
  int32_t groundState() const { return groundState_.load(std::memory_order_relaxed); }

  // What this game's latest detection test found (kCluesTelemetry,
  // kCluesProcess), so a host can tell why a running game is not detected:
  // its telemetry arrives but its process is missing, or the reverse. Only
  // games whose test needs both report clues; any thread.
  static constexpr int32_t kCluesTelemetry = 1;
  static constexpr int32_t kCluesProcess = 2;
  int32_t detectionClues() const { return clues_.load(std::memory_order_relaxed); }

 protected:
  // Timing step shared by all readers: markInterval, then the record's time frame.
  void markSample(SampleRecord& record) {
    timer_.markInterval();
    record.timeFrame = timer_.lastIntervalMs();
  }
  // Steps shared by every reader after its channels are written: the timing
  // step, then the gravity split with the game's completion.
  void completeSample(SampleRecord& record, Completion completion, double pi = kReaderPi) {
    markSample(record);
    splitGravity(record, completion, pi);
  }
  void setGroundState(int32_t state) { groundState_.store(state, std::memory_order_relaxed); }
  // A two-part test records both parts; a part it did not reach counts as not found.
  bool recordClues(bool telemetry, bool process) {
    clues_.store((telemetry ? kCluesTelemetry : 0) | (process ? kCluesProcess : 0), std::memory_order_relaxed);
    return telemetry && process;
  }

  CycleTimer timer_;

 private:
  std::atomic<int32_t> groundState_{0};
  std::atomic<int32_t> clues_{0};
};

}  // namespace portrelay
