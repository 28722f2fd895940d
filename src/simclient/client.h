// The client side of the flight simulator's connection protocol.
//
// CClient owns the transport (named pipe or TCP), the send buffer in which
// packets are composed, the send ids and the connection's stored error.
// ClientClient adds the received messages: completed reads are cut into whole
// messages and queued (ReceiveQueue), and nextDispatch hands them out one by
// one. Reads are collected when the queue runs empty, so a client is used from
// one thread at a time; nothing on the polling path allocates or waits.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/stream_transport.h"
#include "simclient/client_configuration.h"
#include "simclient/packets.h"
#include "simclient/receive_queue.h"
#include "simclient/result_codes.h"

namespace portrelay::simclient {

enum class TransportKind { Pipe, Socket };

// How long a client waits for its transport: a busy pipe, a TCP connect, a send.
inline constexpr int kPipeBusyWaitMs = 5000;
inline constexpr int kConnectTimeoutMs = 1000;
inline constexpr int kSendTimeoutMs = 1000;
// Close waits this long before it takes the connection down.
inline constexpr int kCloseDelayMs = 100;

class CClient {
 public:
  virtual ~CClient();
  CClient(const CClient&) = delete;
  CClient& operator=(const CClient&) = delete;

  TransportKind transportKind() const { return kind_; }
  // The stored error of a broken connection, 0 while it is intact.
  ClientResult storedError() const { return error_; }
  // Send id the next packet gets.
  uint32_t nextSendId() const { return sendId_; }

 protected:
  CClient(std::unique_ptr<platform::StreamTransport> transport, TransportKind kind);

  // Sends the composed packet (header filled here) and returns the result.
  ClientResult send(PacketComposer& packet);
  // Remembers a failure of the transport as the connection's stored error.
  void markBroken();

  uint8_t* sendBuffer() { return sendBuffer_.data(); }
  platform::StreamTransport& transport() { return *transport_; }

  ClientResult error_ = kResultOk;

 private:
  friend class ClientRegistry;

  std::unique_ptr<platform::StreamTransport> transport_;
  TransportKind kind_;
  std::vector<uint8_t> sendBuffer_;
  uint32_t sendId_ = 1;
  CClient* previous_ = nullptr;  // the process-wide list of open clients
  CClient* next_ = nullptr;
};

class ClientClient final : public CClient {
 public:
  // Where and how to connect; the defaults read the configuration files and
  // the registry as a client in the simulator's own SDK does.
  struct OpenOptions {
    intptr_t window = 0;          // notified with `userMessage` per queued message, if both nonzero
    uint32_t userMessage = 0;
    intptr_t event = 0;           // set per queued message, if nonzero
    uint32_t configurationIndex = 0;
  };

  // Finds the simulator (configuration, then pipe / IPv6 / IPv4 / default
  // pipe), connects and sends the open packet under `name`. kResultOk with the
  // client in `client`; otherwise kResultFail, kResultInvalidArgument (a
  // configuration index whose section no file holds) or kResultNameTooLong,
  // and `client` is left empty.
  static ClientResult open(std::unique_ptr<ClientClient>& client, std::string_view name, const OpenOptions& options);
  // The same with the configuration files of the caller's choice (seam of the
  // configuration tests).
  static ClientResult open(std::unique_ptr<ClientClient>& client, std::string_view name, const OpenOptions& options,
                           const std::vector<std::string>& configurationFiles);

  // Waits kCloseDelayMs, releases the last dispatched message, leaves the list
  // of open clients and closes the transport.
  static void close(std::unique_ptr<ClientClient> client);

  ClientResult addToDataDefinition(uint32_t definitionId, std::string_view datumName, std::string_view unitsName,
                                   uint32_t datumType, float epsilon, uint32_t datumId);
  ClientResult requestDataOnObject(uint32_t requestId, uint32_t definitionId, uint32_t objectId, uint32_t period,
                                   uint32_t flags, uint32_t origin, uint32_t interval, uint32_t limit);
  ClientResult subscribeToSystemEvent(uint32_t eventId, std::string_view eventName);

  // Releases the message handed out last time, then hands out the oldest
  // queued one: kResultOk with its bytes (valid until the next call or close).
  // A message of 11 bytes or fewer is dropped with kResultFail. With nothing
  // queued: kResultFail, or the stored error once the connection is broken.
  ClientResult nextDispatch(const uint8_t*& message, uint32_t& size);

  size_t queuedMessages() const { return queue_.count(); }
  size_t queuedBytes() const { return queue_.bytes(); }

  ClientClient(std::unique_ptr<platform::StreamTransport> transport, TransportKind kind,
               const ClientConfiguration& configuration, const OpenOptions& options);

 private:
  // Collects what the transport has received into the queue.
  void collect();

  ReceiveQueue queue_;
  OpenOptions notify_;
  bool dispatched_ = false;
};

// Clients open in this process.
int openClientCount();

}  // namespace portrelay::simclient
