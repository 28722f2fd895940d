// Windows side of the control protocol: starts the native rigsim program with
// the given arguments plus "--control PORT" and talks to it over loopback TCP.
// The program ends when the connection closes; the destructor waits for it
// to close its side, which it does after removing the port's link, so that its
// clean-up cannot undo the next program's set-up at the same path.
#pragma once
#include <winsock2.h>

#include <cstdint>
#include <string>

namespace rigsim {

class ControlLink {
 public:
  ControlLink() = default;
  ~ControlLink();
  ControlLink(const ControlLink&) = delete;
  ControlLink& operator=(const ControlLink&) = delete;

  bool start(const std::string& arguments);
  // Sends one command and returns its first answer line ("error" when the
  // link is down).
  std::string command(const std::string& line);
  std::string readLine();
  // The program's clock minus this process's, from the quickest of nine "now" round trips.
  int64_t clockOffsetNs();

 private:
  bool started_ = false;
  SOCKET socket_ = INVALID_SOCKET;
  std::string pending_;
};

}  // namespace rigsim
