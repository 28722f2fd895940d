#include "platform/system_error.h"

#include <windows.h>

#include <string>

namespace portrelay::platform {

const uint32_t kErrorInsufficientBuffer = ERROR_INSUFFICIENT_BUFFER;
const uint32_t kErrorNoMoreItems = ERROR_NO_MORE_ITEMS;
const uint32_t kErrorInvalidHandle = ERROR_INVALID_HANDLE;
const uint32_t kErrorTimeout = ERROR_TIMEOUT;
const uint32_t kErrorDeviceGone = ERROR_BAD_COMMAND;

uint32_t lastSystemError() { return GetLastError(); }
void setLastSystemError(uint32_t code) { SetLastError(code); }

std::wstring systemErrorText(uint32_t code) {
  wchar_t buffer[512];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), buffer, 512, nullptr);
  std::wstring text(buffer, length);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  return text;
}

}  // namespace portrelay::platform
