// The fixed routing of game-data values into cue slots.
#pragma once
#include <array>
#include <cstdint>

namespace portrelay {

struct CueEntry {
  int32_t slot;
  int32_t index;   // game-data index
  bool limited;    // input clamped to the slot's input limits
};

// Belt group (slot 10 takes the belt sum of slots 11..14 of the same cycle).
inline constexpr std::array<CueEntry, 5> kBeltTable = {{
    {11, 7, false}, {12, 11, false}, {13, 17, false}, {14, 20, false}, {10, 42, false}}};
// Fan speed.
inline constexpr std::array<CueEntry, 1> kFanTable = {{{21, 28, false}}};
// Effects: fed 0.0, so they contribute what their chains generate on their own.
inline constexpr std::array<CueEntry, 6> kEffectTable = {{
    {15, 0, false}, {16, 0, false}, {17, 0, false}, {18, 0, false}, {19, 0, false}, {20, 0, false}}};
// Main cues, evaluated for both profiles with the profile weights.
inline constexpr std::array<CueEntry, 10> kMainTable = {{
    {0, 3, true}, {1, 7, true}, {2, 11, true}, {3, 14, true}, {4, 17, true},
    {5, 20, true}, {6, 3, true}, {7, 7, true}, {8, 16, false}, {9, 19, false}}};

}  // namespace portrelay
