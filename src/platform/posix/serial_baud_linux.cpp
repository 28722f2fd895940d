// Any baud rate through termios2 (BOTHER), e.g. the rig's 250000. Kept apart:
// <asm/termbits.h> cannot share a translation unit with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace portrelay::platform {

bool setBaudRate(int fd, uint32_t baud) {
  struct termios2 tio;
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
  tio.c_cflag |= BOTHER;
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

bool readBaudRate(int fd, uint32_t& baud) {
  struct termios2 tio;
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  baud = tio.c_ospeed;
  return true;
}

}  // namespace portrelay::platform
