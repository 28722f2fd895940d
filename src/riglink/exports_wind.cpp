// The fan controller's export on the engine's fan member.
#include "engine/motion_engine.h"
#include "log/utf8.h"
#include "portrelay/portrelay.h"

extern "C" int32_t initWindSerial(const wchar_t* portName, int32_t baudRate, const wchar_t* frameFormat,
                                  int32_t sendIntervalMs) {
  try {
    auto& engine = portrelay::MotionEngine::instance();
    return engine.fan.init(portrelay::toUtf8(portName), baudRate, portrelay::toUtf8(frameFormat),
                           static_cast<unsigned int>(sendIntervalMs))
               ? 1
               : 0;
  } catch (...) {
    return 0;
  }
}
