#include "engine/cue_profile.h"

#include "filters/filter_parser.h"

namespace portrelay {

CueProfile::CueProfile(std::string profileName) : name(std::move(profileName)) {
  for (auto& active : activeSlots) active.store(1, std::memory_order_relaxed);
  for (auto& weight : beltMix) weight.store(0.0, std::memory_order_relaxed);
  for (auto& slot : chains) slot.replace(parseFilterString("VALUE"));  // one chain per slot
}

double CueProfile::evaluateSlot(int slot, double input) const noexcept {
  if (static_cast<unsigned>(slot) >= kCueSlotCount) return 0.0;
  return chains[static_cast<size_t>(slot)].evaluate(input);
}

bool CueProfile::slotChainValid(int slot) const noexcept {
  if (static_cast<unsigned>(slot) >= kCueSlotCount) return false;
  return chains[static_cast<size_t>(slot)].valid();
}

}  // namespace portrelay
