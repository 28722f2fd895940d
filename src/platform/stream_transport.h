// Client byte streams to a local or remote server: a named pipe or a TCP
// connection (IPv4 or IPv6), read without waiting. Used by the flight
// simulator's client connection.
//
// Windows: the pipe is opened overlapped and a read is always outstanding;
// receive() collects a completed read and posts the next one. TCP sockets are
// non-blocking after the connect. POSIX: named pipes of this kind do not exist,
// so connectNamedPipe() always fails (with kErrorFileNotFound); TCP works as on
// Windows.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace portrelay::platform {

// System error numbers as Windows reports them; the POSIX tier translates its
// own errors to these, so that callers see one set of codes everywhere.
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorInvalidData = 13;
inline constexpr uint32_t kErrorBrokenPipe = 109;
inline constexpr uint32_t kErrorPipeBusy = 231;
inline constexpr uint32_t kErrorStreamTimeout = 1460;  // ERROR_TIMEOUT (system_error.h's kErrorTimeout is errno's on POSIX)
inline constexpr uint32_t kErrorConnectionReset = 10054;
inline constexpr uint32_t kErrorConnectionRefused = 10061;
inline constexpr uint32_t kErrorHostNotFound = 11001;

class StreamTransport {
 public:
  StreamTransport() = default;
  virtual ~StreamTransport() = default;  // closes the stream; pending I/O is cancelled and waited for
  StreamTransport(const StreamTransport&) = delete;
  StreamTransport& operator=(const StreamTransport&) = delete;

  // Copies bytes that have arrived, at most `capacity`, into `buffer`. Returns
  // the count, 0 when nothing is waiting, -1 once the stream has ended or
  // failed (error() says why). Never waits.
  virtual int receive(uint8_t* buffer, int capacity) = 0;
  // Writes all `length` bytes, waiting at most `timeoutMs` for room. False when
  // the stream is broken or the write did not finish in time.
  virtual bool send(const uint8_t* data, int length, int timeoutMs) = 0;
  // The error that ended the stream, 0 while it is intact.
  virtual uint32_t error() const = 0;
};

// Opens an existing pipe ("\\server\pipe\name") for reading and writing,
// exclusively. While every instance of the pipe is busy, waits up to `busyWaitMs`
// for one and tries once more. Null on failure, with the reason in `error`.
std::unique_ptr<StreamTransport> connectNamedPipe(const std::string& path, int busyWaitMs, uint32_t& error);

enum class IpFamily { V4, V6 };

// Resolves `host` and `port` (text, e.g. "::1" and "500") for a TCP stream of
// the family, connects to the first result, waiting at most `timeoutMs`, and
// sets TCP_NODELAY when `noDelay`. Null on failure, with the reason in `error`.
std::unique_ptr<StreamTransport> connectTcp(const std::string& host, const std::string& port, IpFamily family,
                                            bool noDelay, int timeoutMs, uint32_t& error);

}  // namespace portrelay::platform
