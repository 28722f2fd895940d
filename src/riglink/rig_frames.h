// The frames of the rig protocol that the library itself sends or expects.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace portrelay {

inline constexpr uint8_t kLineFeed = 0x0A;
inline constexpr uint8_t kCarriageReturn = 0x0D;

// Frame kinds by header byte (the header is that byte twice).
inline constexpr uint8_t kShortFrameHeader = 0xF9;     // 8 bytes, both directions
inline constexpr uint8_t kStatusFrameHeader = 0xF8;    // 38 bytes, from the rig
inline constexpr uint8_t kBulkFrameHeader = 0xFA;      // 465 bytes, from the rig
inline constexpr uint8_t kSealedFrameHeader = 0xFB;    // 78 bytes, from the rig, checksummed only
inline constexpr uint8_t kMotionFrameHeader = 0xFC;    // 36 bytes, to the rig

inline constexpr size_t kShortFrameLength = 8;
inline constexpr size_t kStatusFrameLength = 38;
inline constexpr size_t kBulkFrameLength = 465;
inline constexpr size_t kSealedFrameLength = 78;
inline constexpr size_t kMotionFrameLength = 36;

// The engine's motion frame (a host may send one too; it is told by its form).
inline constexpr bool isMotionFrame(const uint8_t* bytes, size_t length) {
  return length == kMotionFrameLength && bytes[0] == kMotionFrameHeader && bytes[1] == kMotionFrameHeader;
}

using ShortFrame = std::array<uint8_t, kShortFrameLength>;

inline constexpr ShortFrame kIdentityQuery = {0xF9, 0xF9, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x0D};
// The identity replies a rig may give, in the order they are compared.
inline constexpr std::array<ShortFrame, 4> kIdentityReplies = {{
    {0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x0D},
    {0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x88, 0x11},
    {0xF9, 0xF9, 0x01, 0x00, 0x02, 0x00, 0x0A, 0x0D},
    {0xF9, 0xF9, 0x01, 0x00, 0x02, 0x00, 0x88, 0xE1},
}};
// The only reply the manual connection accepts.
inline constexpr const ShortFrame& kTerminatedIdentityReply = kIdentityReplies[0];
// Queued after an identification by the scan: first the class-4, then the class-2 message.
inline constexpr ShortFrame kClass4Message = {0xF9, 0xF9, 0x04, 0x00, 0x01, 0x00, 0x0A, 0x0D};
inline constexpr ShortFrame kClass2Message = {0xF9, 0xF9, 0x02, 0x00, 0x01, 0x00, 0x0A, 0x0D};

// The message class of the rig's level report (byte 2 of an 8-byte frame).
inline constexpr uint8_t kLevelClass = 2;
// Class-2 reports from firmware at this level or above ask for checksummed auto messages.
inline constexpr int kChecksummedAutoLevel = 328;

}  // namespace portrelay
