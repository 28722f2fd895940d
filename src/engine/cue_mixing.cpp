// Each cycle: every cue slot's game-data value through its filter chain, then
// the mix of the slots into the 23 outputs.
#include <cmath>
#include <stdexcept>

#include "engine/cue_tables.h"
#include "engine/live_value.h"
#include "engine/motion_engine.h"

namespace portrelay {

double MotionEngine::computeCue(const CueProfile& profile, const CueEntry& entry, double weight) {
  if (static_cast<uint32_t>(entry.slot) >= kCueSlotCount) throw std::out_of_range("Index out of range in getActivedof");
  const auto slot = static_cast<size_t>(entry.slot);
  if (profile.activeSlots[slot].load(std::memory_order_relaxed) == 0) return 0.0;
  double v = games_.record().data[entry.index];
  if (entry.limited) {
    if (!profile.slotChainValid(entry.slot)) return 0.0;
    // A non-finite bound counts as 0: it never switches the clamp off.
    double lo = inputLimits_[slot].min.load(std::memory_order_relaxed);
    double hi = inputLimits_[slot].max.load(std::memory_order_relaxed);
    if (!std::isfinite(lo)) lo = 0.0;
    if (!std::isfinite(hi)) hi = 0.0;
    if (lo > v) {
      v = lo;
    } else if (hi < v) {
      v = hi;
    }
  }
  return profile.evaluateSlot(entry.slot, v) * weight;
}

void MotionEngine::computeCues() {
  double* data = games_.record().data;

  // Belt group (AIR profile): the belt slot sees the sum of this cycle's belt components.
  double beltSum = 0.0;
  for (const CueEntry& entry : kBeltTable) {
    if (entry.slot == cue::belt) data[kBeltSumIndex] = beltSum;
    const double value = computeCue(airProfile_, entry, 1.0);
    storeLive(airCues_[entry.slot], value);
    const int weightIndex = entry.slot == cue::beltSurge   ? beltWeight::surge
                            : entry.slot == cue::beltHeave ? beltWeight::heave
                            : entry.slot == cue::beltRoll  ? beltWeight::roll
                            : entry.slot == cue::beltPitch ? beltWeight::pitch
                                                           : -1;
    if (weightIndex >= 0) beltSum += airProfile_.beltMix[static_cast<size_t>(weightIndex)].load(std::memory_order_relaxed) * value;
  }
  for (const CueEntry& entry : kFanTable) storeLive(airCues_[entry.slot], computeCue(airProfile_, entry, 1.0));
  for (const CueEntry& entry : kEffectTable) storeLive(airCues_[entry.slot], computeCue(airProfile_, entry, 1.0));

  const double air = airWeight_.load(std::memory_order_relaxed);
  const double ground = groundWeight_.load(std::memory_order_relaxed);
  for (const CueEntry& entry : kMainTable) storeLive(airCues_[entry.slot], computeCue(airProfile_, entry, air));
  for (const CueEntry& entry : kMainTable) storeLive(groundCues_[entry.slot], computeCue(groundProfile_, entry, ground));

  const double* a = airCues_;
  const double* g = groundCues_;
  double* o = outputCues_;
  for (int i = cue::sway; i <= cue::yaw; ++i) storeLive(o[i], a[i] + a[cue::effectSway + i] + g[i]);
  storeLive(o[cue::roll], a[cue::roll] + g[cue::roll] + a[cue::rollTilt] + g[cue::rollTilt] + a[cue::rollAttitude] +
                              g[cue::rollAttitude] + a[cue::effectRoll]);
  storeLive(o[cue::pitch], a[cue::pitch] + g[cue::pitch] + a[cue::pitchTilt] + g[cue::pitchTilt] +
                               a[cue::pitchAttitude] + g[cue::pitchAttitude] + a[cue::effectPitch]);
  for (int i : {cue::rollTilt, cue::pitchTilt, cue::rollAttitude, cue::pitchAttitude, cue::belt, cue::fan})
    storeLive(o[i], a[i] + g[i]);
}

}  // namespace portrelay
