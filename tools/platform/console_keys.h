// Single key presses from the terminal a tool runs in, without waiting for
// Enter and without echo, for the host's live view.
#pragma once

namespace portrelay::platform {

class ConsoleKeys {
 public:
  // Switches the terminal to reading single keys (nothing happens when
  // standard input is not a terminal); the destructor restores it.
  ConsoleKeys();
  ~ConsoleKeys();
  ConsoleKeys(const ConsoleKeys&) = delete;
  ConsoleKeys& operator=(const ConsoleKeys&) = delete;

  // The next key pressed, or 0 when none waits; never blocks.
  int poll();

 private:
  bool active_ = false;
  unsigned char saved_[64] = {};  // the terminal's settings before
};

}  // namespace portrelay::platform
