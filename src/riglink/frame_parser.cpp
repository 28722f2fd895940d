#include "riglink/frame_parser.h"

#include <array>
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
  if (frame[2] == kLevelClass && levelOf(frame) >= kChecksummedAutoLevel) autoChecksum.store(1, std::memory_order_relaxed);
}

// For each byte b: the CRC of b followed by `span` zero bytes, which is what
// b adds to the CRC of any window of span + 1 bytes that starts with it (the
// CRC starts from 0 and is linear, so leading zeros add nothing).
using LeavingTable = std::array<uint16_t, 256>;

LeavingTable leavingTable(size_t span) {
  LeavingTable table{};
  for (unsigned b = 0; b < 256; ++b) {
    uint16_t c = crc16Update(0, static_cast<uint8_t>(b));
    for (size_t i = 0; i < span; ++i) c = crc16Update(c, 0);
    table[b] = c;
  }
  return table;
}

// The CRC over the `span` bytes starting at a position that only moves
// forward. Moving by one byte costs one step, so a run of failing candidates
// of one kind (a datagram of 0xFA bytes) costs time linear in its length, not
// the span times it; a jump of span bytes or more starts afresh.
class SlidingCrc {
 public:
  SlidingCrc(size_t span, const LeavingTable& leaving) : span_(span), leaving_(leaving) {}

  // The CRC of data[start .. start + span - 1]; those bytes must exist, and
  // start must not lie before the previous call's.
  uint16_t at(const uint8_t* data, size_t start) {
    if (valid_ && start - start_ < span_) {
      for (; start_ < start; ++start_) crc_ = crc16Update(crc_, data[start_ + span_]) ^ leaving_[data[start_]];
    } else {
      crc_ = crc16(data + start, span_);
      start_ = start;
      valid_ = true;
    }
    return crc_;
  }

 private:
  size_t span_;
  const LeavingTable& leaving_;
  bool valid_ = false;
  size_t start_ = 0;
  uint16_t crc_ = 0;
};

// One sliding CRC per frame kind, the window being the frame less its end pair.
struct KindCrcs {
  static const LeavingTable& table(size_t frameLength) {
    static const LeavingTable shortTable = leavingTable(kShortFrameLength - 2);
    static const LeavingTable statusTable = leavingTable(kStatusFrameLength - 2);
    static const LeavingTable bulkTable = leavingTable(kBulkFrameLength - 2);
    static const LeavingTable sealedTable = leavingTable(kSealedFrameLength - 2);
    switch (frameLength) {
      case kShortFrameLength: return shortTable;
      case kStatusFrameLength: return statusTable;
      case kBulkFrameLength: return bulkTable;
      default: return sealedTable;
    }
  }
  SlidingCrc shortFrame{kShortFrameLength - 2, table(kShortFrameLength)};
  SlidingCrc statusFrame{kStatusFrameLength - 2, table(kStatusFrameLength)};
  SlidingCrc bulkFrame{kBulkFrameLength - 2, table(kBulkFrameLength)};
  SlidingCrc sealedFrame{kSealedFrameLength - 2, table(kSealedFrameLength)};

  SlidingCrc& forLength(size_t length) {
    switch (length) {
      case kShortFrameLength: return shortFrame;
      case kStatusFrameLength: return statusFrame;
      case kBulkFrameLength: return bulkFrame;
      default: return sealedFrame;
    }
  }
};

}  // namespace

int parseFrames(std::vector<uint8_t>& input, MessageQueue& output, std::atomic<uint8_t>& autoChecksum,
                std::atomic<int32_t>* level) {
  int accepted = 0;
  size_t front = 0;  // bytes consumed so far; removed from the buffer once at the end
  KindCrcs crcs;
  uint8_t frame[kMaxMessageLength];
  const uint8_t* data = input.data();
  while (input.size() - front >= kShortFrameLength) {
    const uint8_t* at = data + front;
    const size_t available = input.size() - front;
    const size_t length = frameLengthFor(at[0], at[1]);
    if (length == 0) {
      ++front;
      continue;
    }
    if (available < length) break;  // wait for the rest of this frame

    const bool terminated =
        at[0] != kSealedFrameHeader && at[length - 2] == kLineFeed && at[length - 1] == kCarriageReturn;
    bool valid = terminated;
    if (!valid) {
      const uint16_t crc = crcs.forLength(length).at(data, front);
      valid = at[length - 2] == (crc & 0xFF) && at[length - 1] == (crc >> 8);
    }
    if (!valid) {
      ++front;  // resynchronise one byte at a time
      continue;
    }
    std::memcpy(frame, at, length);
    frame[length - 2] = kLineFeed;
    frame[length - 1] = kCarriageReturn;
    output.pushIfBelow(frame, length, kReceiveQueueBound);  // beyond the bound the frame is dropped
    if (length == kShortFrameLength) {
      applyLevelRule(frame, autoChecksum);
      if (level != nullptr && frame[2] == kLevelClass) level->store(levelOf(frame), std::memory_order_relaxed);
    }
    front += length;
    accepted = 1;
  }
  input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(front));
  return accepted;
}

}  // namespace portrelay
