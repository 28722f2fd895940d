// The system's clock behind the Clock interface.
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/deadline_sleep.h"
#include "platform/word_wait.h"

namespace portrelay::platform {
namespace {

class RealClock final : public Clock {
 public:
  int64_t counter() const noexcept override { return performanceCounter(); }
  int64_t frequency() const noexcept override { return frequency_; }
  void sleepMicroseconds(int64_t microseconds) const noexcept override {
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
  }
  bool sleepUntil(DeadlineSleep& sleep, int64_t deadline) const noexcept override { return sleep.until(deadline); }
  void waitOnWord(const std::atomic<uint32_t>& word, uint32_t expected, int64_t timeoutUs) const noexcept override {
    platform::waitOnWord(word, expected, timeoutUs);
  }

 private:
  const int64_t frequency_ = performanceFrequency();
};

}  // namespace

const Clock& realClock() noexcept {
  static const RealClock clock;
  return clock;
}

}  // namespace portrelay::platform
