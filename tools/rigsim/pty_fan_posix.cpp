#include "pty_fan.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <iterator>

#include "pty_rig.h"
#include "virtual_rig.h"

namespace rigsim {

uint32_t ptyBaudRate(int fd);  // pty_baud_linux.cpp

namespace {

constexpr size_t kKeptBytes = 100000;

int dataBitsOf(tcflag_t flags) {
  switch (flags & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
  }
}

}  // namespace

PtyFan::~PtyFan() { stop(); }

bool PtyFan::start(const std::string& linkPath) {
  stop();
  linkPath_ = linkPath;
  if (!openPort()) return false;
  running_ = true;
  thread_ = std::thread([this] { serve(); });
  return true;
}

void PtyFan::stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
  closePort();
}

void PtyFan::closePort() {
  std::lock_guard lock(mutex_);
  if (master_ >= 0) ::close(master_);
  master_ = -1;
  removeLinkTo(linkPath_, devicePath_);
  devicePath_.clear();
}

void PtyFan::unplug() { closePort(); }

bool PtyFan::replug() {
  closePort();
  return openPort();
}

bool PtyFan::openPort() {
  std::string device;
  const int master = openLinkedPty(linkPath_, device);
  if (master < 0) return false;
  std::lock_guard lock(mutex_);
  master_ = master;
  devicePath_ = device;
  return true;
}

std::vector<FanByte> PtyFan::bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

std::vector<FanByte> PtyFan::bytesAfter(int64_t arrivalNs) const {
  std::lock_guard lock(mutex_);
  auto first = bytes_.end();
  while (first != bytes_.begin() && std::prev(first)->arrivalNs > arrivalNs) --first;
  return {first, bytes_.end()};
}

void PtyFan::reset() {
  std::lock_guard lock(mutex_);
  bytes_.clear();
}

FanLine PtyFan::line() const {
  std::lock_guard lock(mutex_);
  FanLine line;
  termios tio{};
  // The master's attributes are those of the port's other end on Linux.
  if (master_ < 0 || tcgetattr(master_, &tio) != 0) return line;
  line.dataBits = dataBitsOf(tio.c_cflag);
  line.parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 'O' : 'E') : 'N';
  line.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
  line.baudRate = ptyBaudRate(master_);
  return line;
}

std::string PtyFan::devicePath() const {
  std::lock_guard lock(mutex_);
  return devicePath_;
}

void PtyFan::serve() {
  uint8_t buffer[1024];
  while (running_) {
    int fd;
    {
      std::lock_guard lock(mutex_);
      fd = master_;
    }
    if (fd < 0) {  // unplugged
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    if (!(p.revents & POLLIN)) {
      // Nobody holds the port open (POLLHUP): nothing to read yet.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    const int64_t now = monotonicNs();
    std::lock_guard lock(mutex_);
    if (master_ != fd) continue;  // unplugged meanwhile
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) continue;
    for (ssize_t i = 0; i < n; ++i) bytes_.push_back({buffer[i], now});
    if (bytes_.size() > kKeptBytes) bytes_.erase(bytes_.begin(), bytes_.end() - kKeptBytes);
  }
}

}  // namespace rigsim
