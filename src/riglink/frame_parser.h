// Cuts verified frames from the front of a byte stream (serial bytes, or one
// UDP datagram) and queues them in terminated form.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "riglink/message_queue.h"

namespace portrelay {

// Consumes complete frames and unusable bytes from the front of `input` and
// appends each accepted frame (end pair set to 0x0A 0x0D) to `output` while it
// holds 150 or fewer. A partial frame at the front waits for more bytes.
// Returns 1 when at least one frame was accepted in this call, else 0.
// An accepted class-2 report of level 328 or more sets `autoChecksum`; every
// accepted class-2 report stores its level in `level` when one is given.
int parseFrames(std::vector<uint8_t>& input, MessageQueue& output, std::atomic<uint8_t>& autoChecksum,
                std::atomic<int32_t>* level = nullptr);

}  // namespace portrelay
