// Installing a host's filter string in a profile slot (setcheckFilterstring).
#include <string_view>

#include "engine/motion_engine.h"
#include "filters/filter_parser.h"

namespace portrelay {

bool MotionEngine::installFilterString(int32_t profileNumber, int32_t slot, const char* text) {
  restartFade();
  outputSuspended_.exchange(1);
  // A null pointer is no filter string: it fails like an empty one.
  auto chain = parseFilterString(text != nullptr ? std::string_view(text) : std::string_view());
  CueProfile* target = profile(profileNumber);
  if (!chain->valid.load(std::memory_order_relaxed) || target == nullptr ||
      static_cast<uint32_t>(slot) >= kCueSlotCount)
    return false;
  target->chains[static_cast<size_t>(slot)].replace(std::move(chain));
  outputSuspended_.exchange(0);
  return true;
}

}  // namespace portrelay
