// rFactor 2 (id 14): the telemetry page our plug-in publishes in the game,
// "Local\Tiltaverse_rf2_data".
#pragma once
#include "sources/game_reader.h"
#include "sources/mapped_section.h"
#include "sources/page_watch.h"

namespace portrelay::readers {

inline constexpr const char* kRFactor2Name = "Local\\Tiltaverse_rf2_data";
inline constexpr size_t kRFactor2Size = 1888;
// First word of the page while the plug-in has not filled it yet.
inline constexpr uint32_t kRFactor2Unready = 1234567890u;

// Unit quaternion of a rotation matrix given row by row (m00, m01, ... m22).
Quaternion quaternionFromMatrix(const double m[9]);

// Copies the page into the record when its time stamp is greater than
// `lastStamp` (which is then updated). False, with nothing touched, otherwise.
bool copyRFactor2(ByteView page, double& lastStamp, SampleRecord& record);

// Detection wants the process and a page whose time stamp moved since the
// previous test: the Proton bridge holds the page whether the game runs or not.
class RFactor2Reader : public GameReader {
 public:
  bool detect() override;
  bool attach() override;
  bool read(SampleRecord& record) override;
  void detach() override;
  void onDetectionFailed() override { detach(); }
  bool gameProcessRunning() const override;

 private:
  MappedSection page_;
  bool mapped_ = false;
  double lastStamp_ = 0.0;
  uint64_t detectedStamp_ = 0;  // bits of the time stamp the previous detection test saw
  LifeSign life_;
};

}  // namespace portrelay::readers
