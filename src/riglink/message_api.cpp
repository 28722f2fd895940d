#include <cctype>
#include <cstring>

#include "common/cycle_timer.h"
#include "log/console.h"
#include "riglink/link_state.h"
#include "riglink/message.h"
#include "riglink/rig_frames.h"

namespace portrelay {
namespace {

constexpr int kManualAttempts = 3;
constexpr int kManualRetryDelayMs = 500;

bool linkRunning(const RigLinkState& link) {
  return link.relayRunning() || link.networkRunning();
}

int32_t route(RigLinkState& link, const uint8_t* message, size_t length) {
  switch (link.mode().transport()) {
    case LinkTransport::serial:
      return link.serialTxQueue().pushIfBelow(message, length, kTransmitQueueBound) ? 1 : -1;
    case LinkTransport::udp:
      return link.networkTxQueue().pushIfBelow(message, length, kTransmitQueueBound) ? 1 : -1;
    case LinkTransport::undecided:
      break;
  }
  // No link has heard the rig yet: offer the message to both; it is queued
  // when either took it, refused when both were full.
  const bool serial = link.serialTxQueue().pushIfBelow(message, length, kTransmitQueueBound);
  const bool network = link.networkTxQueue().pushIfBelow(message, length, kTransmitQueueBound);
  return (serial || network) ? 1 : -1;
}

MessageQueue* receiveQueue(RigLinkState& link) {
  switch (link.mode().transport()) {
    case LinkTransport::serial: return &link.serialRxQueue();
    case LinkTransport::udp: return &link.networkRxQueue();
    case LinkTransport::undecided: return nullptr;
  }
  return nullptr;
}

// atoi without its undefined overflow: saturates at the int32 range.
int32_t parseDecimal(const char* text) {
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  int64_t value = 0;
  for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
    value = value * 10 + (*text - '0');
    if (value > 2147483648LL) value = 2147483648LL;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) value = 2147483647LL;
  return static_cast<int32_t>(value);
}

}  // namespace

int32_t RigLink::sendMessage(const uint8_t* buffer) {
  if (!linkRunning(*this) || buffer == nullptr) return -1;
  const size_t length = messageLength(buffer);
  if (length == 0) return -1;
  return route(*this, buffer, length);
}

int32_t RigLink::queueMotionFrame(const uint8_t* frame, size_t length) {
  if (!linkRunning(*this) || frame == nullptr || length < 2 || length > kMaxMessageLength) return -1;
  if (frame[length - 2] != kLineFeed || frame[length - 1] != kCarriageReturn) return -1;
  const int32_t result = route(*this, frame, length);
  if (result == 1) {
    motionFrames_.signal();
  } else if (mode().transport() != LinkTransport::undecided) {
    facts_.frameDropped();  // the link that talks to the rig could not take it
  }
  return result;
}

int32_t RigLink::autoMessage(const uint8_t* buffer) {
  const size_t length = (linkRunning(*this) && buffer != nullptr) ? messageLength(buffer) : 0;
  if (length == 0) {
    printConsole(L"no valid data");
    return 0;
  }
  return autoTxQueue_.pushIfBelow(buffer, length, kTransmitQueueBound) ? 1 : 0;
}

int32_t RigLink::readMessage(uint8_t* destination) {
  MessageQueue* queue = receiveQueue(*this);
  if (queue == nullptr || destination == nullptr) return 0;
  uint8_t frame[kMaxMessageLength];
  const auto length = queue->takeFront(frame);
  if (!length) return 0;
  // Every queued frame ends in 0x0A 0x0D; it is handed over whole, since its
  // payload may hold that pair too.
  std::memcpy(destination, frame, *length);
  return static_cast<int32_t>(*length);
}

int32_t RigLink::newMessage() {
  MessageQueue* queue = receiveQueue(*this);
  return (queue != nullptr && !queue->empty()) ? 1 : 0;
}

int32_t RigLink::isConnected() const {
  if (portOpen_.load(std::memory_order_relaxed) == 0 && networkStarted_.load(std::memory_order_relaxed) == 0) return 0;
  return linkRunning(*this) ? 1 : 0;
}

int32_t RigLink::setStandardPort(const char* text) {
  if (text == nullptr) return 0;
  const char* com = std::strstr(text, "COM");
  if (com == nullptr) return 0;
  standardPort_.store(parseDecimal(com + 3), std::memory_order_relaxed);
  return 1;
}

int32_t RigLink::pauseInterface() {
  mode().pause();
  closeRigPort();
  return 1;
}

int32_t RigLink::resumeInterface() {
  mode().resume();
  if (autoconnect_.load(std::memory_order_relaxed) != 0) return 1;
  for (int attempt = 0; attempt < kManualAttempts; ++attempt) {
    connectStandardPort();
    if (portOpen_.load(std::memory_order_relaxed) != 0) return 1;
    sleepMilliseconds(kManualRetryDelayMs);
  }
  return 0;
}

}  // namespace portrelay
