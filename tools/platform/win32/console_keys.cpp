#include "tools/platform/console_keys.h"

#include <conio.h>
#include <io.h>
#include <stdio.h>

namespace portrelay::platform {

// The console reads single keys through _kbhit/_getch without any mode change.
ConsoleKeys::ConsoleKeys() { active_ = _isatty(_fileno(stdin)) != 0; }

ConsoleKeys::~ConsoleKeys() = default;

int ConsoleKeys::poll() {
  if (!active_ || _kbhit() == 0) return 0;
  const int key = _getch();
  if (key == 0 || key == 0xE0) {  // a function or arrow key: two codes, not ours
    _getch();
    return 0;
  }
  return key;
}

}  // namespace portrelay::platform
