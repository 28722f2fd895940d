// One motion profile: 23 cue slots with their active flags, and belt-mix weights.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "engine/cue_tables.h"
#include "common/sample_record.h"
#include "filters/chain_slot.h"

namespace portrelay {

struct CueProfile {
  explicit CueProfile(std::string profileName);

  std::string name;
  uint8_t reservedFlag = 0;
  float reservedPercentages[3] = {100.0f, 100.0f, 100.0f};
  // Set by host threads, read by the engine thread at its next use.
  std::array<std::atomic<uint8_t>, kCueSlotCount> activeSlots;
  uint8_t reservedSlotFlags[kCueSlotCount] = {};
  std::array<std::atomic<double>, kGameDataCount> beltMix;
  // Each slot's filter chain, "VALUE" until the host installs another one.
  std::array<ChainSlot, kCueSlotCount> chains;

  // Engine thread, once per slot and cycle: the slot's input run through its
  // chain (evaluateChain with all scales 1.0). Lock-free and allocation-free;
  // 0.0 for a slot outside 0..22 or an invalid chain.
  double evaluateSlot(int slot, double input) const noexcept;
  // Whether the slot's chain is valid (false outside 0..22).
  bool slotChainValid(int slot) const noexcept;
};

}  // namespace portrelay
