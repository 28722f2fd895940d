// iRacing (id 10): the game's memory "Local\IRSDKMemMapFileName" (a header,
// variable headers and a ring of data buffers) and its event
// "Local\IRSDKDataValidEvent".
#pragma once
#include <array>
#include <chrono>
#include <cstdint>

#include "platform/named_event.h"
#include "sources/game_reader.h"
#include "sources/mapped_section.h"
#include "sources/page_watch.h"
#include "sources/stall_watch.h"

namespace portrelay::readers {

inline constexpr const char* kIRacingName = "Local\\IRSDKMemMapFileName";
inline constexpr const char* kIRacingEventName = "Local\\IRSDKDataValidEvent";

// Header fields and record sizes of the memory.
namespace iracing {
inline constexpr size_t kStatus = 4;            // bit 0: connected
inline constexpr size_t kVariableCount = 24;
inline constexpr size_t kVariableHeaders = 28;  // offset of the first variable header
inline constexpr size_t kBufferCount = 32;
inline constexpr size_t kBufferLength = 36;
inline constexpr size_t kBufferDescriptors = 48;  // 16 bytes each: tick at +0, offset at +4
inline constexpr size_t kDescriptorSize = 16;
inline constexpr size_t kVariableHeaderSize = 144;  // value offset at +4, name at +16
inline constexpr size_t kNameOffset = 16;
inline constexpr size_t kNameLength = 32;
inline constexpr size_t kCopySize = 10000;  // local copy of the newest buffer
inline constexpr size_t kPresetBytes = 1000;
}  // namespace iracing

// What the reader keeps between calls: the newest buffer seen and its copy.
struct IRacingBuffers {
  int32_t lastTick = 0;
  std::array<uint8_t, iracing::kCopySize> copy{};
  size_t copiedLength = 0;  // bytes of `copy` taken from the current buffer
  std::chrono::system_clock::time_point sampleTime{};
};

// What one pass found: the game disconnected, its buffers as they were, or
// buffers the game wrote since the last pass (a newer tick, or a tick that went
// back because the game started counting again).
enum class IRacingPage { Disconnected, Unchanged, Moved };

// One pass over the memory: when the game is connected and a buffer newer than
// the last one holds data, copies it and writes the nine channels found by name.
// A disconnected game only resets the last tick. Every count, offset and length
// of the memory is checked against the view and the local copy; a variable that
// is missing or lies outside the copied buffer leaves its channel unchanged.
IRacingPage takeIRacingSample(ByteView memory, IRacingBuffers& buffers, SampleRecord& record);

// The largest tick count among the buffer descriptors the view holds, or -1
// while the game is disconnected or the header is incomplete.
int64_t iRacingNewestTick(ByteView memory);

class IRacingReader : public GameReader {
 public:
  // The process, and a connected memory whose newest tick moved since the
  // previous test (the Proton bridge holds the memory whether the game runs).
  bool detect() override;
  bool attach() override;
  // True on every call while the game is connected and has written a buffer
  // within kStalledAfter; the channels hold the newest buffer's values between
  // two of the game's writes.
  bool read(SampleRecord& record) override;
  void detach() override;
  void onDetectionFailed() override { detach(); }
  bool gameProcessRunning() const override { return gameRunning(); }

 private:
  static bool gameRunning();
  bool eventPresent() const;
  bool mapNow();

  MappedSection memory_;
  platform::NamedEvent dataValid_;
  bool attached_ = false;
  IRacingBuffers buffers_;
  StallWatch writes_;
  int64_t detectedTick_ = -1;  // the newest tick the previous detection test saw
  LifeSign life_;
};

}  // namespace portrelay::readers
