#include "simclient/client.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "platform/notification.h"

namespace portrelay::simclient {

// The process-wide list of open clients.
class ClientRegistry {
 public:
  static void link(CClient& client) {
    std::lock_guard lock(mutex_);
    client.next_ = first_;
    if (first_ != nullptr) first_->previous_ = &client;
    first_ = &client;
    ++count_;
  }
  static void unlink(CClient& client) {
    std::lock_guard lock(mutex_);
    if (client.previous_ != nullptr) client.previous_->next_ = client.next_;
    else if (first_ == &client) first_ = client.next_;
    else return;  // not linked
    if (client.next_ != nullptr) client.next_->previous_ = client.previous_;
    client.previous_ = client.next_ = nullptr;
    --count_;
  }
  static int count() {
    std::lock_guard lock(mutex_);
    return count_;
  }

 private:
  static inline std::mutex mutex_;
  static inline CClient* first_ = nullptr;
  static inline int count_ = 0;
};

int openClientCount() { return ClientRegistry::count(); }

namespace {

using platform::IpFamily;
using platform::StreamTransport;

const char* const kDefaultPipeName = "Microsoft Flight Simulator\\SimConnect";

std::string pipePath(const std::string& address, const std::string& name) {
  return "\\\\" + address + "\\pipe\\" + (name.empty() ? std::string(kDefaultPipeName) : name);
}

struct Connection {
  std::unique_ptr<StreamTransport> transport;
  TransportKind kind = TransportKind::Pipe;
};

// Tries the transports in their order and stops at the first that connects:
// the configured pipe, IPv6, IPv4, the default local pipe. A configured remote
// address ends the search where its own transport fails.
Connection connect(const ClientConfiguration& config) {
  Connection connection;
  uint32_t error = 0;
  const auto pipe = [&](const std::string& path) {
    connection.transport = platform::connectNamedPipe(path, kPipeBusyWaitMs, error);
    connection.kind = TransportKind::Pipe;
    return connection.transport != nullptr;
  };
  const auto tcp = [&](const std::string& host, const std::string& port, IpFamily family) {
    connection.transport = platform::connectTcp(host, port, family, config.disableNagle, kConnectTimeoutMs, error);
    connection.kind = TransportKind::Socket;
    return connection.transport != nullptr;
  };

  std::string v6Host = "::1", v6Port, v4Host = "127.0.0.1", v4Port;
  switch (config.protocol) {
    case ClientProtocol::PipeFirst: {
      const std::string address = config.address.empty() ? "." : config.address;
      if (pipe(pipePath(address, config.port)) || address != ".") return connection;
      break;
    }
    case ClientProtocol::IPv6:
      if (!config.address.empty()) v6Host = config.address;
      v6Port = config.port;
      break;
    case ClientProtocol::IPv4:
      if (!config.address.empty()) v4Host = config.address;
      v4Port = config.port;
      break;
  }
  if (config.protocol != ClientProtocol::IPv4) {
    if (tcp(v6Host, v6Port.empty() ? registryPort(true) : v6Port, IpFamily::V6) || v6Host != "::1")
      return connection;
  }
  if (tcp(v4Host, v4Port.empty() ? registryPort(false) : v4Port, IpFamily::V4) || v4Host != "127.0.0.1")
    return connection;
  pipe(pipePath(".", ""));
  return connection;
}

}  // namespace

CClient::CClient(std::unique_ptr<platform::StreamTransport> transport, TransportKind kind)
    : transport_(std::move(transport)), kind_(kind), sendBuffer_(kSendBufferSize) {
  ClientRegistry::link(*this);
}

CClient::~CClient() { ClientRegistry::unlink(*this); }

void CClient::markBroken() {
  if (error_ == kResultOk) error_ = resultFromSystemError(transport_->error());
  if (error_ == kResultOk) error_ = resultFromSystemError(platform::kErrorBrokenPipe);
}

ClientResult CClient::send(PacketComposer& packet) {
  if (error_ != kResultOk) return error_;
  const size_t size = packet.finish(sendId_);
  sendId_ = simclient::nextSendId(sendId_);
  // The transport gets its own copy: the send buffer is reused by the next packet.
  if (!transport_->send(sendBuffer_.data(), static_cast<int>(size), kSendTimeoutMs)) {
    markBroken();
    return error_;
  }
  return kResultOk;
}

ClientClient::ClientClient(std::unique_ptr<platform::StreamTransport> transport, TransportKind kind,
                           const ClientConfiguration& configuration, const OpenOptions& options)
    : CClient(std::move(transport), kind), queue_(configuration.maxReceiveSize), notify_(options) {}

ClientResult ClientClient::open(std::unique_ptr<ClientClient>& client, std::string_view name,
                                const OpenOptions& options) {
  return open(client, name, options, configurationFiles());
}

ClientResult ClientClient::open(std::unique_ptr<ClientClient>& client, std::string_view name,
                                const OpenOptions& options, const std::vector<std::string>& files) {
  client.reset();
  const uint32_t index = options.configurationIndex;
  if (index != 0 && index != kNoConfiguration && !configurationExists(index, files)) return kResultInvalidArgument;
  // A client inside the simulator's own process would register with its main
  // window here; this library always runs in a process of its own.
  if (name.size() >= kNameFieldSize) return kResultNameTooLong;
  const ClientConfiguration config = readConfiguration(index, files);
  Connection connection = connect(config);
  if (connection.transport == nullptr) return kResultFail;
  auto opened = std::make_unique<ClientClient>(std::move(connection.transport), connection.kind, config, options);
  PacketComposer packet(opened->sendBuffer(), Operation::Open);
  packet.name(name);
  static constexpr uint8_t kMarker[4] = {0x00, 0x49, 0x4B, 0x00};
  packet.u32(0);
  packet.bytes(kMarker, sizeof kMarker);
  packet.u32(11);
  packet.u32(0);
  packet.u32(62651);
  packet.u32(3);
  if (opened->send(packet) != kResultOk) return kResultFail;
  client = std::move(opened);
  return kResultOk;
}

void ClientClient::close(std::unique_ptr<ClientClient> client) {
  if (client == nullptr) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(kCloseDelayMs));
  if (client->dispatched_) client->queue_.pop();
  client->dispatched_ = false;
  client.reset();  // leaves the list; the transport cancels what it has pending and closes
}

ClientResult ClientClient::addToDataDefinition(uint32_t definitionId, std::string_view datumName,
                                               std::string_view unitsName, uint32_t datumType, float epsilon,
                                               uint32_t datumId) {
  if (datumName.size() >= kNameFieldSize || unitsName.size() >= kNameFieldSize) return kResultNameTooLong;
  PacketComposer packet(sendBuffer(), Operation::AddToDataDefinition);
  packet.u32(definitionId);
  packet.name(datumName);
  packet.name(unitsName);
  packet.u32(datumType);
  packet.f32(epsilon);
  packet.u32(datumId);
  return send(packet);
}

ClientResult ClientClient::requestDataOnObject(uint32_t requestId, uint32_t definitionId, uint32_t objectId,
                                               uint32_t period, uint32_t flags, uint32_t origin, uint32_t interval,
                                               uint32_t limit) {
  PacketComposer packet(sendBuffer(), Operation::RequestDataOnObject);
  for (uint32_t field : {requestId, definitionId, objectId, period, flags, origin, interval, limit}) packet.u32(field);
  return send(packet);
}

ClientResult ClientClient::subscribeToSystemEvent(uint32_t eventId, std::string_view eventName) {
  if (eventName.size() >= kNameFieldSize) return kResultNameTooLong;
  PacketComposer packet(sendBuffer(), Operation::SubscribeToSystemEvent);
  packet.u32(eventId);
  packet.name(eventName);
  return send(packet);
}

void ClientClient::collect() {
  if (error_ != kResultOk) return;
  const std::span<uint8_t> room = queue_.space();
  const int n = transport().receive(room.data(), static_cast<int>(room.size()));
  if (n < 0) {
    markBroken();
    return;
  }
  const size_t before = queue_.count();
  // A stream that cannot be cut into messages any more counts as broken.
  if (!queue_.commit(static_cast<size_t>(n)) && error_ == kResultOk) error_ = resultFromSystemError(platform::kErrorInvalidData);
  for (size_t added = queue_.count() - before; added > 0; --added) {
    if (notify_.userMessage != 0) platform::postWindowMessage(notify_.window, notify_.userMessage);
    platform::signalEventHandle(notify_.event);
  }
}

ClientResult ClientClient::nextDispatch(const uint8_t*& message, uint32_t& size) {
  if (dispatched_) queue_.pop();
  dispatched_ = false;
  if (queue_.count() == 0) collect();
  const std::span<const uint8_t> oldest = queue_.front();
  if (oldest.empty()) return error_ != kResultOk ? error_ : kResultFail;
  if (oldest.size() <= 11) {
    queue_.pop();
    return kResultFail;
  }
  dispatched_ = true;
  message = oldest.data();
  size = static_cast<uint32_t>(oldest.size());
  return kResultOk;
}

}  // namespace portrelay::simclient
