// The flight simulator, 2020 (id 2) and 2024 (id 15): reached through its
// client connection, which is opened by the detection test and kept for attach.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "sources/game_reader.h"

namespace portrelay::readers {

inline constexpr const char* kFlightSimClientName = "Tiltaverse";

// An open client connection to the simulator; destroying it closes it.
class FlightSimConnection {
 public:
  virtual ~FlightSimConnection() = default;
  // The attach step: data definitions, the data request and the event
  // subscriptions. False closes the connection.
  virtual bool setUp() = 0;
  // One per-cycle poll into the record and the ground state; false when the
  // connection has ended (the reader then drops it).
  virtual bool read(SampleRecord& record, int32_t& groundState) = 0;
};

// Opens a connection under a client name; null when none can be opened.
using FlightSimConnector = std::function<std::unique_ptr<FlightSimConnection>(const std::string& clientName)>;

// The connector of this build: the client connection is not part of it yet, so
// no connection opens and both ids fail their detection test.
FlightSimConnector unavailableFlightSimConnector();

class FlightSimulatorReader : public GameReader {
 public:
  FlightSimulatorReader(std::wstring processName, FlightSimConnector connector)
      : processName_(std::move(processName)), connector_(std::move(connector)) {}

  // Opens a connection, then looks for the simulator's process; a connection
  // without the process is closed again.
  bool detect() override;
  bool attach() override;
  bool read(SampleRecord& record) override;
  void detach() override { connection_.reset(); }
  void onDetectionFailed() override { connection_.reset(); }

  bool connectionOpen() const { return connection_ != nullptr; }

 private:
  std::wstring processName_;
  FlightSimConnector connector_;
  std::unique_ptr<FlightSimConnection> connection_;
};

}  // namespace portrelay::readers
