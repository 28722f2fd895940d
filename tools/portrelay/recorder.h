// Recording a session: one CSV row per engine cycle, taken by draining the
// library's calculation, acceleration and frame snapshot histories on a
// thread of the host's own. The columns and their units: docs/units.md.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "library_api.h"

namespace host {

class Recorder {
 public:
  explicit Recorder(const LibraryApi& api) : api_(api) {}
  ~Recorder() { stop(); }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Creates the file (none for an empty path: the histories are drained for
  // the clipping watch alone), writes the header and starts draining. Call
  // before the engine starts, so the histories begin empty and pair up.
  bool start(const std::string& path, std::string& error);

  // The rig limits (min, max) of the six axes the clipping watch compares the
  // outputs with; any thread.
  void setRigLimits(const std::array<std::array<double, 2>, 6>& limits);
  // Per axis, the share (0..1) of the last second's cycles whose output lay
  // outside its rig limit, so that the rig got the limit instead.
  std::array<double, 6> clippedShares() const;
  // A recording begun or ended while the engine runs (the panel's); its
  // time_s starts again at 0, wall_time_s keeps counting from the run's start.
  bool openFile(const std::string& path, std::string& error);
  void closeFile();
  bool recording() const;
  // Drains what is left (call after stopGamesource_Thread), flushes and closes.
  void stop();

  uint64_t rows() const { return rows_.load(std::memory_order_relaxed); }
  // Drains that came back full: the history may have dropped records then.
  uint64_t fullDrains() const { return fullDrains_.load(std::memory_order_relaxed); }
  // Seconds on the steady clock at which the first row's cycle ran (estimated
  // from the first drain), or a negative value before any row.
  double firstRowSeconds() const { return firstRow_.load(std::memory_order_relaxed); }

 private:
  void run();
  void drain();
  void writeRows();

  const LibraryApi& api_;
  mutable std::mutex fileMutex_;  // file_ opens and closes while the drain writes
  std::FILE* file_ = nullptr;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<uint64_t> rows_{0};
  std::atomic<uint64_t> fullDrains_{0};
  std::atomic<double> firstRow_{-1.0};
  std::vector<double> calculations_;   // pending records, 23 doubles each
  std::vector<double> accelerations_;  // pending records, 43 doubles each
  std::vector<double> frames_;         // pending records, 10 doubles each
  void watchClipping(const double* outputs, double wallSeconds);
  mutable std::mutex clipMutex_;
  std::array<std::array<double, 2>, 6> rigLimits_{};
  std::deque<std::pair<double, uint8_t>> clipWindow_;  // (wall time, axes over the limit) of the last second
  double startSeconds_ = 0.0;          // the performance counter at start, in seconds
  std::string line_;
};

// The CSV header: time, the 43 game-data channels, the 23 outputs, then the
// cycle's monotonic time since the start, the game id and the six axes sent.
std::vector<std::string> recordingColumns(const LibraryApi& api);

inline constexpr int kHistoryCapacity = 150;  // records each history holds
inline constexpr int kCalculationValues = 23;
inline constexpr int kAccelerationValues = 43;
inline constexpr int kFrameValues = 10;
inline constexpr double kCycleSeconds = 0.002;

}  // namespace host
