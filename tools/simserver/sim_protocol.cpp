#include "simserver/sim_protocol.h"

#include <cstring>

namespace simserver {
namespace {

constexpr uint32_t kServerVersion = 5;

uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put64(std::vector<uint8_t>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putDouble(std::vector<uint8_t>& out, double v) {
  uint64_t raw = 0;
  std::memcpy(&raw, &v, sizeof raw);
  put64(out, raw);
}

std::vector<uint8_t> message(uint32_t id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> out;
  put32(out, static_cast<uint32_t>(12 + body.size()));
  put32(out, kServerVersion);
  put32(out, id);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// A 256-byte text field: NUL inside, zeros after it. Empty optional on failure.
bool textField(const uint8_t* field, std::string& text) {
  const void* end = std::memchr(field, 0, 256);
  if (end == nullptr) return false;
  const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(end) - field);
  text.assign(reinterpret_cast<const char*>(field), length);
  for (size_t i = length; i < 256; ++i)
    if (field[i] != 0) return false;
  return true;
}

struct ExpectedDatum {
  const char* name;
  const char* units;
  uint32_t type;
};
// The simulator's variables the reader asks for, in its order: accelerations,
// rotation accelerations, velocities, rotation velocities (body axes), the
// attitude, and the two ground flags (8-byte integers, type 2; the rest are
// 8-byte floats, type 4).
const ExpectedDatum kExpected[17] = {
    {"ACCELERATION BODY X", "meter per second squared", 4},
    {"ACCELERATION BODY Y", "meter per second squared", 4},
    {"ACCELERATION BODY Z", "meter per second squared", 4},
    {"ROTATION ACCELERATION BODY X", "radians per second squared", 4},
    {"ROTATION ACCELERATION BODY Y", "radians per second squared", 4},
    {"ROTATION ACCELERATION BODY Z", "radians per second squared", 4},
    {"VELOCITY BODY X", "meter per second", 4},
    {"VELOCITY BODY Y", "meter per second", 4},
    {"VELOCITY BODY Z", "meter per second", 4},
    {"ROTATION VELOCITY BODY X", "radians per second", 4},
    {"ROTATION VELOCITY BODY Y", "radians per second", 4},
    {"ROTATION VELOCITY BODY Z", "radians per second", 4},
    {"PLANE HEADING DEGREES TRUE", "radians", 4},
    {"PLANE BANK DEGREES", "radians", 4},
    {"PLANE PITCH DEGREES", "radians", 4},
    {"GEAR IS ON GROUND", "Bool", 2},
    {"SIM ON GROUND", "Bool", 2},
};
const struct {
  uint32_t id;
  const char* name;
} kExpectedEvents[5] = {{6, "Crashed"}, {7, "Quit"}, {4, "SimStart"}, {5, "SimStop"}, {3, "Sim"}};

}  // namespace

int PacketChecker::feed(const uint8_t* data, size_t count) {
  pending_.insert(pending_.end(), data, data + count);
  int taken = 0;
  while (pending_.size() >= 16) {
    const uint32_t size = le32(pending_.data());
    if (size < 16 || size > 41088) {
      violation("packet size field " + std::to_string(size) + " cannot frame a packet");
      pending_.clear();
      break;
    }
    if (pending_.size() < size) break;
    const std::vector<uint8_t> packet(pending_.begin(), pending_.begin() + size);
    pending_.erase(pending_.begin(), pending_.begin() + size);
    check(packet);
    ++taken;
  }
  return taken;
}

void PacketChecker::check(const std::vector<uint8_t>& p) {
  ++packets_;
  const std::string where = "packet " + std::to_string(packets_) + ": ";
  const uint32_t version = le32(&p[4]), id = le32(&p[8]), sendId = le32(&p[12]);
  if (version != 5) violation(where + "version " + std::to_string(version));
  if (sendId != expectedSendId_)
    violation(where + "send id " + std::to_string(sendId) + ", expected " + std::to_string(expectedSendId_));
  expectedSendId_ = sendId + 1;
  const auto sizeIs = [&](size_t expected) {
    if (p.size() == expected) return true;
    violation(where + "size " + std::to_string(p.size()) + ", expected " + std::to_string(expected));
    return false;
  };
  if (!opened_ && id != kOpen) violation(where + "sent before the open packet");
  std::string text;
  switch (id) {
    case kOpen: {
      if (opened_) violation(where + "second open");
      opened_ = true;
      if (!sizeIs(296)) return;
      if (!textField(&p[16], text) || text != kExpectedClientName) violation(where + "client name '" + text + "'");
      const uint8_t tail[24] = {0, 0, 0, 0, 0x00, 0x49, 0x4B, 0x00, 11, 0, 0, 0, 0, 0, 0, 0, 0xBB, 0xF4, 0, 0, 3, 0, 0, 0};
      if (std::memcmp(&p[272], tail, sizeof tail) != 0) violation(where + "open fields after the name differ");
      return;
    }
    case kAddToDataDefinition: {
      if (!sizeIs(544)) return;
      if (definitions_ >= 17 || requested_) {
        violation(where + "unexpected data definition entry");
        return;
      }
      const ExpectedDatum& e = kExpected[definitions_];
      std::string units;
      if (le32(&p[16]) != 0) violation(where + "definition id " + std::to_string(le32(&p[16])));
      if (!textField(&p[20], text) || text != e.name) violation(where + "datum '" + text + "', expected " + e.name);
      if (!textField(&p[276], units) || units != e.units) violation(where + "units '" + units + "' for " + e.name);
      if (le32(&p[532]) != e.type) violation(where + "datum type " + std::to_string(le32(&p[532])) + " for " + e.name);
      float epsilon = 1.0f;
      std::memcpy(&epsilon, &p[536], 4);
      if (epsilon != 0.0f) violation(where + "epsilon not 0");
      if (le32(&p[540]) != 0xFFFFFFFFu) violation(where + "datum id not -1");
      ++definitions_;
      return;
    }
    case kRequestDataOnObject: {
      if (!sizeIs(48)) return;
      if (definitions_ != 17) violation(where + "data requested before the 17 definitions");
      const uint32_t expected[8] = {0, 0, 0, 3, 0, 0, 0, 0};
      for (int i = 0; i < 8; ++i)
        if (le32(&p[16 + 4 * i]) != expected[i])
          violation(where + "request field " + std::to_string(i) + " = " + std::to_string(le32(&p[16 + 4 * i])));
      requested_ = true;
      return;
    }
    case kSubscribeToSystemEvent: {
      if (!sizeIs(276)) return;
      if (subscriptions_ >= 5 || !requested_) {
        violation(where + "unexpected subscription");
        return;
      }
      const auto& e = kExpectedEvents[subscriptions_];
      if (le32(&p[16]) != e.id || !textField(&p[20], text) || text != e.name)
        violation(where + "subscription " + std::to_string(le32(&p[16])) + " '" + text + "', expected " + e.name);
      ++subscriptions_;
      return;
    }
    default:
      violation(where + "unknown packet id " + std::to_string(id));
  }
}

std::vector<uint8_t> openMessage() {
  std::vector<uint8_t> body(256, 0);
  const char name[] = "Simulated flight";
  std::memcpy(body.data(), name, sizeof name);
  for (uint32_t v : {11u, 0u, 62651u, 3u, 5u, 0u}) put32(body, v);
  return message(kMessageOpen, body);
}

std::vector<uint8_t> objectDataMessage(uint32_t requestId, const double (&values)[15], int64_t gearOnGround,
                                       int64_t simOnGround) {
  std::vector<uint8_t> body;
  // request id, object id (the user's aircraft is object 1 here), definition
  // id, flags, entry, of entries, values
  for (uint32_t v : {requestId, 1u, 0u, 0u, 1u, 1u, 17u}) put32(body, v);
  for (double v : values) putDouble(body, v);
  put64(body, static_cast<uint64_t>(gearOnGround));
  put64(body, static_cast<uint64_t>(simOnGround));
  return message(kMessageObjectData, body);
}

std::vector<uint8_t> objectDataMessage(uint32_t requestId, const FlightSample& s) {
  const double values[15] = {s.accel[0],           s.accel[1],           s.accel[2],
                             s.rotationAccel[0],   s.rotationAccel[1],   s.rotationAccel[2],
                             s.velocity[0],        s.velocity[1],        s.velocity[2],
                             s.rotationVelocity[0], s.rotationVelocity[1], s.rotationVelocity[2],
                             s.heading,            s.bank,               s.pitch};
  return objectDataMessage(requestId, values, s.gearOnGround, s.simOnGround);
}

std::vector<uint8_t> eventMessage(uint32_t eventId, uint32_t data) {
  std::vector<uint8_t> body;
  for (uint32_t v : {0xFFFFFFFFu /* no group */, eventId, data}) put32(body, v);
  return message(kMessageEvent, body);
}

std::vector<uint8_t> quitMessage() { return message(kMessageQuit, {}); }

std::vector<uint8_t> exceptionMessage(uint32_t exception, uint32_t sendId, uint32_t index) {
  std::vector<uint8_t> body;
  for (uint32_t v : {exception, sendId, index}) put32(body, v);
  return message(kMessageException, body);
}

}  // namespace simserver
