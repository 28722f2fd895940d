// The simulator's end of a client connection: a listener that takes one
// client at a time, and the byte stream to that client.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace simserver {

class ServerLink {
 public:
  virtual ~ServerLink() = default;
  // Bytes from the client: the count, 0 when nothing came within `timeoutMs`,
  // -1 once the client has gone.
  virtual int receive(uint8_t* buffer, int capacity, int timeoutMs) = 0;
  // Writes all bytes; false when the client has gone. Any thread, one at a time.
  virtual bool send(const uint8_t* data, int length) = 0;
};

class ServerListener {
 public:
  virtual ~ServerListener() = default;
  // The next client, or null when none came within `timeoutMs`.
  virtual std::unique_ptr<ServerLink> accept(int timeoutMs) = 0;
};

// TCP on 127.0.0.1; port 0 lets the system pick, and the port listened on
// goes to `port`.
std::unique_ptr<ServerListener> listenTcp(uint16_t& port);
// A named pipe "\\.\pipe\<name>" (Windows; null elsewhere).
std::unique_ptr<ServerListener> listenPipe(const std::string& name);

}  // namespace simserver
