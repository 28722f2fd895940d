// The line speed of a port through termios2, which also reports the rates
// that have no B constant (set with BOTHER). Kept apart: <asm/termbits.h>
// cannot share a translation unit with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace rigsim {

uint32_t ptyBaudRate(int fd) {
  struct termios2 tio;
  if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
  return tio.c_ospeed;
}

}  // namespace rigsim
