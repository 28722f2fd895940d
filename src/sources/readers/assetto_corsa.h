// Assetto Corsa / Competizione (id 3) and Assetto Corsa Evo (id 16): the
// game's physics page "Local\acpmf_physics", and for id 3 its graphics page.
#pragma once
#include <cstdint>

#include "sources/game_reader.h"
#include "sources/mapped_section.h"
#include "sources/page_watch.h"

namespace portrelay::readers {

inline constexpr const char* kAcPhysicsName = "Local\\acpmf_physics";
inline constexpr const char* kAcGraphicsName = "Local\\acpmf_graphics";
inline constexpr size_t kAcPhysicsSize = 712;
inline constexpr size_t kAcGraphicsSize = 1320;
inline constexpr int32_t kAcStatusLive = 2;  // graphics status while driving

// Copies a physics page into the record when its packet counter differs from
// `lastPacket` (which is then updated). False, with nothing touched, for an
// unchanged counter or a page smaller than the layout.
bool copyAcPhysics(ByteView page, int32_t& lastPacket, SampleRecord& record);

// Graphics status of a graphics page, or -1 when the page is too small.
int32_t acGraphicsStatus(ByteView page);

// Detection's sign of life for both Assetto Corsa readers: the physics page's
// packet counter moved since the previous test. The section itself proves
// nothing (detection creates it when it is missing, and the Proton bridge
// holds it open).
class AcPhysicsPulse {
 public:
  // Creates or opens the physics page for one look at its counter.
  bool test();

 private:
  int32_t lastPacket_ = 0;
  LifeSign life_;
};

class AssettoCorsaReader : public GameReader {
 public:
  bool detect() override;
  bool attach() override;
  bool read(SampleRecord& record) override;
  void detach() override;

 private:
  MappedSection physics_;
  MappedSection graphics_;
  int32_t lastPacket_ = 0;
  AcPhysicsPulse pulse_;
};

class AssettoCorsaEvoReader : public GameReader {
 public:
  bool detect() override;
  bool attach() override;
  bool read(SampleRecord& record) override;
  void detach() override;
  bool gameProcessRunning() const override;

 private:
  MappedSection physics_;
  int32_t lastPacket_ = 0;
  AcPhysicsPulse pulse_;
};

}  // namespace portrelay::readers
