#include "platform/serial_port.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/posix/com_names.h"

namespace portrelay::platform {

bool setBaudRate(int fd, uint32_t baud);
bool readBaudRate(int fd, uint32_t& baud);

namespace {

constexpr uint32_t kModemCts = 0x10, kModemDsr = 0x20, kModemRing = 0x40, kModemRlsd = 0x80;

int64_t nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Waits until fd is ready for `events` or the deadline passes (-1: none).
// Returns >0 ready, 0 timed out, <0 error (errno set).
int waitReady(int fd, short events, int64_t deadline) {
  for (;;) {
    int timeout = -1;
    if (deadline >= 0) timeout = static_cast<int>(std::max<int64_t>(0, deadline - nowMs()));
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, timeout);
    if (r < 0 && errno == EINTR) continue;
    if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) {
      errno = EIO;
      return -1;
    }
    if (r > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) {
      errno = EIO;
      return -1;
    }
    return r;
  }
}

int fdOf(intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

SerialPort::~SerialPort() { close(); }

bool SerialPort::open(int comNumber) {
  close();
  const std::string path = comDevicePath(comNumber);
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // Exclusive use: TIOCEXCL stops other opens (except privileged ones), the
  // advisory lock stops other PortRelay processes, root or not.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    errno = error;
    return false;
  }
  // A serial handle carries raw bytes, as on Windows: no line editing, echo,
  // signals or newline translation. Reads poll, so VMIN/VTIME are 0.
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return false;
  }
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IMAXBEL);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &tio) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return false;
  }
  handle_ = fd;
  timeouts_ = SerialTimeouts{};
  return true;
}

bool SerialPort::openDevice(const std::string& deviceName) { return SerialDevice::openDevice(deviceName); }

void SerialPort::close() {
  if (handle_ < 0) return;
  const int saved = errno;
  ::close(fdOf(handle_));
  handle_ = -1;
  errno = saved;
}

bool SerialPort::isOpen() const { return handle_ >= 0; }

bool SerialPort::readLineSettings(SerialLineSettings& settings) {
  if (!isOpen()) return errno = EBADF, false;
  termios tio{};
  if (tcgetattr(fdOf(handle_), &tio) != 0) return false;
  uint32_t baud = 0;
  if (!readBaudRate(fdOf(handle_), baud)) return false;
  settings.baudRate = baud;
  switch (tio.c_cflag & CSIZE) {
    case CS5: settings.dataBits = 5; break;
    case CS6: settings.dataBits = 6; break;
    case CS7: settings.dataBits = 7; break;
    default: settings.dataBits = 8; break;
  }
  if (!(tio.c_cflag & PARENB)) settings.parity = Parity::none;
  else if (tio.c_cflag & CMSPAR) settings.parity = (tio.c_cflag & PARODD) ? Parity::mark : Parity::space;
  else settings.parity = (tio.c_cflag & PARODD) ? Parity::odd : Parity::even;
  settings.stopBits = (tio.c_cflag & CSTOPB) ? StopBits::two : StopBits::one;
  settings.ctsOutputFlow = (tio.c_cflag & CRTSCTS) != 0;
  settings.dsrOutputFlow = false;  // no DSR flow control on Linux
  settings.dsrSensitivity = false;
  settings.xonXoffOutput = (tio.c_iflag & IXON) != 0;
  settings.xonXoffInput = (tio.c_iflag & IXOFF) != 0;
  return true;
}

bool SerialPort::applyLineSettings(const SerialLineSettings& settings) {
  if (!isOpen()) return errno = EBADF, false;
  const int fd = fdOf(handle_);
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
  switch (settings.dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
  }
  tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
  switch (settings.parity) {
    case Parity::none: break;
    case Parity::odd: tio.c_cflag |= PARENB | PARODD; break;
    case Parity::even: tio.c_cflag |= PARENB; break;
    case Parity::mark: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case Parity::space: tio.c_cflag |= PARENB | CMSPAR; break;
  }
  if (settings.stopBits == StopBits::one) tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  else tio.c_cflag |= CSTOPB;
  if (settings.ctsOutputFlow) tio.c_cflag |= CRTSCTS;
  else tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  if (settings.xonXoffOutput) tio.c_iflag |= IXON;
  else tio.c_iflag &= ~static_cast<tcflag_t>(IXON);
  if (settings.xonXoffInput) tio.c_iflag |= IXOFF;
  else tio.c_iflag &= ~static_cast<tcflag_t>(IXOFF);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return false;
  return setBaudRate(fd, settings.baudRate);
}

bool SerialPort::readTimeouts(SerialTimeouts& timeouts) { return SerialDevice::readTimeouts(timeouts); }
bool SerialPort::writeTimeouts(const SerialTimeouts& timeouts) { return SerialDevice::writeTimeouts(timeouts); }
bool SerialPort::setQueueSizes(uint32_t inBytes, uint32_t outBytes) {
  return SerialDevice::setQueueSizes(inBytes, outBytes);  // the kernel's tty buffers are fixed
}

bool SerialPort::purge(uint32_t flags) {
  if (!isOpen()) return errno = EBADF, false;
  const int fd = fdOf(handle_);
  const bool rx = (flags & (kPurgeRxClear | kPurgeRxAbort)) != 0;
  const bool tx = (flags & (kPurgeTxClear | kPurgeTxAbort)) != 0;
  if (rx && tx) return tcflush(fd, TCIOFLUSH) == 0;
  if (rx) return tcflush(fd, TCIFLUSH) == 0;
  if (tx) return tcflush(fd, TCOFLUSH) == 0;
  return true;
}

bool SerialPort::clearError(SerialQueueStatus* status) {
  if (!isOpen()) return errno = EBADF, false;
  const int fd = fdOf(handle_);
  // A vanished device (or a pty whose far end closed) hangs up the line.
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 0) < 0 && errno != EINTR) return false;
  if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
    errno = EIO;
    return false;
  }
  int in = 0, out = 0;
  if (ioctl(fd, FIONREAD, &in) != 0) return false;
  if (ioctl(fd, TIOCOUTQ, &out) != 0) out = 0;
  if (status != nullptr) {
    status->errors = 0;
    status->bytesIn = static_cast<uint32_t>(std::max(in, 0));
    status->bytesOut = static_cast<uint32_t>(std::max(out, 0));
  }
  return true;
}

bool SerialPort::modemStatus(uint32_t& status) {
  if (!isOpen()) return errno = EBADF, false;
  int lines = 0;
  status = 0;
  if (ioctl(fdOf(handle_), TIOCMGET, &lines) != 0) return errno == ENOTTY || errno == EINVAL;  // no modem lines
  if (lines & TIOCM_CTS) status |= kModemCts;
  if (lines & TIOCM_DSR) status |= kModemDsr;
  if (lines & TIOCM_RNG) status |= kModemRing;
  if (lines & TIOCM_CD) status |= kModemRlsd;
  return true;
}

bool SerialPort::read(void* buffer, uint32_t size, uint32_t& got) {
  got = 0;
  if (!isOpen()) return errno = EBADF, false;
  const int fd = fdOf(handle_);
  const SerialTimeouts t = timeouts_;
  if (t.readInterval == 0xFFFFFFFFu && t.readTotalMultiplier == 0 && t.readTotalConstant == 0) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n < 0) return errno == EAGAIN;
    got = static_cast<uint32_t>(n);
    return true;
  }
  const bool limited = t.readTotalMultiplier != 0 || t.readTotalConstant != 0;
  const int64_t deadline =
      limited ? nowMs() + static_cast<int64_t>(t.readTotalMultiplier) * size + t.readTotalConstant : -1;
  auto* bytes = static_cast<uint8_t*>(buffer);
  while (got < size) {
    const ssize_t n = ::read(fd, bytes + got, size - got);
    if (n > 0) {
      got += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    const int ready = waitReady(fd, POLLIN, deadline);
    if (ready < 0) return false;
    if (ready == 0) break;  // time-out: a short read is a success
  }
  return true;
}

bool SerialPort::write(const void* data, uint32_t size, uint32_t& written) {
  written = 0;
  if (!isOpen()) return errno = EBADF, false;
  const int fd = fdOf(handle_);
  const SerialTimeouts t = timeouts_;
  const bool limited = t.writeTotalMultiplier != 0 || t.writeTotalConstant != 0;
  const int64_t deadline =
      limited ? nowMs() + static_cast<int64_t>(t.writeTotalMultiplier) * size + t.writeTotalConstant : -1;
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (written < size) {
    const ssize_t n = ::write(fd, bytes + written, size - written);
    if (n > 0) {
      written += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    const int ready = waitReady(fd, POLLOUT, deadline);
    if (ready < 0) return false;
    if (ready == 0) break;
  }
  return true;
}

}  // namespace portrelay::platform
