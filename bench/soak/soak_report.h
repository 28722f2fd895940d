// The soak's counters, failures and distributions, shared by its threads;
// one summary line per minute and the final table. Everything is allocated
// up front, so the soak's own bookkeeping does not grow the resident memory
// it watches.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "fault_schedule.h"

namespace portrelay::soak {

// Latencies in bins of 10 us up to 200 ms; longer ones count in the last bin
// and in the maximum.
class LatencyHistogram {
 public:
  static constexpr int kBins = 20000;
  static constexpr double kBinMs = 0.01;
  void add(double ms);
  void clear();
  uint64_t count() const { return count_; }
  double percentile(double q) const;
  double max() const { return max_; }

 private:
  std::array<uint32_t, kBins> bins_{};
  uint64_t count_ = 0;
  double max_ = 0.0;
};

// Phases of the latency table: one per fault kind (the time from its
// injection until frames flow again), the UDP link, and "steady".
inline constexpr int kSteadyPhase = kFaultKinds;
inline constexpr int kPhases = kFaultKinds + 1;

struct StepRecord {
  double value = 0.0;   // largest change between consecutive frames
  double bound = 0.0;   // the bound of that axis
  int axis = -1;
  int phase = kSteadyPhase;
  double atSeconds = 0.0;
};

class SoakReport {
 public:
  explicit SoakReport(int64_t startNs);

  double secondsAt(int64_t ns) const { return static_cast<double>(ns - startNs_) / 1e9; }

  void fail(int64_t ns, const std::string& what);
  // A thread or the link kept no time: a failure, or only a note when timing
  // is informational (a short run on a shared test machine).
  void late(int64_t ns, const std::string& what);
  void setTimingInformational(bool informational) { timingInformational_ = informational; }
  // One line of what the soak does, with its time.
  void note(int64_t ns, const std::string& what);
  bool failed() const { return failures_.load() != 0; }

  void faultInjected(FaultKind kind);
  void frame(bool udp);
  void undecoded();
  void latency(int phase, double ms);
  void step(int axis, double value, double bound, int phase, int64_t ns);
  void gameReturned(double ms);
  void enginePeriod(double ms);
  void relayPeriod(double ms);
  void monitorLate(double ms);
  void rigGap(double ms);
  void resident(uint64_t bytes, bool baseline);
  void fanBytes(uint64_t count);
  void cutFrames(uint64_t count);

  // One line for the minute just ended; starts the next minute.
  void printMinute(int minute, double residentMiB);
  void printTable(bool withUdp);

 private:
  // Raises a whole-run and a this-minute maximum together.
  void keepLongest(double& whole, double& minute, double ms);

  int64_t startNs_;
  bool timingInformational_ = false;
  mutable std::mutex mutex_;
  std::atomic<uint64_t> failures_{0};
  std::vector<std::string> failureTexts_;
  std::array<uint64_t, kFaultKinds> faults_{};
  uint64_t framesSerial_ = 0, framesUdp_ = 0, undecoded_ = 0, fanBytes_ = 0, cutFrames_ = 0;
  std::array<LatencyHistogram, kPhases> latency_{};
  LatencyHistogram minuteLatency_;
  StepRecord worstStep_, minuteWorstStep_;
  double worstReturnMs_ = 0.0;
  uint64_t returns_ = 0;
  double engineMax_ = 0, relayMax_ = 0, monitorLateMax_ = 0, rigGapMax_ = 0;
  double minuteEngineMax_ = 0, minuteRelayMax_ = 0, minuteMonitorLateMax_ = 0, minuteRigGapMax_ = 0;
  uint64_t minuteFrames_ = 0, minuteFaults_ = 0, minuteFailures_ = 0;
  uint64_t residentBaseline_ = 0, residentMax_ = 0, residentFirst_ = 0;
};

}  // namespace portrelay::soak
