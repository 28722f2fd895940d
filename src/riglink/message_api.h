// The message side of the rig link: queuing messages for the rig, reading the
// rig's frames, and the link settings the host changes.
#pragma once
#include <cstddef>
#include <cstdint>

namespace portrelay {

// sendMessagemmf: queues the message at the start of buffer (up to its first
// 0x0A 0x0D) for the link that talks, or for both while neither has yet.
// 1 when queued, -1 when refused.
int32_t sendMessage(const uint8_t* buffer);

// The engine's motion frame: queued like sendMessage, but always at its full
// length (2..512 bytes, ending in 0x0A 0x0D), because its floats may hold the
// pair 0x0A 0x0D that would cut a message short. Never blocks beyond the
// queue's copy of the frame; never allocates. 1 when queued, -1 when refused.
int32_t queueMotionFrame(const uint8_t* frame, size_t length);

// autoMessagemmf: 1 when queued in the auto queue, 0 when refused.
int32_t autoMessage(const uint8_t* buffer);

// readMessagemmf: copies the oldest received frame of the link that talks
// (whole, with its 0x0A 0x0D end pair) into destination (512 bytes) and
// returns its length; 0 when nothing waits (destination untouched).
int32_t readMessage(uint8_t* destination);

// newMessagemmf: 1 when a received frame waits.
int32_t newMessage();

int32_t isConnected();

// setStandartPort: takes the number after the first "COM" (atoi rules).
int32_t setStandardPort(const char* text);

int32_t pauseInterface();
int32_t resumeInterface();

}  // namespace portrelay
