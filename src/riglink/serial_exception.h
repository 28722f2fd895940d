// The exception every failing serial-port operation of the rig link raises.
#pragma once
#include <cstdint>
#include <exception>

namespace portrelay {

class CSerialException : public std::exception {
 public:
  // error: the system error code read right after the failure.
  explicit CSerialException(uint32_t error) : error(error) {}

  // Renders the system's message text for the code into buffer (size in wide
  // characters, always NUL-terminated when size > 0) and clears *helpContext
  // when given. True when a text was found.
  virtual bool getErrorMessage(wchar_t* buffer, unsigned size, unsigned* helpContext = nullptr) const;
  const char* what() const noexcept override { return "serial port operation failed"; }

  uint32_t error;
};

}  // namespace portrelay
