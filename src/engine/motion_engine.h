// The process-wide motion engine: settings, cue arrays, profiles, the game
// registry and the engine thread.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <span>
#include <thread>

#include "common/cycle_timer.h"
#include "engine/cue_profile.h"
#include "engine/cue_tables.h"
#include "engine/cycle_stalls.h"
#include "engine/motion_cancel.h"
#include "engine/output_frame.h"
#include "engine/output_rate_limiter.h"
#include "engine/park_controller.h"
#include "engine/snapshot_history.h"
#include "portrelay/wind_serial.h"
#include "sources/game_source.h"

namespace portrelay {

// One fade step counts at most this much time: 5 periods of 2 ms. Normal
// jitter (a cycle of 3 to 8 ms on a loaded machine or under a compatibility
// layer) still counts in full, while a stall of the thread cannot finish the
// 4000-ms fade in a few cycles.
inline constexpr double kMaxFadeStepMs = 10.0;

// A (min, max) pair set by the host and read by the engine thread.
struct LimitPair {
  std::atomic<double> min{0.0};
  std::atomic<double> max{0.0};
};

// Held cycles of the engine loop: how many took longer than
// CycleStalls::kLongCycleMs since the thread started, and the longest of the
// last seconds.
struct EngineStalls {
  int32_t longCycles = 0;
  double longestMs = 0.0;
};

// Motion cancel as the host last set it.
struct MotionCancelSettings {
  bool active = false;
  double filter = 0.0;
  double gain = 0.0;
};

class RigLink;

class MotionEngine {
 public:
  // The output fade takes this long of running motion.
  static constexpr double kFadeDurationMs = 4000.0;

  // Feeds the process-wide rig link, or the given one; paces its cycles, and
  // times the fade and the stall watch, on the system's clock or the given one.
  MotionEngine();
  explicit MotionEngine(RigLink& link, const platform::Clock& clock = platform::realClock());
  ~MotionEngine();
  MotionEngine(const MotionEngine&) = delete;
  MotionEngine& operator=(const MotionEngine&) = delete;

  // The one engine object, created on first use.
  static MotionEngine& instance();

  // Starts the engine thread; 1 when it already runs, 0 when the thread could
  // not be created (the engine stays startable, so a later call can try again).
  int32_t start();
  // Stops and joins the engine thread; true when it was already stopped.
  bool stop();
  // At library unload or process exit: asks the engine thread to end and
  // waits at most kUnloadGraceMs for its loop to finish, never joining it (on
  // Windows a join under the loader lock never returns). True when the loop
  // has ended and the engine may be destroyed; false when it still runs, and
  // the engine must then be left in place.
  bool releaseAtUnload() noexcept;
  static constexpr int kUnloadGraceMs = 500;  // longer than one game-detection pass

  // ---- Host-side settings and requests (any thread) ----
  void setMotionSystemReady(int32_t ready);
  // 1: precise pacing (sleep, then spin to the cycle's end); 0: sleep only.
  void setTimerPrecision(int32_t mode);
  void setActiveAxis(int32_t profile, int32_t slot, int32_t active);
  void setBeltMix(int32_t profile, int32_t index, double weight);
  void setRigLimit(int32_t slot, double min, double max);
  void setInputLimit(int32_t slot, double min, double max);
  // Restarts the output fade and suspends rig output, then parses `text`. A
  // valid chain for profile 0 or 1 and slot 0..22 replaces the slot's chain
  // and output resumes (true). Otherwise (invalid text, null text, bounds)
  // the slot keeps its chain, output stays suspended until the next game
  // attach, and the result is false.
  bool installFilterString(int32_t profile, int32_t slot, const char* text);
  // False (nothing stored) for a channel outside 0..6 or a rate that is
  // negative or not finite; 0 switches the channel's limit off.
  bool setOutputRateLimit(int32_t channel, double unitsPerSecond);
  // See ParkController::request.
  void requestPark(int32_t durationMs);
  void activateMotionCancel(bool enable);
  bool setMotionCancelFilter(double value);
  bool setMotionCancelGain(double value);
  // Blends the outputs in again from the last frame sent.
  void restartFade();

  // ---- What the engine holds and reports (any thread) ----
  bool isAttached() const { return attached_.load(std::memory_order_acquire) != 0; }  // pairs with resetEngine
  // Rig output held: from a reset until a game is attached, and after a
  // refused filter string. A park still moves the rig.
  bool isOutputSuspended() const { return outputSuspended_.load(std::memory_order_relaxed) != 0; }
  bool isMotionSystemReady() const { return motionSystemReady_.load(std::memory_order_relaxed) != 0; }
  // Reads in a row that brought no sample; past 1000 the game is let go.
  int32_t failedReads() const { return failedReads_.load(std::memory_order_relaxed); }
  // The last cycle's length in ms; 0 while the loop runs no cycles.
  double cycleLengthMs() const { return loopTimer_.lastIntervalMs(); }
  EngineStalls stalls() const;
  // The profile the ground state selects: 0 AIR, 1 GROUND.
  int32_t activeProfile() const { return activeProfile_.load(std::memory_order_relaxed); }
  // The weight of profile 0 (AIR) or 1 (GROUND) in the main slots' mix; 0
  // for any other number.
  double profileWeight(int32_t profile) const;
  // The fade's position: 0 right after a restart, 1 once complete.
  double fadeProgress() const { return fadePosition_.load(std::memory_order_relaxed); }
  // Whole percent of the fade and of the AIR and GROUND weights.
  double transitionStatus() const;
  double airTransitionStatus() const;
  double groundTransitionStatus() const;
  // A slot's limits; (0, 0) outside the slots.
  AxisLimit rigLimit(int32_t slot) const;
  AxisLimit inputLimit(int32_t slot) const;
  MotionCancelSettings motionCancelSettings() const;
  ParkController::Status parkStatus() const { return park_.status(); }
  // The last frame sent, as one whole frame.
  void copyOutputFrame(uint8_t* destination) const { publishedFrame_.copy(destination); }

  // Profile 0 (AIR) or 1 (GROUND); null for any other number.
  CueProfile* profile(int32_t number);
  // The game registry and the sample record the cues are computed from.
  GameSource& games() { return games_; }
  WindSerial& fan() { return fan_; }

  // Live arrays the host reads by address (getMotionCueData's kinds): the
  // AIR and GROUND slot values, the 23 outputs and the fade's start values.
  enum CueArray : int32_t { kAirCues = 0, kGroundCues = 1, kOutputCues = 2, kFadeStart = 3 };
  // kCueSlotCount values; empty for any other kind.
  std::span<double> cues(int32_t kind);
  // This cycle's calculated values (kCueSlotCount), live.
  double* positionSnapshot() { return positionSnapshot_; }
  // The records since the last drain, oldest first (see SnapshotHistory::drain).
  CalculationSnapshot* drainCalculationSnapshots(int32_t* count) { return calculationHistory_.drain(count); }
  AccelerationSnapshot* drainAccelerationSnapshots(int32_t* count) { return accelerationHistory_.drain(count); }
  FrameSnapshot* drainFrameSnapshots(int32_t* count) { return frameHistory_.drain(count); }

  // ---- Steps of the engine thread ----
  // Public for deterministic stepping: tests and benchmarks drive a cycle
  // through them by hand, on an engine whose thread is not started, marking
  // the loop's timer by hand (on a fake clock, say). While the thread runs,
  // the timer is only read.
  CycleTimer& cycleTimer() { return loopTimer_; }
  // Lets the game go and suspends output; the profile mix returns to AIR.
  void resetEngine();
  // Takes the ground state, steps a running AIR/GROUND transition, computes the cues.
  void selectProfile();
  // Every cue slot through its chain, then the mix into the 23 outputs.
  void computeCues();
  // Blends the outputs at the fade's position, then moves it on by the last
  // cycle's length (not while output is suspended).
  void stepFade();
  // Both histories and positionSnapshot from this cycle's values.
  void recordSnapshots();
  // Builds the motion frame (rig limits, then a park, then the output rate
  // limit), queues it for the rig, publishes the pose and feeds the fan.
  void sendOutput();
  // The smoothed pose into the pose section.
  void publishPose();
  // An AIR/GROUND transition is under way (engine thread only).
  bool profileTransitionRunning() const { return transitionRunning_ != 0; }
  // Puts the fade at `position` without a step: a test arranges a fade
  // under way (or complete, 1) with it.
  void setFadeProgress(double position) { fadePosition_.store(position, std::memory_order_release); }

  // Test seam: how the engine thread is launched.
  using ThreadLauncher = std::function<std::thread(std::function<void()>)>;
  void setThreadLauncher(ThreadLauncher launcher) { launcher_ = std::move(launcher); }

 private:
  static constexpr double kTransitionSteps = 200.0;

  double computeCue(const CueProfile& profile, const CueEntry& entry, double weight);
  // Waits the given time; while a park is wanted and the rig is ready, sends
  // a frame every 2 ms meanwhile (the searching state runs no motion cycle).
  void waitSendingPark(int milliseconds);
  // After the cycle's output: what it sent (`sent` false: no frame).
  void recordFrameSnapshot(bool sent);
  // Creates or opens the pose section and maps it (kept when already held).
  void openPoseSection();
  void storeLimits(LimitPair& limits, double min, double max);
  void engineLoop();
  void loopIteration();
  void runCycle();
  void updateFan(double fanOutput);
  double frameIntervalMs();
  // Leaves the cycling state: the loop timer forgets its mark and carry.
  void pauseCycling();
  void recoverFromFault(std::exception_ptr fault) noexcept;

  // ---- members, in the engine's order ----
  WindSerial fan_;  // first member: destroyed last, after the loop has stopped
  std::atomic<uint8_t> attached_{0};
  std::atomic<uint8_t> running_{0};
  std::atomic<uint8_t> stopped_{1};
  std::atomic<uint8_t> outputSuspended_{1};
  std::atomic<uint8_t> motionSystemReady_{0};
  std::atomic<uint8_t> motionCancelActive_{0};
  CycleTimer loopTimer_;
  CycleStalls cycleStalls_;  // written by the engine thread, read by any
  GameSource games_;
  // Live arrays handed to the host by address.
  double outputCues_[kCueSlotCount] = {};
  double previousData_[kCueSlotCount] = {};
  double fadeStart_[kCueSlotCount] = {};
  double airCues_[kCueSlotCount] = {};
  double groundCues_[kCueSlotCount] = {};
  CueProfile airProfile_{"Profil AIR"};
  CueProfile groundProfile_{"Profil GROUND"};
  std::array<LimitPair, kCueSlotCount> rigLimits_;
  std::array<LimitPair, kCueSlotCount> inputLimits_;
  std::atomic<double> fadePosition_{1.0};
  uint8_t transitionRunning_ = 0;  // engine thread only
  std::atomic<int32_t> activeProfile_{0};
  std::atomic<double> airWeight_{1.0};
  std::atomic<double> groundWeight_{0.0};
  std::atomic<int32_t> failedReads_{0};
  std::atomic<int32_t> unchangedCycles_{0};
  MotionCancel motionCancel_;
  OutputRateLimiter rateLimiter_;
  ParkController park_;
  SnapshotHistory<CalculationSnapshot> calculationHistory_;
  SnapshotHistory<AccelerationSnapshot> accelerationHistory_;
  SnapshotHistory<FrameSnapshot> frameHistory_;
  double positionSnapshot_[kCueSlotCount] = {};  // live, handed to the host by address

  RigLink& link_;          // the link the motion frames go to
  OutputEncoder encoder_;  // engine thread only
  PublishedFrame publishedFrame_;
  ParkValues lastSent_{};  // engine thread only: the channels of the last frame sent
  // Outputs as last sent (the frame's values for 0..5, belt and fan); the
  // fade starts from these. Written by the engine thread, read by restartFade.
  double sentOutputs_[kCueSlotCount] = {};
  int64_t lastFrameAt_ = 0;  // engine thread only: the loop clock's counter at the last frame
  bool hasFrameAt_ = false;
  bool cycling_ = false;  // engine thread only: the loop is in Running
  std::atomic<bool> loopEnded_{false};

  std::mutex threadMutex_;  // host side only: start/stop of the thread object
  bool claimed_ = false;    // under threadMutex_: this engine holds the DriverClaim
  std::thread thread_;
  ThreadLauncher launcher_;
};

}  // namespace portrelay
