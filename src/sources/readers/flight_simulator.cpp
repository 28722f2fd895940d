#include "sources/readers/flight_simulator.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "platform/processes.h"
#include "simclient/client.h"

namespace portrelay::readers {

namespace flightsim {
namespace {

struct Datum {
  const char* name;
  const char* units;
  uint32_t type;
};
constexpr uint32_t kFloat64 = 4, kInt64 = 2;
constexpr Datum kDefinition[kDatumCount] = {
    {"ACCELERATION BODY X", "meter per second squared", kFloat64},
    {"ACCELERATION BODY Y", "meter per second squared", kFloat64},
    {"ACCELERATION BODY Z", "meter per second squared", kFloat64},
    {"ROTATION ACCELERATION BODY X", "radians per second squared", kFloat64},
    {"ROTATION ACCELERATION BODY Y", "radians per second squared", kFloat64},
    {"ROTATION ACCELERATION BODY Z", "radians per second squared", kFloat64},
    {"VELOCITY BODY X", "meter per second", kFloat64},
    {"VELOCITY BODY Y", "meter per second", kFloat64},
    {"VELOCITY BODY Z", "meter per second", kFloat64},
    {"ROTATION VELOCITY BODY X", "radians per second", kFloat64},
    {"ROTATION VELOCITY BODY Y", "radians per second", kFloat64},
    {"ROTATION VELOCITY BODY Z", "radians per second", kFloat64},
    {"PLANE HEADING DEGREES TRUE", "radians", kFloat64},
    {"PLANE BANK DEGREES", "radians", kFloat64},
    {"PLANE PITCH DEGREES", "radians", kFloat64},
    {"GEAR IS ON GROUND", "Bool", kInt64},
    {"SIM ON GROUND", "Bool", kInt64},
};
// Event ids and names, in the order of subscription; the last result decides.
constexpr struct {
  uint32_t id;
  const char* name;
} kEvents[] = {{6, "Crashed"}, {7, "Quit"}, {4, "SimStart"}, {5, "SimStop"}, {3, "Sim"}};

constexpr uint32_t kRequestId = 0, kDefinitionId = 0, kUserAircraft = 0, kPeriodCode = 3;

double datum(std::span<const uint8_t> message, int index) {
  double value = 0.0;
  std::memcpy(&value, message.data() + kDataOffset + 8 * static_cast<size_t>(index), sizeof value);
  return value;
}

int64_t integerDatum(std::span<const uint8_t> message, int index) {
  int64_t value = 0;
  std::memcpy(&value, message.data() + kDataOffset + 8 * static_cast<size_t>(index), sizeof value);
  return value;
}

}  // namespace

Step handleMessage(std::span<const uint8_t> message, SampleRecord& record, int32_t& groundState) {
  if (message.size() < 12) return Step::Next;
  const uint32_t id = simclient::messageU32(message, 8);
  if (id == kMessageException) return Step::StopCycle;
  if (id == kMessageQuit) return Step::Close;
  if (id == kMessageEvent) {
    if (message.size() >= 20 && simclient::messageU32(message, 16) == kQuitEvent) return Step::Close;
    return Step::Next;
  }
  if (id != kMessageObjectData || message.size() < 16 || simclient::messageU32(message, 12) != kRequestId)
    return Step::Next;
  if (message.size() < kDataOffset + 8 * static_cast<size_t>(kDatumCount)) return Step::Next;
  double d[15];
  for (int i = 0; i < 15; ++i) d[i] = datum(message, i);
  using namespace channel;
  const std::pair<int, double> values[] = {
      {lateral_accel, d[0]},
      {vertica_accel, d[1]},
      {longitu_accel, d[2]},
      {lateral_speed, -d[6]},
      {vertica_speed, -d[7]},
      {longitu_speed, d[8]},
      {pitch_speed, -toDegrees(d[9])},
      {yaw_speed, -toDegrees(d[10])},
      {roll_speed, -toDegrees(d[11])},
      {yaw_position, toDegrees(d[12])},
      {roll_position, toDegrees(d[13])},
      {pitch_position, -toDegrees(d[14])},
  };
  // A sample the rig must not follow: a value that is no number, or one that
  // overflows on its way to degrees.
  for (const auto& [index, value] : values)
    if (!std::isfinite(value)) return Step::Next;
  for (const auto& [index, value] : values) record.data[index] = value;
  groundState = integerDatum(message, 16) == 1 ? 1 : 0;  // "SIM ON GROUND"; the gear's flag does not count
  return Step::Next;
}

bool pollMessages(simclient::ClientClient& client, SampleRecord& record, int32_t& groundState,
                  simclient::ClientResult& lastResult) {
  for (int taken = 0; taken < kMessagesPerCycle; ++taken) {
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    lastResult = client.nextDispatch(bytes, size);
    if (lastResult != simclient::kResultOk) {
      // Nothing waiting (or a message too short to carry anything) ends the
      // cycle; a broken connection will never bring anything again.
      return client.storedError() == simclient::kResultOk || client.queuedMessages() > 0;
    }
    const Step step = handleMessage({bytes, size}, record, groundState);
    if (step == Step::Close) return false;
    if (step == Step::StopCycle) break;
  }
  return true;
}

}  // namespace flightsim

ClientConnection::ClientConnection(std::unique_ptr<simclient::ClientClient> client) : client_(std::move(client)) {}

ClientConnection::~ClientConnection() { simclient::ClientClient::close(std::move(client_)); }

bool ClientConnection::setUp() {
  if (client_ == nullptr) return false;
  for (const auto& entry : flightsim::kDefinition)
    lastResult_ = client_->addToDataDefinition(flightsim::kDefinitionId, entry.name, entry.units, entry.type, 0.0f,
                                               0xFFFFFFFFu);
  lastResult_ = client_->requestDataOnObject(flightsim::kRequestId, flightsim::kDefinitionId, flightsim::kUserAircraft,
                                             flightsim::kPeriodCode, 0, 0, 0, 0);
  for (const auto& event : flightsim::kEvents) lastResult_ = client_->subscribeToSystemEvent(event.id, event.name);
  return lastResult_ == simclient::kResultOk;
}

bool ClientConnection::read(SampleRecord& record, int32_t& groundState) {
  return client_ != nullptr && flightsim::pollMessages(*client_, record, groundState, lastResult_);
}

FlightSimConnector clientConnector() {
  return [](const std::string& clientName) -> std::unique_ptr<FlightSimConnection> {
    std::unique_ptr<simclient::ClientClient> client;
    if (simclient::ClientClient::open(client, clientName, {}) != simclient::kResultOk) return nullptr;
    return std::make_unique<ClientConnection>(std::move(client));
  };
}

bool FlightSimulatorReader::gameProcessRunning() const { return platform::isProcessRunning(processName_); }

bool FlightSimulatorReader::detect() {
  connection_ = connector_ ? connector_(kFlightSimClientName) : nullptr;
  if (connection_ == nullptr) return recordClues(false, false);
  if (recordClues(true, platform::isProcessRunning(processName_))) return true;
  connection_.reset();
  return false;
}

bool FlightSimulatorReader::attach() {
  if (connection_ != nullptr && connection_->setUp()) return true;
  connection_.reset();
  return false;
}

bool FlightSimulatorReader::read(SampleRecord& record) {
  if (connection_ == nullptr) return false;
  int32_t ground = groundState();
  if (!connection_->read(record, ground)) {
    connection_.reset();
    return false;
  }
  setGroundState(ground);
  completeSample(record, Completion::Kinematic);
  return true;
}

}  // namespace portrelay::readers
