// The process-wide motion engine: settings, cue arrays, profiles, the game
// registry and the engine thread.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
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

class RigLink;

class MotionEngine {
 public:
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
  // not be created (running stays clear so a later call can try again).
  int32_t start();
  // Stops and joins the engine thread; returns the previous `stopped` flag.
  bool stop();
  // At library unload or process exit: asks the engine thread to end and
  // waits at most kUnloadGraceMs for its loop to finish, never joining it (on
  // Windows a join under the loader lock never returns). True when the loop
  // has ended and the engine may be destroyed; false when it still runs, and
  // the engine must then be left in place.
  bool releaseAtUnload() noexcept;
  static constexpr int kUnloadGraceMs = 500;  // longer than one game-detection pass

  // Host-side setters (bounds as the exports define them).
  void setMotionSystemReady(int32_t ready);
  void setActiveAxis(int32_t profile, int32_t slot, int32_t active);
  void setBeltMix(int32_t profile, int32_t index, double weight);
  void setRigLimit(int32_t slot, double min, double max);
  void setInputLimit(int32_t slot, double min, double max);

  // Output fade (any thread may restart it).
  void restartFade();
  void stepFade();
  double transitionStatus() const;
  double airTransitionStatus() const;
  double groundTransitionStatus() const;

  // Steps of the engine thread, exposed for tests that drive them by hand.
  void resetEngine();
  // Takes the ground state, steps a running AIR/GROUND transition, computes the cues.
  void selectProfile();
  // Every cue slot through its chain, then the mix into the 23 outputs.
  void computeCues();
  double computeCue(const CueProfile& profile, const CueEntry& entry, double weight);
  // Builds the motion frame (rig limits, then a park, then the output rate
  // limit), queues it for the rig, publishes the pose and feeds the fan.
  void sendOutput();
  // Waits the given time; while a park is wanted and the rig is ready, sends
  // a frame every 2 ms meanwhile (the searching state runs no motion cycle).
  void waitSendingPark(int milliseconds);
  // Both histories and positionSnapshot from this cycle's values.
  void recordSnapshots();
  // After the cycle's output: what it sent (`sent` false: no frame).
  void recordFrameSnapshot(bool sent);

  // Motion cancel (host side; publishPose runs on the engine thread).
  void activateMotionCancel(bool enable);
  bool setMotionCancelFilter(double value);
  bool setMotionCancelGain(double value);
  // Creates or opens the pose section and maps it (kept when already held).
  void openPoseSection();
  void publishPose();

  // The last frame sent, as one whole frame (any thread).
  void copyOutputFrame(uint8_t* destination) const { publishedFrame_.copy(destination); }

  // Test seam: how the engine thread is launched.
  using ThreadLauncher = std::function<std::thread(std::function<void()>)>;
  void setThreadLauncher(ThreadLauncher launcher) { launcher_ = std::move(launcher); }

  // ---- members, in the engine's order ----
  WindSerial fan;  // first member: destroyed last, after the loop has stopped
  std::atomic<uint8_t> attached{0};
  std::atomic<uint8_t> running{0};
  std::atomic<uint8_t> stopped{1};
  std::atomic<uint8_t> outputSuspended{1};
  std::atomic<uint8_t> motionSystemReady{0};
  std::atomic<uint8_t> motionCancelActive{0};
  CycleTimer loopTimer;
  CycleStalls cycleStalls;  // written by the engine thread, read by any
  GameSource games;
  // Live arrays handed to the host by address.
  double outputCues[kCueSlotCount] = {};
  double previousData[kCueSlotCount] = {};
  double fadeStart[kCueSlotCount] = {};
  double airCues[kCueSlotCount] = {};
  double groundCues[kCueSlotCount] = {};
  CueProfile airProfile{"Profil AIR"};
  CueProfile groundProfile{"Profil GROUND"};
  std::array<LimitPair, kCueSlotCount> rigLimits;
  std::array<LimitPair, kCueSlotCount> inputLimits;
  std::atomic<double> fadePosition{1.0};
  const double fadeDurationMs = 4000.0;
  uint8_t transitionRunning = 0;  // engine thread only
  std::atomic<int32_t> activeProfile{0};
  std::atomic<double> airWeight{1.0};
  std::atomic<double> groundWeight{0.0};
  const double transitionSteps = 200.0;
  std::atomic<int32_t> failedReads{0};
  std::atomic<int32_t> unchangedCycles{0};
  MotionCancel motionCancel;
  OutputRateLimiter rateLimiter;
  ParkController park;
  SnapshotHistory<CalculationSnapshot> calculationHistory;
  SnapshotHistory<AccelerationSnapshot> accelerationHistory;
  SnapshotHistory<FrameSnapshot> frameHistory;
  double positionSnapshot[kCueSlotCount] = {};  // live, handed to the host by address

  CueProfile* profile(int32_t number);

 private:
  void storeLimits(LimitPair& limits, double min, double max);
  void engineLoop();
  void loopIteration();
  void runCycle();
  void updateFan(double fanOutput);
  double frameIntervalMs();
  // Leaves the cycling state: the loop timer forgets its mark and carry.
  void pauseCycling();
  void recoverFromFault(std::exception_ptr fault) noexcept;

  RigLink& link_;          // the link the motion frames go to
  OutputEncoder encoder_;  // engine thread only
  PublishedFrame publishedFrame_;
  ParkValues lastSent_{};  // engine thread only: the channels of the last frame sent
  // Outputs as last sent (the frame's values for 0..5, belt and fan); the
  // fade starts from these. Written by the engine thread, read by restartFade.
  double sentOutputs_[kCueSlotCount] = {};
  int64_t lastFrameAt_ = 0;  // engine thread only: steady-clock ns of the last frame
  bool cycling_ = false;  // engine thread only: the loop is in Running
  std::atomic<bool> loopEnded_{false};

  std::mutex threadMutex_;  // host side only: start/stop of the thread object
  bool claimed_ = false;    // under threadMutex_: this engine holds the DriverClaim
  std::thread thread_;
  ThreadLauncher launcher_;
};

}  // namespace portrelay
