#include "platform/system_error.h"

#include <errno.h>
#include <string.h>

namespace portrelay::platform {

const uint32_t kErrorInsufficientBuffer = ENOBUFS;
const uint32_t kErrorNoMoreItems = ENOENT;
const uint32_t kErrorInvalidHandle = EBADF;
const uint32_t kErrorTimeout = ETIMEDOUT;
const uint32_t kErrorDeviceGone = EIO;

uint32_t lastSystemError() { return static_cast<uint32_t>(errno); }
void setLastSystemError(uint32_t code) { errno = static_cast<int>(code); }

std::wstring systemErrorText(uint32_t code) {
  char buffer[256];
  const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);  // GNU variant
  std::wstring wide;
  for (const char* c = text; c != nullptr && *c != '\0'; ++c) wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  return wide;
}

}  // namespace portrelay::platform
