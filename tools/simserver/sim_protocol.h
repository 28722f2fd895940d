// The simulator's side of the client protocol, written from the packet
// layouts alone: it decodes and checks what a client sends and encodes what
// the simulator answers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "simserver/flight_script.h"

namespace simserver {

// Client packets (id 0xF0000000 + operation).
inline constexpr uint32_t kOpen = 0xF0000001u;
inline constexpr uint32_t kAddToDataDefinition = 0xF000000Cu;
inline constexpr uint32_t kRequestDataOnObject = 0xF000000Eu;
inline constexpr uint32_t kSubscribeToSystemEvent = 0xF0000017u;

// Server messages (id at byte 8).
inline constexpr uint32_t kMessageException = 1;
inline constexpr uint32_t kMessageOpen = 2;
inline constexpr uint32_t kMessageQuit = 3;
inline constexpr uint32_t kMessageEvent = 4;
inline constexpr uint32_t kMessageObjectData = 8;

inline constexpr const char* kExpectedClientName = "Tiltaverse";
inline constexpr size_t kObjectDataSize = 40 + 17 * 8;

// Checks a client's packets one by one against the set-up the reader must
// send: open, the 17 data-definition entries, the data request, the five
// event subscriptions, with send ids counting from 1. Anything else is a
// violation, described in one line each.
class PacketChecker {
 public:
  // Splits the stream; each whole packet is checked. Returns the packets taken.
  int feed(const uint8_t* data, size_t count);

  bool opened() const { return opened_; }
  bool dataRequested() const { return requested_; }
  bool setUpComplete() const { return definitions_ == 17 && requested_ && subscriptions_ == 5; }
  int packets() const { return packets_; }
  const std::vector<std::string>& violations() const { return violations_; }

 private:
  void check(const std::vector<uint8_t>& packet);
  void violation(const std::string& text) { violations_.push_back(text); }

  std::vector<uint8_t> pending_;
  uint32_t expectedSendId_ = 1;
  int packets_ = 0;
  bool opened_ = false;
  int definitions_ = 0;
  bool requested_ = false;
  int subscriptions_ = 0;
  std::vector<std::string> violations_;
};

// Message encoders.
std::vector<uint8_t> openMessage();
std::vector<uint8_t> objectDataMessage(uint32_t requestId, const FlightSample& sample);
// The same layout with 17 values of the caller's choice (raw 8-byte fields).
std::vector<uint8_t> objectDataMessage(uint32_t requestId, const double (&values)[15], int64_t gearOnGround,
                                       int64_t simOnGround);
std::vector<uint8_t> eventMessage(uint32_t eventId, uint32_t data = 0);
std::vector<uint8_t> quitMessage();
std::vector<uint8_t> exceptionMessage(uint32_t exception, uint32_t sendId, uint32_t index);

}  // namespace simserver
