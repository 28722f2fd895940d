#include "pty_rig.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace rigsim {

PtyRig::~PtyRig() { stop(); }

int openLinkedPty(const std::string& linkPath, std::string& devicePath) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return -1;
  char name[128];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    ::close(master);
    return -1;
  }
  // Raw from the start, as a device's UART would be.
  termios tio{};
  if (tcgetattr(master, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
  }
  const int flags = fcntl(master, F_GETFL);
  fcntl(master, F_SETFL, flags | O_NONBLOCK);
  // Re-point the link in one step: create aside, then rename over it.
  const std::string aside = linkPath + ".new";
  ::unlink(aside.c_str());
  if (symlink(name, aside.c_str()) != 0 || rename(aside.c_str(), linkPath.c_str()) != 0) {
    ::close(master);
    return -1;
  }
  devicePath = name;
  return master;
}

void removeLinkTo(const std::string& linkPath, const std::string& devicePath) {
  // Remove the link only while it still points here: another device may own it now.
  char target[256];
  const ssize_t n = linkPath.empty() ? -1 : readlink(linkPath.c_str(), target, sizeof target - 1);
  if (n > 0 && std::string(target, static_cast<size_t>(n)) == devicePath) ::unlink(linkPath.c_str());
}

bool PtyRig::openPty() {
  std::string name;
  const int master = openLinkedPty(linkPath_, name);
  if (master < 0) return false;
  std::lock_guard lock(mutex_);
  master_ = master;
  devicePath_ = name;
  return true;
}

void PtyRig::closePty() {
  std::lock_guard lock(mutex_);
  if (master_ >= 0) ::close(master_);
  master_ = -1;
  rig_.dropPartialFrame();
  removeLinkTo(linkPath_, devicePath_);
  devicePath_.clear();
}

bool PtyRig::start(const std::string& linkPath) {
  stop();
  linkPath_ = linkPath;
  if (!openPty()) return false;
  running_ = true;
  thread_ = std::thread([this] { serve(); });
  return true;
}

void PtyRig::stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
  closePty();
}

bool PtyRig::unplug() {
  closePty();
  return true;
}

bool PtyRig::replug() {
  closePty();
  return openPty();
}

std::string PtyRig::devicePath() const {
  std::lock_guard lock(mutex_);
  return devicePath_;
}

bool PtyRig::sendToHost(const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  if (master_ < 0) return false;
  return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void PtyRig::serve() {
  uint8_t buffer[4096];
  while (running_) {
    int fd;
    {
      std::lock_guard lock(mutex_);
      fd = master_;
    }
    if (fd < 0 || rig_.stalled()) {  // a stalled rig leaves the host's bytes unread
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, 20);
    if (ready <= 0) continue;
    if (!(p.revents & POLLIN)) {
      // No process holds the port open (POLLHUP): nothing to read yet.
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    std::lock_guard lock(mutex_);
    if (master_ != fd) continue;  // unplugged meanwhile
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) continue;
    const std::vector<uint8_t> reply = rig_.onBytes(buffer, static_cast<size_t>(n), monotonicNs());
    if (!reply.empty()) (void)::write(fd, reply.data(), reply.size());
  }
}

}  // namespace rigsim
