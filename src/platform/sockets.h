// BSD / Winsock 2.2 sockets: the games' UDP telemetry, the TCP link of a
// coaster simulator, and the UDP link to the rig.
#pragma once
#include <cstdint>
#include <string>

namespace portrelay::platform {

// Both Winsock's INVALID_SOCKET and a POSIX descriptor of -1 read as all ones.
using SocketHandle = uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};

// An IPv4 socket address laid out like sockaddr_in (16 bytes): family, port
// and address in network byte order, eight bytes of zero.
struct SocketAddress {
  uint16_t family = 0;
  uint16_t port = 0;     // network byte order
  uint32_t address = 0;  // network byte order
  uint8_t zero[8] = {};
};
static_assert(sizeof(SocketAddress) == 16);
inline constexpr int32_t kSocketAddressLength = 16;

// Any local interface / 127.0.0.1, with the port given in host order.
SocketAddress anyAddress(uint16_t port);
SocketAddress loopbackAddress(uint16_t port);
uint16_t portOf(const SocketAddress& address);  // host order
// Dotted IPv4 text of the address ("127.0.0.1").
std::string addressText(const SocketAddress& address);

// What Winsock reports about itself at start-up (the parts anyone reads).
struct NetworkStartup {
  uint16_t version = 0;
  uint16_t highVersion = 0;
};

// WSAStartup(2.2) / WSACleanup; counted by the system. POSIX: nothing to start
// (0 = success).
int startNetworking(NetworkStartup& startup);
void stopNetworking();

SocketHandle openUdpSocket();
SocketHandle openTcpSocket();
bool setNonBlocking(SocketHandle socket);
bool bindSocket(SocketHandle socket, const SocketAddress& address);
// Connects a blocking socket; gives up after `timeoutMs` (a refused loopback
// connect is retried for seconds by some stacks). The socket stays blocking.
bool connectSocket(SocketHandle socket, const SocketAddress& address, int timeoutMs);
bool listenSocket(SocketHandle socket, int backlog);
SocketHandle acceptConnection(SocketHandle socket);
bool closeSocket(SocketHandle socket);

// One datagram of at most `length` bytes. Returns the byte count, or -1 on an
// error, including a datagram longer than `length`, which is discarded (as
// Winsock does; POSIX would otherwise cut it silently). The sender goes to
// `from` with `fromLength` updated, when given.
int receiveFrom(SocketHandle socket, void* buffer, int length, SocketAddress* from, int32_t* fromLength);
int sendTo(SocketHandle socket, const void* data, int length, const SocketAddress& to);
int sendBytes(SocketHandle socket, const void* data, int length);
int receiveBytes(SocketHandle socket, void* buffer, int length);

enum class Readiness { Ready, Timeout, Failed };
// select() on one socket for readability / writability.
Readiness waitReadable(SocketHandle socket, long microseconds);

// The local address a socket is bound to (port 0 binds pick one).
SocketAddress localAddress(SocketHandle socket);

// WSAGetLastError / errno, and the system's text for such a code.
int lastSocketError();
std::string socketErrorText(int code);

}  // namespace portrelay::platform
