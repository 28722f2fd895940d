// setcheckFilterstring through the C ABI, and the profile slots it writes.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "engine/motion_engine.h"
#include "portrelay/portrelay.h"

namespace portrelay {
namespace {

MotionEngine& engine() { return MotionEngine::instance(); }

// A new engine's slots (the process-wide one holds what earlier tests installed).
TEST(ProfileChains, EverySlotStartsWithItsOwnValueChain) {
  MotionEngine fresh;
  for (CueProfile* profile : {fresh.profile(0), fresh.profile(1)}) {
    std::set<FilterSys*> heads;
    for (int slot = 0; slot < kCueSlotCount; ++slot) {
      const auto head = profile->chains[static_cast<size_t>(slot)].chain();
      ASSERT_NE(head, nullptr);
      EXPECT_EQ(head->kind, FilterKind::Value);
      EXPECT_TRUE(profile->slotChainValid(slot));
      EXPECT_EQ(profile->evaluateSlot(slot, -2.5), -2.5);
      heads.insert(head.get());
    }
    EXPECT_EQ(heads.size(), static_cast<size_t>(kCueSlotCount));
  }
  EXPECT_EQ(fresh.profile(0)->evaluateSlot(23, 1.0), 0.0);
  EXPECT_EQ(fresh.profile(0)->evaluateSlot(-1, 1.0), 0.0);
  EXPECT_FALSE(fresh.profile(0)->slotChainValid(23));
}

TEST(SetcheckFilterstring, InstallsAValidChainAndResumesOutput) {
  engine().setFadeProgress(1.0);
  EXPECT_TRUE(setcheckFilterstring(0, 3, "GAIN(VALUE;2)"));
  EXPECT_EQ(engine().profile(0)->evaluateSlot(3, 1.5), 3.0);
  EXPECT_FALSE(engine().isOutputSuspended());
  EXPECT_EQ(engine().fadeProgress(), 0.0);  // the fade restarted (from the last frame sent)

  EXPECT_TRUE(setcheckFilterstring(1, 22, "ADD(VALUE;1)"));
  EXPECT_EQ(engine().profile(1)->evaluateSlot(22, 1.0), 2.0);
  EXPECT_EQ(engine().profile(0)->evaluateSlot(22, 1.0), 1.0);
}

TEST(SetcheckFilterstring, NewChainStartsWithFreshMemory) {
  ASSERT_TRUE(setcheckFilterstring(0, 5, "EMALP(VALUE;10)"));
  EXPECT_NEAR(engine().profile(0)->evaluateSlot(5, 1.0), 0.1, 1e-7);
  EXPECT_NEAR(engine().profile(0)->evaluateSlot(5, 1.0), 0.19, 1e-7);
  ASSERT_TRUE(setcheckFilterstring(0, 5, "EMALP(VALUE;10)"));
  EXPECT_NEAR(engine().profile(0)->evaluateSlot(5, 1.0), 0.1, 1e-7);
}

TEST(SetcheckFilterstring, InvalidStringKeepsTheSlotAndOutputSuspended) {
  ASSERT_TRUE(setcheckFilterstring(0, 4, "GAIN(VALUE;3)"));
  engine().setFadeProgress(1.0);
  EXPECT_FALSE(setcheckFilterstring(0, 4, "GAIN(VALUE)"));
  EXPECT_EQ(engine().profile(0)->evaluateSlot(4, 1.0), 3.0);
  EXPECT_TRUE(engine().isOutputSuspended());
  EXPECT_EQ(engine().fadeProgress(), 0.0);
  EXPECT_FALSE(setcheckFilterstring(0, 4, nullptr));
  EXPECT_FALSE(setcheckFilterstring(0, 4, ""));
  EXPECT_EQ(engine().profile(0)->evaluateSlot(4, 1.0), 3.0);
}

TEST(SetcheckFilterstring, OutOfRangeProfileOrSlot) {
  const struct {
    int32_t profile;
    int32_t slot;
  } cases[] = {{2, 0}, {-1, 0}, {0, 23}, {0, -1}, {1, 1000}};
  // Chains an earlier test installed (the binary run whole) are not this test's.
  for (int slot = 0; slot < kCueSlotCount; ++slot) ASSERT_TRUE(setcheckFilterstring(0, slot, "VALUE"));
  for (const auto& c : cases) {
    ASSERT_TRUE(setcheckFilterstring(0, 0, "VALUE"));
    engine().setFadeProgress(1.0);
    EXPECT_FALSE(setcheckFilterstring(c.profile, c.slot, "GAIN(VALUE;7)")) << c.profile << " " << c.slot;
    EXPECT_TRUE(engine().isOutputSuspended());
    EXPECT_EQ(engine().fadeProgress(), 0.0);
  }
  for (int slot = 0; slot < kCueSlotCount; ++slot) EXPECT_NE(engine().profile(0)->evaluateSlot(slot, 1.0), 7.0);
}

// One thread evaluates a slot as the engine does while another keeps
// replacing its chain. Every result must come from one whole chain; a chain
// freed too early shows up under the address and thread sanitizers.
TEST(SetcheckFilterstring, SwapWhileTheEngineThreadEvaluates) {
  constexpr int kSlot = 7;
  ASSERT_TRUE(setcheckFilterstring(0, kSlot, "GAIN(VALUE;2)"));
  std::atomic<bool> done{false};
  std::atomic<int> evaluations{0};
  std::atomic<int> unexpected{0};
  std::thread evaluator([&] {
    while (!done.load(std::memory_order_relaxed) && evaluations.load() < 2000000) {
      const double out = engine().profile(0)->evaluateSlot(kSlot, 1.0);
      if (out != 2.0 && out != 3.0 && !(out > -1.0 && out < 1.0)) unexpected.fetch_add(1);
      evaluations.fetch_add(1, std::memory_order_relaxed);
    }
  });
  const char* filters[] = {"GAIN(VALUE;2)", "GAIN(ABS(VALUE);3)",
                           "CROP(NOISE(EMALP(VALUE;5);0,5;10;3);-0,99;0,99)"};
  while (evaluations.load() == 0) std::this_thread::yield();
  for (int i = 0; i < 20000; ++i) {
    ASSERT_TRUE(setcheckFilterstring(0, kSlot, filters[i % 3]));
    if (i % 8 == 0) std::this_thread::yield();
  }
  done.store(true);
  evaluator.join();
  EXPECT_EQ(unexpected.load(), 0);
  EXPECT_GT(evaluations.load(), 0);
}

}  // namespace
}  // namespace portrelay
