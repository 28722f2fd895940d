#include "tools/platform/console_keys.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace portrelay::platform {

ConsoleKeys::ConsoleKeys() {
  static_assert(sizeof(termios) <= 64, "the saved settings fit");
  termios settings{};
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &settings) != 0) return;
  std::memcpy(saved_, &settings, sizeof settings);
  settings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  active_ = tcsetattr(STDIN_FILENO, TCSANOW, &settings) == 0;
}

ConsoleKeys::~ConsoleKeys() {
  if (!active_) return;
  termios settings{};
  std::memcpy(&settings, saved_, sizeof settings);
  tcsetattr(STDIN_FILENO, TCSANOW, &settings);
}

int ConsoleKeys::poll() {
  if (!active_) return 0;
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (::poll(&input, 1, 0) <= 0) return 0;
  unsigned char key = 0;
  return ::read(STDIN_FILENO, &key, 1) == 1 ? key : 0;
}

}  // namespace portrelay::platform
