#include "riglink/serial_exception.h"

#include <string>

#include "platform/system_error.h"

namespace portrelay {

bool CSerialException::getErrorMessage(wchar_t* buffer, unsigned size, unsigned* helpContext) const {
  if (helpContext != nullptr) *helpContext = 0;
  if (buffer == nullptr || size == 0) return false;
  const std::wstring text = platform::systemErrorText(error);
  const size_t count = text.size() < size - 1 ? text.size() : size - 1;
  text.copy(buffer, count);
  buffer[count] = L'\0';
  return !text.empty();
}

}  // namespace portrelay
