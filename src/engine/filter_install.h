// Installing a host's filter string in a profile slot (setcheckFilterstring).
#pragma once
#include <cstdint>

namespace portrelay {

class MotionEngine;

// Restarts the output fade and suspends rig output, then parses `text`. A
// valid chain for profile 0 or 1 and slot 0..22 replaces the slot's chain and
// output resumes (true). Otherwise (invalid text, null text, bounds) the slot
// keeps its chain, output stays suspended until the next game attach, and the
// result is false.
bool installFilterString(MotionEngine& engine, int32_t profile, int32_t slot, const char* text);

}  // namespace portrelay
