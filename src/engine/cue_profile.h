// One motion profile: 23 cue slots with their active flags, and belt-mix weights.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "engine/sample_record.h"

namespace portrelay {

inline constexpr int kCueSlotCount = 23;

struct CueProfile {
  explicit CueProfile(std::string profileName);

  std::string name;
  uint8_t reservedFlag = 0;
  float reservedPercentages[3] = {100.0f, 100.0f, 100.0f};
  // Set by host threads, read by the engine thread at its next use.
  std::array<std::atomic<uint8_t>, kCueSlotCount> activeSlots;
  uint8_t reservedSlotFlags[kCueSlotCount] = {};
  std::array<std::atomic<double>, kGameDataCount> beltMix;
};

}  // namespace portrelay
