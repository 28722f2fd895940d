// The decoders of the games that stream UDP telemetry, and what each keeps
// between datagrams. Each is a pure function of the received bytes, the
// game's kept state and the record: it reads nothing outside `datagram`, and a
// datagram it rejects (false) leaves the record and the state untouched. The
// readers (network_games.h) add the socket, the timing step and the gravity split.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "common/sample_record.h"
#include "sources/byte_view.h"

namespace portrelay::readers {

// ---- X-Plane (id 0): a 5-byte header, then 36-byte records (index, 8 floats) ----
inline constexpr size_t kXPlaneShortest = 42;  // anything of 41 bytes or less is ignored
inline constexpr size_t kXPlaneHeaderLength = 5;
inline constexpr size_t kXPlaneRecordLength = 36;
// Applies the records it knows; a suspension record (66) sets `groundState`.
bool decodeXPlane(ByteView datagram, int32_t& groundState, SampleRecord& record);

// ---- DCS (id 1): 25 numbers as text, separated by single spaces ----
inline constexpr int kDcsValueCount = 25;
inline constexpr size_t kDcsShortestToken = 6;
// Takes the next value off the front of [cursor, end): a token of at least six
// characters is read as a number (0 when it is none) and consumed with its
// separator; a shorter token, or text without any end, yields 0 and stays.
double takeDcsValue(const char*& cursor, const char* end);
bool decodeDcs(ByteView datagram, SampleRecord& record);

// ---- DiRT Rally 2 (id 5): exactly 96 bytes of floats ----
inline constexpr size_t kDirtRally2Length = 96;
bool decodeDirtRally2(ByteView datagram, SampleRecord& record);
// The game's gravity split: the kinematic completion with the longitudinal
// component of the opposite sign.
void splitDirtRally2Gravity(SampleRecord& record);

// ---- Condor 2 (id 6): "key=value" lines ----
inline constexpr size_t kCondor2Shortest = 42;
// The keys the reader keeps, one float each (plus "flaps" as an integer and
// "hudmessages" as text); a key missing from a datagram keeps its last value.
enum class CondorKey : int {
  time, slipball, altitude, vario, evario, nettovario, integrator, compass, turnrate, yawstringangle,
  radiofrequency, yaw, pitch, bank, quaternionx, quaterniony, quaternionz, ax, ay, az, vx, vy, vz,
  rollrate, pitchrate, yawrate, gforce, height, wheelheight, turbulencestrength, surfaceroughness, mc,
  water, count
};
struct Condor2Values {
  std::array<float, static_cast<size_t>(CondorKey::count)> values{};
  int32_t flaps = 0;
  char hudMessages[256] = {};  // cut to fit, always NUL-terminated

  float operator[](CondorKey key) const { return values[static_cast<size_t>(key)]; }
};
bool decodeCondor2(ByteView datagram, Condor2Values& kept, SampleRecord& record);

// ---- F1 23/24 (id 7): motion packets and extended motion packets ----
inline constexpr size_t kF1MotionLength = 1349;
inline constexpr size_t kF1HeaderLength = 29;
inline constexpr size_t kF1CarLength = 60;
inline constexpr size_t kF1CarCount = 22;
// The header names the player's car in byte 27 and a second (split-screen)
// player's in byte 28 (255 without one). The seat follows the player's car;
// an index that names no car of the packet falls back to car 0.
inline constexpr size_t kF1PlayerIndexOffset = 27;
inline constexpr size_t kF1SecondPlayerIndexOffset = 28;
inline constexpr uint8_t kF1NoIndex = 255;
inline constexpr size_t kF1ExtendedLength23 = 217;
inline constexpr size_t kF1ExtendedLength24 = 237;
// True when the datagram was applied: a packet of format 2023 or 2024, of a
// known length.
bool decodeF1(ByteView datagram, SampleRecord& record);

// ---- WRC (id 11): speeds, accelerations and three direction vectors ----
inline constexpr size_t kWrcShortest = 121;  // the last vector ends there
struct WrcState {
  bool hasPrevious = false;  // no rate before the second sample of an attachment
  double yaw = 0.0, roll = 0.0, pitch = 0.0;  // positions of the previous sample
  double averageStep = 0.0;  // seconds between samples, smoothed; 0 before the first
};
// `timeFrameMs` is the reader's time since its previous sample. The first
// sample of an attachment, or one without a positive time step, gives rates of 0.
// A step far shorter than the usual one (the engine's cycle ran late, then on
// time) still carries one whole game step of change: it is divided by the
// usual step, not by the short one, which would multiply the rate.
// Vectors of zero or non-finite length carry no attitude: the datagram is rejected.
bool decodeWrc(ByteView datagram, double timeFrameMs, WrcState& state, SampleRecord& record);

// ---- BeamNG (id 12): "BNG1" motion datagrams ----
inline constexpr size_t kBeamNgShortest = 88;  // the last float ends there
bool decodeBeamNg(ByteView datagram, SampleRecord& record);

// ---- Live for Speed (id 13): "LFST" motion datagrams ----
inline constexpr size_t kLfsShortest = 280;
bool decodeLfs(ByteView datagram, SampleRecord& record);

}  // namespace portrelay::readers
