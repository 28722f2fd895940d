#include "engine/cue_profile.h"

namespace portrelay {

CueProfile::CueProfile(std::string profileName) : name(std::move(profileName)) {
  for (auto& active : activeSlots) active.store(1, std::memory_order_relaxed);
  for (auto& weight : beltMix) weight.store(0.0, std::memory_order_relaxed);
}

}  // namespace portrelay
