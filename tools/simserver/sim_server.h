// A simulated flight simulator serving the client protocol: it listens on
// TCP (127.0.0.1) and, on Windows, on a named pipe; checks every packet a
// client sends (PacketChecker); once the data has been requested it answers
// with data messages of the scripted flight at a steady rate; and it sends a
// quit, events, exceptions or any bytes on demand.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "simserver/flight_script.h"
#include "simserver/server_link.h"
#include "simserver/sim_protocol.h"

namespace simserver {

struct ServerOptions {
  bool tcp = true;
  uint16_t tcpPort = 0;   // 0: the system picks one
  std::string pipeName;   // Windows: also serve "\\.\pipe\<pipeName>" when not empty
  double rateHz = 60.0;   // data messages per second; 0: only those sent by sendData
};

class SimServer {
 public:
  explicit SimServer(ServerOptions options) : options_(std::move(options)) {}
  ~SimServer() { stop(); }
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Opens the listeners and starts serving; false when one cannot be opened.
  bool start();
  void stop();
  uint16_t tcpPort() const { return tcpPort_; }

  // The flight's clock runs from the data request on; hold() fixes it at a
  // time of the script, run() lets it go on from there.
  void hold(double seconds);
  void run();
  double flightTime() const;

  // Sent to the connected client at once (any thread); false without one.
  bool sendQuit() { return sendBytes(quitMessage()); }
  bool sendEvent(uint32_t eventId) { return sendBytes(eventMessage(eventId)); }
  bool sendException(uint32_t exception) { return sendBytes(exceptionMessage(exception, 0, 0)); }
  bool sendData(const FlightSample& sample) { return sendBytes(objectDataMessage(0, sample)); }
  bool sendBytes(const std::vector<uint8_t>& bytes);

  // Any thread.
  bool clientConnected() const { return connected_.load(); }
  int clientsServed() const { return clients_.load(); }
  bool setUpComplete() const { return setUp_.load(); }
  uint64_t dataMessagesSent() const { return dataSent_.load(); }
  // Violations of all clients so far, one line each.
  std::vector<std::string> violations() const;

 private:
  void serve(ServerListener& listener);
  void session(ServerLink& link);

  ServerOptions options_;
  uint16_t tcpPort_ = 0;
  std::vector<std::unique_ptr<ServerListener>> listeners_;
  std::vector<std::thread> threads_;
  std::atomic<bool> running_{false};

  mutable std::mutex mutex_;  // guards what follows
  ServerLink* link_ = nullptr;
  std::vector<std::string> violations_;
  double clockBase_ = 0.0;     // flight time at clockStart_
  double clockStart_ = -1.0;   // steady seconds; < 0 while not running
  bool held_ = false;

  std::atomic<bool> connected_{false};
  std::atomic<int> clients_{0};
  std::atomic<bool> setUp_{false};
  std::atomic<uint64_t> dataSent_{0};
};

}  // namespace simserver
