#include "soak_report.h"

#include <algorithm>
#include <cstdio>

#include "soak_signal.h"

namespace portrelay::soak {
namespace {

constexpr size_t kKeptFailures = 200;
const char* const kAxisNames[6] = {"sway", "surge", "heave", "yaw", "roll", "pitch"};

const char* phaseName(int phase) {
  return phase == kSteadyPhase ? "steady (no fault)" : faultName(static_cast<FaultKind>(phase));
}

}  // namespace

void LatencyHistogram::add(double ms) {
  if (!(ms >= 0.0)) ms = 0.0;
  const int bin = std::min(kBins - 1, static_cast<int>(ms / kBinMs));
  ++bins_[static_cast<size_t>(bin)];
  ++count_;
  max_ = std::max(max_, ms);
}

void LatencyHistogram::clear() {
  bins_.fill(0);
  count_ = 0;
  max_ = 0.0;
}

double LatencyHistogram::percentile(double q) const {
  if (count_ == 0) return 0.0;
  const uint64_t rank = static_cast<uint64_t>(q * static_cast<double>(count_ - 1)) + 1;
  uint64_t seen = 0;
  for (int i = 0; i < kBins; ++i) {
    seen += bins_[static_cast<size_t>(i)];
    if (seen >= rank) return i == kBins - 1 ? max_ : (i + 1) * kBinMs;  // upper edge of the bin
  }
  return max_;
}

SoakReport::SoakReport(int64_t startNs) : startNs_(startNs) { failureTexts_.reserve(kKeptFailures + 1); }

void SoakReport::fail(int64_t ns, const std::string& what) {
  std::lock_guard lock(mutex_);
  failures_.fetch_add(1);
  ++minuteFailures_;
  char head[48];
  std::snprintf(head, sizeof head, "%9.3f s  ", secondsAt(ns));
  if (failureTexts_.size() < kKeptFailures) {
    failureTexts_.push_back(head + what);
    std::printf("FAIL %s\n", failureTexts_.back().c_str());
    std::fflush(stdout);
  }
}

void SoakReport::late(int64_t ns, const std::string& what) {
  if (timingInformational_) {
    note(ns, "late (not counted): " + what);
  } else {
    fail(ns, what);
  }
}

void SoakReport::note(int64_t ns, const std::string& what) {
  std::lock_guard lock(mutex_);
  std::printf("%9.3f s  %s\n", secondsAt(ns), what.c_str());
  std::fflush(stdout);
}

void SoakReport::faultInjected(FaultKind kind) {
  std::lock_guard lock(mutex_);
  ++faults_[static_cast<size_t>(kind)];
  ++minuteFaults_;
}

void SoakReport::frame(bool udp) {
  std::lock_guard lock(mutex_);
  ++(udp ? framesUdp_ : framesSerial_);
  ++minuteFrames_;
}

void SoakReport::undecoded() {
  std::lock_guard lock(mutex_);
  ++undecoded_;
}

void SoakReport::latency(int phase, double ms) {
  std::lock_guard lock(mutex_);
  latency_[static_cast<size_t>(phase)].add(ms);
  minuteLatency_.add(ms);
}

void SoakReport::step(int axis, double value, double bound, int phase, int64_t ns) {
  std::lock_guard lock(mutex_);
  const StepRecord record{value, bound, axis, phase, secondsAt(ns)};
  // Compared as a share of each axis's bound: the axes move at different rates.
  auto worse = [&](const StepRecord& held) { return held.axis < 0 || value / bound > held.value / held.bound; };
  if (worse(worstStep_)) worstStep_ = record;
  if (worse(minuteWorstStep_)) minuteWorstStep_ = record;
}

void SoakReport::gameReturned(double ms) {
  std::lock_guard lock(mutex_);
  ++returns_;
  worstReturnMs_ = std::max(worstReturnMs_, ms);
}

void SoakReport::keepLongest(double& whole, double& minute, double ms) {
  std::lock_guard lock(mutex_);
  whole = std::max(whole, ms);
  minute = std::max(minute, ms);
}

void SoakReport::enginePeriod(double ms) { keepLongest(engineMax_, minuteEngineMax_, ms); }

void SoakReport::relayPeriod(double ms) { keepLongest(relayMax_, minuteRelayMax_, ms); }

void SoakReport::monitorLate(double ms) { keepLongest(monitorLateMax_, minuteMonitorLateMax_, ms); }

void SoakReport::rigGap(double ms) { keepLongest(rigGapMax_, minuteRigGapMax_, ms); }

void SoakReport::resident(uint64_t bytes, bool baseline) {
  std::lock_guard lock(mutex_);
  if (residentFirst_ == 0) residentFirst_ = bytes;
  if (baseline) residentBaseline_ = bytes;
  if (residentBaseline_ != 0) residentMax_ = std::max(residentMax_, bytes);
}

void SoakReport::fanBytes(uint64_t count) {
  std::lock_guard lock(mutex_);
  fanBytes_ += count;
}

void SoakReport::cutFrames(uint64_t count) {
  std::lock_guard lock(mutex_);
  cutFrames_ += count;
}

void SoakReport::printMinute(int minute, double residentMiB) {
  std::lock_guard lock(mutex_);
  char step[64] = "none";
  if (minuteWorstStep_.axis >= 0)
    std::snprintf(step, sizeof step, "%.4f %s (%.0f%% of bound)", minuteWorstStep_.value,
                  kAxisNames[minuteWorstStep_.axis], 100.0 * minuteWorstStep_.value / minuteWorstStep_.bound);
  std::printf(
      "minute %3d: frames %6llu, faults %2llu, failures %llu | worst step %s | latency p99 %.2f ms (%llu) | "
      "max engine %.1f ms, relay %.1f ms, rig gap %.1f ms, monitor late %.1f ms | RSS %.2f MiB\n",
      minute, static_cast<unsigned long long>(minuteFrames_), static_cast<unsigned long long>(minuteFaults_),
      static_cast<unsigned long long>(minuteFailures_), step, minuteLatency_.percentile(0.99),
      static_cast<unsigned long long>(minuteLatency_.count()), minuteEngineMax_, minuteRelayMax_, minuteRigGapMax_,
      minuteMonitorLateMax_, residentMiB);
  std::fflush(stdout);
  minuteFrames_ = minuteFaults_ = minuteFailures_ = 0;
  minuteLatency_.clear();
  minuteWorstStep_ = StepRecord{};
  minuteEngineMax_ = minuteRelayMax_ = minuteRigGapMax_ = minuteMonitorLateMax_ = 0;
}

void SoakReport::printTable(bool withUdp) {
  std::lock_guard lock(mutex_);
  std::printf("\n==== soak result: %s ====\n", failures_.load() == 0 ? "PASSED" : "FAILED");
  std::printf("%-28s %8s\n", "fault kind", "injected");
  uint64_t total = 0;
  for (int k = 0; k < kFaultKinds; ++k) {
    if (static_cast<FaultKind>(k) == FaultKind::udpLink && !withUdp) {
      std::printf("%-28s %8s\n", faultName(FaultKind::udpLink), "skipped");
      continue;
    }
    std::printf("%-28s %8llu\n", faultName(static_cast<FaultKind>(k)),
                static_cast<unsigned long long>(faults_[static_cast<size_t>(k)]));
    total += faults_[static_cast<size_t>(k)];
  }
  std::printf("%-28s %8llu\n", "all faults", static_cast<unsigned long long>(total));
  std::printf("frames received: serial rig %llu, UDP rig %llu (not on the circle: %llu); fan bytes %llu\n",
              static_cast<unsigned long long>(framesSerial_), static_cast<unsigned long long>(framesUdp_),
              static_cast<unsigned long long>(undecoded_), static_cast<unsigned long long>(fanBytes_));
  std::printf("frames cut short by a timed-out write to a stalled controller: %llu (bad CRC on whole frames fails)\n",
              static_cast<unsigned long long>(cutFrames_));
  if (worstStep_.axis >= 0)
    std::printf("worst step: %.4f on %s (bound %.4f, %.0f%%) at %.1f s, phase %s\n", worstStep_.value,
                kAxisNames[worstStep_.axis], worstStep_.bound, 100.0 * worstStep_.value / worstStep_.bound,
                worstStep_.atSeconds, phaseName(worstStep_.phase));
  std::printf("game returns: %llu, slowest %.0f ms (bound 3000 ms)\n", static_cast<unsigned long long>(returns_),
              worstReturnMs_);
  std::printf("longest: engine cycle %.1f ms, relay cycle %.1f ms, rig gap while due %.1f ms, monitor wake-up late "
              "%.1f ms (bound 50 ms)\n",
              engineMax_, relayMax_, rigGapMax_, monitorLateMax_);
  std::printf("resident memory: %.2f MiB at start, %.2f MiB after the first minute, at most %.2f MiB later "
              "(growth %+.3f MiB, bound 1 MiB)\n",
              static_cast<double>(residentFirst_) / 1048576.0, static_cast<double>(residentBaseline_) / 1048576.0,
              static_cast<double>(residentMax_) / 1048576.0,
              residentBaseline_ == 0 ? 0.0
                                     : (static_cast<double>(residentMax_) - static_cast<double>(residentBaseline_)) /
                                           1048576.0);
  std::printf("%-28s %8s %8s %8s %8s\n", "latency sample->rig, phase", "frames", "p50 ms", "p99 ms", "max ms");
  for (int p = 0; p < kPhases; ++p) {
    const LatencyHistogram& h = latency_[static_cast<size_t>(p)];
    if (h.count() == 0) continue;
    std::printf("%-28s %8llu %8.2f %8.2f %8.2f\n", phaseName(p), static_cast<unsigned long long>(h.count()),
                h.percentile(0.5), h.percentile(0.99), h.max());
  }
  std::printf("failures: %llu\n", static_cast<unsigned long long>(failures_.load()));
  for (const std::string& text : failureTexts_) std::printf("  %s\n", text.c_str());
  std::fflush(stdout);
}

}  // namespace portrelay::soak
