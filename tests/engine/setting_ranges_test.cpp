// Every setter taking a double, through the C ABI: NaN, infinities and values
// past the stated range are refused and the stored value stays; values inside
// are stored; a limit or belt weight that changes restarts the output fade.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "engine/motion_engine.h"
#include "portrelay/portrelay.h"

namespace portrelay {
namespace {

MotionEngine& engine() { return MotionEngine::instance(); }

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
  activateMotionCancel(1);  // its setters take values only while active
  const DoubleSetter setters[] = {
      {"setBelt_Mix", 1e3, 0.5, [](double v) { return setBelt_Mix(0, 1, v), true; },
       [] { return engine().airProfile.beltMix[1].load(); }},
      {"SetRigDofLimitValue min", 1e9, -2.0, [](double v) { return SetRigDofLimitValue(0, v, 3.0), true; },
       [] { return engine().rigLimits[0].min.load(); }},
      {"SetRigDofLimitValue max", 1e9, 2.0, [](double v) { return SetRigDofLimitValue(1, -3.0, v), true; },
       [] { return engine().rigLimits[1].max.load(); }},
      {"SetInputDofLimitValue min", 1e9, -4.0, [](double v) { return SetInputDofLimitValue(2, v, 5.0), true; },
       [] { return engine().inputLimits[2].min.load(); }},
      {"SetInputDofLimitValue max", 1e9, 4.0, [](double v) { return SetInputDofLimitValue(3, -5.0, v), true; },
       [] { return engine().inputLimits[3].max.load(); }},
      {"setGainMotionCancel", 1e3, 0.75, [](double v) { return setGainMotionCancel(v); },
       [] { return engine().motionCancel.gain.load(); }, true},
      {"setFilterMotionCancel", 1e6, 30.0, [](double v) { return setFilterMotionCancel(v); },
       [] { return engine().motionCancel.filter.load(); }, true},
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
  activateMotionCancel(0);
}

TEST(SettingRanges, AChangedLimitOrBeltWeightRestartsTheFade) {
  const std::function<void(double)> changes[] = {
      [](double v) { SetRigDofLimitValue(4, -v, v); },
      [](double v) { SetInputDofLimitValue(5, -v, v); },
      [](double v) { setBelt_Mix(0, 2, v); },
  };
  for (const auto& change : changes) {
    change(1.0);
    engine().fadePosition = 1.0;
    change(1.0);  // the same value: no jump, no fade
    EXPECT_EQ(getTransitionStatus(), 100.0);
    change(2.0);
    EXPECT_EQ(getTransitionStatus(), 0.0);
  }
  engine().fadePosition = 1.0;
}

}  // namespace
}  // namespace portrelay
