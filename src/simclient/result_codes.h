// Result codes of the flight simulator's client connection, as the simulator's
// own client library reports them: 0 for success, negative for failure.
#pragma once
#include <cstdint>

namespace portrelay::simclient {

using ClientResult = int32_t;

inline constexpr ClientResult kResultOk = 0;
inline constexpr ClientResult kResultFail = static_cast<ClientResult>(0x80004005u);
inline constexpr ClientResult kResultInvalidArgument = static_cast<ClientResult>(0x80070057u);
// A text that does not fit its 256-byte field.
inline constexpr ClientResult kResultNameTooLong = static_cast<ClientResult>(0x8007007Au);

// A system error number as a result code (facility Win32).
inline ClientResult resultFromSystemError(uint32_t code) {
  return static_cast<ClientResult>(0x80070000u | (code & 0xFFFFu));
}

}  // namespace portrelay::simclient
