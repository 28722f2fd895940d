// iRacing: "Local\IRSDKMemMapFileName" with its header, variable headers and a
// ring of three data buffers, and the event "Local\IRSDKDataValidEvent".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "gamesim/game_sim.h"
#include "gamesim/published_section.h"
#include "platform/named_event.h"

namespace gamesim {

namespace irsdk {
inline constexpr const char* kName = "Local\\IRSDKMemMapFileName";
inline constexpr const char* kEventName = "Local\\IRSDKDataValidEvent";
inline constexpr size_t kSize = 32768;
inline constexpr int32_t kBufferCount = 3;
inline constexpr size_t kHeaderSize = 112;
inline constexpr size_t kVariableHeaderSize = 144;
// State: 1 connected (default), 0 disconnected.
inline constexpr int32_t kDisconnected = 0, kConnected = 1;

// The variables the simulated game publishes, in header order (floats).
const std::vector<std::string>& variableNames();

// The memory's layout for variableNames(): header, variable headers, buffers.
struct Layout {
  size_t variableHeaders = 0;
  size_t bufferLength = 0;
  size_t firstBuffer = 0;
};
Layout layout();

// Header and variable headers (the tick counts of all buffers 0).
void writeHeader(LayoutWriter memory, bool connected);
// One sample into buffer `buffer` (0..kBufferCount-1), then its tick.
void writeSample(LayoutWriter memory, const MotionSample& m, int32_t buffer, int32_t tick);
void writeConnected(LayoutWriter memory, bool connected);
}  // namespace irsdk

class IRacingSim : public GameSim {
 public:
  IRacingSim() : GameSim(irsdk::kConnected) {}
  bool start() override;
  void stop() override;
  void write(const MotionSample& sample) override;

 private:
  PublishedSection memory_{irsdk::kName, irsdk::kSize};
  portrelay::platform::NamedEvent dataValid_;
  int32_t tick_ = 0;
};

}  // namespace gamesim
