// The virtual rig behind a pseudo-terminal (POSIX), with its serving thread.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "virtual_rig.h"

namespace rigsim {

// Creates a raw, non-blocking pseudo-terminal and points linkPath at its
// device node (replacing whatever the link pointed at). Returns the master
// descriptor and sets devicePath, or returns -1.
int openLinkedPty(const std::string& linkPath, std::string& devicePath);
// Removes linkPath if it still points at devicePath.
void removeLinkTo(const std::string& linkPath, const std::string& devicePath);

class PtyRig {
 public:
  PtyRig() = default;
  ~PtyRig();
  PtyRig(const PtyRig&) = delete;
  PtyRig& operator=(const PtyRig&) = delete;

  bool start(const std::string& linkPath);
  bool unplug();
  bool replug();
  bool sendToHost(const std::vector<uint8_t>& bytes);
  void stop();

  VirtualRig& rig() { return rig_; }
  std::string devicePath() const;

 private:
  bool openPty();
  void closePty();
  void serve();

  VirtualRig rig_;
  std::string linkPath_;
  mutable std::mutex mutex_;  // master fd and device path
  int master_ = -1;
  std::string devicePath_;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace rigsim
