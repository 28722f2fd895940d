#include "riglink/message.h"

#include "riglink/message_queue.h"
#include "riglink/rig_frames.h"

namespace portrelay {

size_t messageLength(const uint8_t* buffer) {
  if (buffer == nullptr) return 0;
  for (size_t i = 1; i < kMaxMessageLength; ++i) {
    if (buffer[i - 1] == kLineFeed && buffer[i] == kCarriageReturn) return i + 1;
  }
  return 0;
}

}  // namespace portrelay
