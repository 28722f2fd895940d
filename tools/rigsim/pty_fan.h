// The virtual fan controller behind a pseudo-terminal (POSIX): a sink that
// records every byte it receives, with its serving thread.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "virtual_fan.h"

namespace rigsim {

class PtyFan {
 public:
  PtyFan() = default;
  ~PtyFan();
  PtyFan(const PtyFan&) = delete;
  PtyFan& operator=(const PtyFan&) = delete;

  // Creates the port and points linkPath at it.
  bool start(const std::string& linkPath);
  void stop();
  // The controller vanishes (its end of the port closes, the link goes away)
  // and returns on a fresh port behind the same link.
  void unplug();
  bool replug();

  std::vector<FanByte> bytes() const;  // oldest first (the last 100000)
  // The kept bytes that arrived after `arrivalNs`.
  std::vector<FanByte> bytesAfter(int64_t arrivalNs) const;
  void reset();
  FanLine line() const;
  std::string devicePath() const;

 private:
  void serve();
  bool openPort();  // a fresh pty behind linkPath_
  void closePort();

  std::string linkPath_;
  mutable std::mutex mutex_;  // master fd, device path and bytes
  int master_ = -1;
  std::string devicePath_;
  std::vector<FanByte> bytes_;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace rigsim
