#include "riglink/frame_parser.h"

#include <cstring>

#include "riglink/crc16.h"
#include "riglink/rig_frames.h"

namespace portrelay {
namespace {

// Frame length for the header at the front, or 0 when the front is no header.
size_t frameLengthFor(uint8_t first, uint8_t second) {
  if (first != second) return 0;
  switch (first) {
    case kShortFrameHeader: return kShortFrameLength;
    case kStatusFrameHeader: return kStatusFrameLength;
    case kBulkFrameHeader: return kBulkFrameLength;
    case kSealedFrameHeader: return kSealedFrameLength;
    default: return 0;
  }
}

int levelOf(const uint8_t* frame) {
  // Both parts are signed bytes: hundreds in byte 5, units in byte 4.
  return static_cast<int8_t>(frame[5]) * 100 + static_cast<int8_t>(frame[4]);
}

void applyLevelRule(const uint8_t* frame, std::atomic<uint8_t>& autoChecksum) {
  if (autoChecksum.load(std::memory_order_relaxed) != 0) return;
  if (frame[2] == 2 && levelOf(frame) >= kChecksummedAutoLevel) autoChecksum.store(1, std::memory_order_relaxed);
}

}  // namespace

int parseFrames(std::vector<uint8_t>& input, MessageQueue& output, std::atomic<uint8_t>& autoChecksum) {
  int accepted = 0;
  size_t front = 0;  // bytes consumed so far; removed from the buffer once at the end
  uint8_t frame[kMaxMessageLength];
  while (input.size() - front >= kShortFrameLength) {
    const uint8_t* at = input.data() + front;
    const size_t available = input.size() - front;
    const size_t length = frameLengthFor(at[0], at[1]);
    if (length == 0) {
      ++front;
      continue;
    }
    if (available < length) break;  // wait for the rest of this frame

    std::memcpy(frame, at, length);
    bool valid = at[0] != kSealedFrameHeader && at[length - 2] == kLineFeed && at[length - 1] == kCarriageReturn;
    if (!valid) {
      const uint16_t crc = crc16(at, length - 2);
      valid = at[length - 2] == (crc & 0xFF) && at[length - 1] == (crc >> 8);
      frame[length - 2] = kLineFeed;
      frame[length - 1] = kCarriageReturn;
    }
    if (!valid) {
      ++front;  // resynchronise one byte at a time
      continue;
    }
    output.pushIfBelow(frame, length, kReceiveQueueBound);  // beyond the bound the frame is dropped
    if (length == kShortFrameLength) applyLevelRule(frame, autoChecksum);
    front += length;
    accepted = 1;
  }
  input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(front));
  return accepted;
}

}  // namespace portrelay
