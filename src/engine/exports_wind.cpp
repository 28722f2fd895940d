// The fan controller's export on the engine's fan member.
#include <cctype>
#include <string>

#include "engine/motion_engine.h"
#include "platform/utf8.h"
#include "portrelay/portrelay.h"

namespace {

// The sender's step between two speed bytes. A fan follows the motion within
// a second or not at all, and 0 would make the sender poll without pause.
constexpr int32_t kMinFanIntervalMs = 1;
constexpr int32_t kMaxFanIntervalMs = 1000;

// Data bits 5 to 8, parity N, E or O (either case), stop bits 1 or 2.
bool frameFormatValid(const std::string& format) {
  if (format.size() != 3) return false;
  const char parity = static_cast<char>(std::toupper(static_cast<unsigned char>(format[1])));
  return format[0] >= '5' && format[0] <= '8' && (parity == 'N' || parity == 'E' || parity == 'O') &&
         (format[2] == '1' || format[2] == '2');
}

}  // namespace

extern "C" int32_t initWindSerial(const wchar_t* portName, int32_t baudRate, const wchar_t* frameFormat,
                                  int32_t sendIntervalMs) {
  try {
    auto& engine = portrelay::MotionEngine::instance();
    // Settings the fan cannot run with are refused before they reach it: the
    // fan keeps its previous configuration.
    if (portName == nullptr || *portName == L'\0' || frameFormat == nullptr || baudRate <= 0 ||
        sendIntervalMs < kMinFanIntervalMs || sendIntervalMs > kMaxFanIntervalMs)
      return 0;
    const std::string format = portrelay::toUtf8(frameFormat);
    if (!frameFormatValid(format)) return 0;
    return engine.fan().init(portrelay::toUtf8(portName), baudRate, format, static_cast<unsigned int>(sendIntervalMs))
               ? 1
               : 0;
  } catch (...) {
    return 0;
  }
}
