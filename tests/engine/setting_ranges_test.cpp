// Every setter taking a double, through the C ABI: NaN, infinities and values
// past the stated range are refused and the stored value stays; values inside
// are stored; a limit or belt weight that changes restarts the output fade.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <utility>
#include <functional>
#include <limits>
#include <string>

#include "engine/motion_engine.h"
#include "portrelay/portrelay.h"

namespace portrelay {
namespace {

MotionEngine& engine() { return MotionEngine::instance(); }

// The process's engine is shared by the tests of this binary: what these
// tests set is put back when they end.
class SettingsKept {
 public:
  SettingsKept() {
    for (int32_t slot = 0; slot < kCueSlotCount; ++slot) {
      const AxisLimit rig = engine().rigLimit(slot), input = engine().inputLimit(slot);
      rig_[static_cast<size_t>(slot)] = {rig.min, rig.max};
      input_[static_cast<size_t>(slot)] = {input.min, input.max};
    }
    for (size_t i = 0; i < belt_.size(); ++i) belt_[i] = engine().profile(0)->beltMix[i].load();
    const MotionCancelSettings cancel = engine().motionCancelSettings();
    gain_ = cancel.gain;
    filter_ = cancel.filter;
    cancelActive_ = cancel.active;
    fade_ = engine().fadeProgress();
  }
  ~SettingsKept() {
    for (size_t i = 0; i < rig_.size(); ++i) SetRigDofLimitValue(static_cast<int32_t>(i), rig_[i].first, rig_[i].second);
    for (size_t i = 0; i < 8; ++i) SetInputDofLimitValue(static_cast<int32_t>(i), input_[i].first, input_[i].second);
    for (size_t i = 0; i < belt_.size(); ++i) setBelt_Mix(0, static_cast<int32_t>(i), belt_[i]);
    activateMotionCancel(1);
    setGainMotionCancel(gain_);
    setFilterMotionCancel(filter_);
    activateMotionCancel(cancelActive_ ? 1 : 0);
    engine().setFadeProgress(fade_);
  }

 private:
  std::array<std::pair<double, double>, kCueSlotCount> rig_, input_;
  std::array<double, kGameDataCount> belt_;
  double gain_, filter_, fade_;
  bool cancelActive_;
};

struct DoubleSetter {
  const char* name;
  double bound;  // the largest magnitude accepted
  double kept;   // stored first, must survive every refused call
  std::function<bool(double)> set;  // its result; void setters give true
  std::function<double()> stored;
  bool reports = false;  // the setter returns whether it stored
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(SettingRanges, EveryDoubleSetterRefusesNonFiniteAndOverflowingValues) {
  SettingsKept kept;
  activateMotionCancel(1);  // its setters take values only while active
  const DoubleSetter setters[] = {
      {"setBelt_Mix", 1e3, 0.5, [](double v) { return setBelt_Mix(0, 1, v), true; },
       [] { return engine().profile(0)->beltMix[1].load(); }},
      {"SetRigDofLimitValue min", 1e9, -2.0, [](double v) { return SetRigDofLimitValue(0, v, 3.0), true; },
       [] { return engine().rigLimit(0).min; }},
      {"SetRigDofLimitValue max", 1e9, 2.0, [](double v) { return SetRigDofLimitValue(1, -3.0, v), true; },
       [] { return engine().rigLimit(1).max; }},
      {"SetInputDofLimitValue min", 1e9, -4.0, [](double v) { return SetInputDofLimitValue(2, v, 5.0), true; },
       [] { return engine().inputLimit(2).min; }},
      {"SetInputDofLimitValue max", 1e9, 4.0, [](double v) { return SetInputDofLimitValue(3, -5.0, v), true; },
       [] { return engine().inputLimit(3).max; }},
      {"setGainMotionCancel", 1e3, 0.75, [](double v) { return setGainMotionCancel(v); },
       [] { return engine().motionCancelSettings().gain; }, true},
      {"setFilterMotionCancel", 1e6, 30.0, [](double v) { return setFilterMotionCancel(v); },
       [] { return engine().motionCancelSettings().filter; }, true},
  };
  for (const DoubleSetter& setter : setters) {
    SCOPED_TRACE(setter.name);
    ASSERT_TRUE(setter.set(setter.kept));
    ASSERT_EQ(setter.stored(), setter.kept);
    for (double refused : {kNaN, kInf, -kInf, 1e308, -1e308, setter.bound * 1.001, -setter.bound * 1.001}) {
      const bool reported = setter.set(refused);
      if (setter.reports) {
        EXPECT_FALSE(reported) << refused;
      }
      EXPECT_EQ(setter.stored(), setter.kept) << refused;
    }
    EXPECT_TRUE(setter.set(setter.bound));
    EXPECT_EQ(setter.stored(), setter.bound);
  }
}

TEST(SettingRanges, AChangedLimitOrBeltWeightRestartsTheFade) {
  SettingsKept kept;
  const std::function<void(double)> changes[] = {
      [](double v) { SetRigDofLimitValue(4, -v, v); },
      [](double v) { SetInputDofLimitValue(5, -v, v); },
      [](double v) { setBelt_Mix(0, 2, v); },
  };
  for (const auto& change : changes) {
    change(1.0);
    engine().setFadeProgress(1.0);
    change(1.0);  // the same value: no jump, no fade
    EXPECT_EQ(getTransitionStatus(), 100.0);
    change(2.0);
    EXPECT_EQ(getTransitionStatus(), 0.0);
  }
}

}  // namespace
}  // namespace portrelay
