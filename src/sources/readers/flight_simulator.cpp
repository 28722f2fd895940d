#include "sources/readers/flight_simulator.h"

#include "platform/processes.h"

namespace portrelay::readers {

FlightSimConnector unavailableFlightSimConnector() {
  return [](const std::string&) -> std::unique_ptr<FlightSimConnection> { return nullptr; };
}

bool FlightSimulatorReader::detect() {
  connection_ = connector_ ? connector_(kFlightSimClientName) : nullptr;
  if (connection_ == nullptr) return false;
  if (platform::isProcessRunning(processName_)) return true;
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
