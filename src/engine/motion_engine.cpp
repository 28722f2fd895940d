#include "engine/motion_engine.h"

#include <chrono>
#include <cmath>
#include <stdexcept>
#include <system_error>

#include "engine/setting_ranges.h"
#include "riglink/driver_claim.h"
#include "riglink/link_state.h"

namespace portrelay {

MotionEngine::MotionEngine() : MotionEngine(RigLink::instance()) {}

MotionEngine::MotionEngine(RigLink& link, const platform::Clock& clock)
    : loopTimer_(clock),
      link_(link),
      launcher_([](std::function<void()> body) { return std::thread(std::move(body)); }) {
  // A park keeps frames flowing through a detection pass too.
  games_.setPauseBetweenTests([this](int milliseconds) { waitSendingPark(milliseconds); });
}

MotionEngine::~MotionEngine() {
  try {
    stop();
  } catch (...) {
  }
}

namespace {

// Owns the process-wide engine. Its destructor runs at process exit or when
// the library is unloaded: an engine whose thread has not ended by then is
// left in place rather than destroyed under a running thread.
struct EngineHolder {
  MotionEngine* engine = new MotionEngine();
  ~EngineHolder() {
    if (engine->releaseAtUnload()) delete engine;
  }
};

}  // namespace

MotionEngine& MotionEngine::instance() {
  static EngineHolder holder;
  return *holder.engine;
}

bool MotionEngine::releaseAtUnload() noexcept {
  running_.exchange(0);
  const bool watchEnded = games_.processWatch().endWithin(std::chrono::milliseconds(kUnloadGraceMs));
  if (!thread_.joinable()) return watchEnded;
  const platform::Clock& clock = loopTimer_.clock();
  const int64_t deadline = clock.counter() + kUnloadGraceMs * clock.frequency() / 1000;
  while (!loopEnded_.load(std::memory_order_acquire) && clock.counter() < deadline) clock.sleepMicroseconds(1000);
  thread_.detach();
  return watchEnded && loopEnded_.load(std::memory_order_acquire);
}

CueProfile* MotionEngine::profile(int32_t number) {
  if (number == 0) return &airProfile_;
  if (number == 1) return &groundProfile_;
  return nullptr;
}

std::span<double> MotionEngine::cues(int32_t kind) {
  switch (kind) {
    case kAirCues:
      return airCues_;
    case kGroundCues:
      return groundCues_;
    case kOutputCues:
      return outputCues_;
    case kFadeStart:
      return fadeStart_;
    default:
      return {};
  }
}

EngineStalls MotionEngine::stalls() const {
  return {cycleStalls_.longCycles(), cycleStalls_.longestMs(loopTimer_.clock().milliseconds())};
}

int32_t MotionEngine::start() {
  std::lock_guard lock(threadMutex_);
  if (running_.exchange(1) != 0) return 1;
  // Another copy of the library in this process drives the rig: no second engine.
  if (!DriverClaim::instance().acquire()) {
    running_.exchange(0);
    return 0;
  }
  stopped_.exchange(0);
  try {
    if (thread_.joinable()) thread_.join();  // a loop that ended by itself
    // No engine without the watch that lets a game go whose process ended.
    if (!games_.processWatch().start()) throw std::runtime_error("process watch");
    loopEnded_.store(false, std::memory_order_relaxed);
    thread_ = launcher_([this] { engineLoop(); });
  } catch (const std::exception&) {
    games_.processWatch().stop();
    DriverClaim::instance().release();
    running_.exchange(0);
    stopped_.exchange(1);
    return 0;
  }
  claimed_ = true;
  return 1;
}

bool MotionEngine::stop() {
  std::lock_guard lock(threadMutex_);
  running_.exchange(0);
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();  // never wait for ourselves
    } else {
      thread_.join();
    }
  }
  games_.processWatch().stop();
  if (claimed_) {
    claimed_ = false;
    DriverClaim::instance().release();
  }
  return stopped_.exchange(1) != 0;
}

void MotionEngine::setMotionSystemReady(int32_t ready) {
  if (ready == 1) {
    if (motionSystemReady_.load(std::memory_order_relaxed) == 0) {
      motionSystemReady_.exchange(1);
      restartFade();
    }
  } else if (ready == 0) {
    if (motionSystemReady_.load(std::memory_order_relaxed) != 0) {
      motionSystemReady_.exchange(0);
      restartFade();
    }
  }
}

void MotionEngine::setTimerPrecision(int32_t mode) { loopTimer_.setPreciseMode(mode); }

void MotionEngine::setActiveAxis(int32_t profileNumber, int32_t slot, int32_t active) {
  if (CueProfile* p = profile(profileNumber); p != nullptr && static_cast<uint32_t>(slot) < kCueSlotCount)
    p->activeSlots[static_cast<size_t>(slot)].store(static_cast<uint8_t>(active & 0xFF),
                                                    std::memory_order_relaxed);
  restartFade();
}

void MotionEngine::setBeltMix(int32_t profileNumber, int32_t index, double weight) {
  if (!withinMagnitude(weight, kMaxBeltWeightMagnitude)) return;
  CueProfile* p = profile(profileNumber);
  if (p == nullptr || static_cast<uint32_t>(index) >= kGameDataCount) return;
  // A new weight changes the belt value at once: faded in like any other jump.
  if (p->beltMix[static_cast<size_t>(index)].exchange(weight, std::memory_order_relaxed) != weight) restartFade();
}

// Stores a (min, max) pair; a change restarts the fade, since a wider or
// moved limit lets the clamped value jump.
void MotionEngine::storeLimits(LimitPair& limits, double min, double max) {
  const bool changed = limits.min.exchange(min, std::memory_order_relaxed) != min;
  if ((limits.max.exchange(max, std::memory_order_relaxed) != max) || changed) restartFade();
}

// A bound outside ±kMaxLimitMagnitude (NaN and infinities too) is refused and
// the previous limits stay: it would switch the clamp off in effect.
void MotionEngine::setRigLimit(int32_t slot, double min, double max) {
  if (static_cast<uint32_t>(slot) >= kCueSlotCount) return;
  if (!withinMagnitude(min, kMaxLimitMagnitude) || !withinMagnitude(max, kMaxLimitMagnitude)) return;
  storeLimits(rigLimits_[static_cast<size_t>(slot)], min, max);
}

void MotionEngine::setInputLimit(int32_t slot, double min, double max) {
  const auto index = static_cast<uint32_t>(slot);
  if (index > 9) return;
  if (index >= 8) {  // attitude slots always pass a full turn each way
    min = -360.0;
    max = 360.0;
  }
  if (!withinMagnitude(min, kMaxLimitMagnitude) || !withinMagnitude(max, kMaxLimitMagnitude)) return;
  storeLimits(inputLimits_[index], min, max);
}

namespace {

AxisLimit limitOf(const std::array<LimitPair, kCueSlotCount>& limits, int32_t slot) {
  if (static_cast<uint32_t>(slot) >= kCueSlotCount) return {0.0, 0.0};
  const LimitPair& pair = limits[static_cast<size_t>(slot)];
  return {pair.min.load(std::memory_order_relaxed), pair.max.load(std::memory_order_relaxed)};
}

}  // namespace

AxisLimit MotionEngine::rigLimit(int32_t slot) const { return limitOf(rigLimits_, slot); }

AxisLimit MotionEngine::inputLimit(int32_t slot) const { return limitOf(inputLimits_, slot); }

bool MotionEngine::setOutputRateLimit(int32_t channel, double unitsPerSecond) {
  return rateLimiter_.setLimit(channel, unitsPerSecond);
}

void MotionEngine::requestPark(int32_t durationMs) { park_.request(durationMs); }

}  // namespace portrelay
