// The flight simulator, 2020 (id 2) and 2024 (id 15): reached through its
// client connection, which is opened by the detection test and kept for attach.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "sources/game_reader.h"
#include "simclient/result_codes.h"

namespace portrelay::simclient {
class ClientClient;
}

namespace portrelay::readers {

inline constexpr const char* kFlightSimClientName = "Tiltaverse";

// Messages the reader takes from the simulator (id at byte 8).
namespace flightsim {
inline constexpr uint32_t kMessageException = 1;
inline constexpr uint32_t kMessageQuit = 3;
inline constexpr uint32_t kMessageEvent = 4;        // event id at byte 16
inline constexpr uint32_t kMessageObjectData = 8;   // request id at byte 12, data from byte 40
inline constexpr uint32_t kQuitEvent = 7;
inline constexpr size_t kDataOffset = 40;
inline constexpr int kDatumCount = 17;
// At most this many messages are taken in one engine cycle; the rest wait for
// the next, so a peer that floods the connection cannot hold the engine thread.
inline constexpr int kMessagesPerCycle = 64;

// What one message means to the reader.
enum class Step { Next, StopCycle, Close };

// Handles one message: a data message of request 0 goes into the record and
// the ground state. Messages too short for the fields read are ignored, and so
// is a data message holding a value that is not a finite number.
Step handleMessage(std::span<const uint8_t> message, SampleRecord& record, int32_t& groundState);

// One cycle's polling of a set-up client: messages are taken with next
// dispatch until none is waiting, an exception arrives or kMessagesPerCycle
// were taken. False when the connection has ended: a quit, the "Quit" event,
// or a broken connection with nothing left queued.
bool pollMessages(simclient::ClientClient& client, SampleRecord& record, int32_t& groundState,
                  simclient::ClientResult& lastResult);
}  // namespace flightsim

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

// The simulator's client connection (configuration index 0).
FlightSimConnector clientConnector();

// The connection over the client of simclient/.
class ClientConnection final : public FlightSimConnection {
 public:
  explicit ClientConnection(std::unique_ptr<simclient::ClientClient> client);
  ~ClientConnection() override;
  bool setUp() override;
  bool read(SampleRecord& record, int32_t& groundState) override;
  simclient::ClientResult lastResult() const { return lastResult_; }

 private:
  std::unique_ptr<simclient::ClientClient> client_;
  simclient::ClientResult lastResult_ = simclient::kResultOk;
};

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
  bool gameProcessRunning() const override;

  bool connectionOpen() const { return connection_ != nullptr; }

 private:
  std::wstring processName_;
  FlightSimConnector connector_;
  std::unique_ptr<FlightSimConnection> connection_;
};

}  // namespace portrelay::readers
