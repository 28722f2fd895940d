// System error codes as the platform reports them (GetLastError / errno): the
// convention of every platform call that answers false on failure.
#pragma once
#include <cstdint>
#include <string>

namespace portrelay::platform {

uint32_t lastSystemError();
void setLastSystemError(uint32_t code);
// The system's text for an error code (no line end), or an empty text.
std::wstring systemErrorText(uint32_t code);

extern const uint32_t kErrorInsufficientBuffer;  // ERROR_INSUFFICIENT_BUFFER / ENOBUFS
extern const uint32_t kErrorNoMoreItems;         // ERROR_NO_MORE_ITEMS / ENOENT
extern const uint32_t kErrorInvalidHandle;       // ERROR_INVALID_HANDLE / EBADF
extern const uint32_t kErrorTimeout;             // ERROR_TIMEOUT / ETIMEDOUT
extern const uint32_t kErrorDeviceGone;          // ERROR_BAD_COMMAND / EIO: the device vanished

}  // namespace portrelay::platform
