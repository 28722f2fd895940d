// Each cycle: every cue slot's game-data value through its filter chain, then
// the mix of the slots into the 23 outputs.
#include <stdexcept>

#include "engine/cue_tables.h"
#include "engine/live_value.h"
#include "engine/motion_engine.h"

namespace portrelay {

double MotionEngine::computeCue(const CueProfile& profile, const CueEntry& entry, double weight) {
  if (static_cast<uint32_t>(entry.slot) >= kCueSlotCount) throw std::out_of_range("Index out of range in getActivedof");
  const auto slot = static_cast<size_t>(entry.slot);
  if (profile.activeSlots[slot].load(std::memory_order_relaxed) == 0) return 0.0;
  double v = games.record().data[entry.index];
  if (entry.limited) {
    if (!profile.slotChainValid(entry.slot)) return 0.0;
    const double lo = inputLimits[slot].min.load(std::memory_order_relaxed);
    const double hi = inputLimits[slot].max.load(std::memory_order_relaxed);
    if (lo > v) {
      v = lo;
    } else if (hi < v) {
      v = hi;
    }
  }
  return profile.evaluateSlot(entry.slot, v) * weight;
}

void MotionEngine::computeCues() {
  double* data = games.record().data;

  // Belt group (AIR profile): slot 10 sees the sum of this cycle's slots 11..14.
  double beltSum = 0.0;
  for (const CueEntry& entry : kBeltTable) {
    if (entry.slot == 10) data[kBeltSumIndex] = beltSum;
    const double cue = computeCue(airProfile, entry, 1.0);
    storeLive(airCues[entry.slot], cue);
    const int weightIndex = entry.slot == 11 ? 1 : entry.slot == 12 ? 2 : entry.slot == 13 ? 4 : entry.slot == 14 ? 5 : -1;
    if (weightIndex >= 0) beltSum += airProfile.beltMix[static_cast<size_t>(weightIndex)].load(std::memory_order_relaxed) * cue;
  }
  for (const CueEntry& entry : kFanTable) storeLive(airCues[entry.slot], computeCue(airProfile, entry, 1.0));
  for (const CueEntry& entry : kEffectTable) storeLive(airCues[entry.slot], computeCue(airProfile, entry, 1.0));

  const double air = airWeight.load(std::memory_order_relaxed);
  const double ground = groundWeight.load(std::memory_order_relaxed);
  for (const CueEntry& entry : kMainTable) storeLive(airCues[entry.slot], computeCue(airProfile, entry, air));
  for (const CueEntry& entry : kMainTable) storeLive(groundCues[entry.slot], computeCue(groundProfile, entry, ground));

  const double* a = airCues;
  const double* g = groundCues;
  double* o = outputCues;
  for (int i = 0; i < 4; ++i) storeLive(o[i], a[i] + a[15 + i] + g[i]);
  storeLive(o[4], a[4] + g[4] + a[6] + g[6] + a[8] + g[8] + a[19]);
  storeLive(o[5], a[5] + g[5] + a[7] + g[7] + a[9] + g[9] + a[20]);
  for (int i : {6, 7, 8, 9, 10, 21}) storeLive(o[i], a[i] + g[i]);
}

}  // namespace portrelay
