// A virtual rig controller: the protocol side of the board that moves the
// seat, independent of how bytes reach it. It checks the CRC of every frame,
// answers identity and level queries, echoes host messages, counts motion
// frames, and misbehaves on demand.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace rigsim {

// CRC-16/ARC, computed bit by bit: an implementation of its own, so that the
// library's table-driven one is checked against something independent.
uint16_t crc16(const uint8_t* data, size_t length);

// Steady clock in nanoseconds (CLOCK_MONOTONIC / QueryPerformanceCounter).
int64_t monotonicNs();

enum class ReplyForm { terminated1, checksummed1, terminated2, checksummed2 };
enum class Behaviour {
  normal,
  wrongId,    // answers the identity query with an id no library accepts
  silent,     // answers nothing
  garbage,    // answers bytes that form no frame
  longReply,  // answers noise followed by the reply (more than 8 bytes)
  stalled,    // stops reading the port: the host's writes back up and stall
};

// Frames from the host whose class byte lies in this range are echoed back,
// checksummed: a message relayed to the rig and an answer relayed back.
inline constexpr uint8_t kFirstEchoClass = 0x10;

struct ReceivedFrame {
  std::vector<uint8_t> bytes;  // as received (end pair included)
  bool checksummed = false;    // CRC end pair (else 0x0A 0x0D)
  int64_t arrivalNs = 0;       // when its last byte arrived
  uint64_t sequence = 0;       // order of arrival among all frames the rig received (from 1)
};

struct RigStats {
  uint64_t motionFrames = 0;       // 0xFC frames with a valid end pair
  uint64_t checksummedMotionFrames = 0;
  uint64_t checksumErrors = 0;     // frames whose CRC did not match
  uint64_t cutFrames = 0;          // motion frames cut short: another frame's header inside them
  uint64_t identityQueries = 0;
  uint64_t levelQueries = 0;
  uint64_t otherFrames = 0;        // other short frames (kept in frames())
  uint64_t noiseBytes = 0;         // bytes dropped while looking for a frame
  double motionRatePerSecond = 0;  // motion frames in the last second
  std::vector<uint8_t> lastMotionFrame;
};

ReplyForm parseReplyForm(const std::string& text, bool* ok = nullptr);
Behaviour parseBehaviour(const std::string& text, bool* ok = nullptr);
const char* replyFormName(ReplyForm form);
const char* behaviourName(Behaviour behaviour);

class VirtualRig {
 public:
  void setReplyForm(ReplyForm form);
  void setBehaviour(Behaviour behaviour);
  void setFirmwareLevel(int level);  // reported as hundreds and units bytes

  // Bytes from the host; returns the bytes the rig sends back.
  std::vector<uint8_t> onBytes(const uint8_t* data, size_t length, int64_t nowNs);
  // One datagram from the host, parsed on its own: a frame never spans two
  // datagrams, and bytes left over count as noise.
  std::vector<uint8_t> onDatagram(const uint8_t* data, size_t length, int64_t nowNs);
  // The rig's level report (class 2) in its reply form, sent unasked over UDP.
  std::vector<uint8_t> levelReport() const;

  RigStats stats(int64_t nowNs) const;
  // Short frames of every class (identity and level queries included), oldest
  // first (the last 20000); their sequence numbers order them among the motion frames.
  std::vector<ReceivedFrame> frames() const;
  // Motion frames with their arrival times, oldest first (the last 10000, 20 s at 500 Hz).
  std::vector<ReceivedFrame> motionLog() const;
  // The kept motion frames, or short frames, whose sequence number is above `sequence`.
  std::vector<ReceivedFrame> motionSince(uint64_t sequence) const;
  std::vector<ReceivedFrame> framesSince(uint64_t sequence) const;
  void reset();                               // counters and frames
  // The port went away: bytes of a frame cut off by it are not completed by
  // the next port's bytes.
  void dropPartialFrame();
  bool stalled() const;

 private:
  void handleFrame(const uint8_t* frame, size_t length, bool checksummed, int64_t nowNs, std::vector<uint8_t>& out);
  void appendReply(const uint8_t* frame8, bool checksummed, std::vector<uint8_t>& out) const;

  mutable std::mutex mutex_;
  ReplyForm form_ = ReplyForm::terminated1;
  Behaviour behaviour_ = Behaviour::normal;
  int level_ = 328;
  std::vector<uint8_t> pending_;
  RigStats stats_;
  uint64_t sequence_ = 0;
  std::deque<int64_t> motionTimes_;
  std::deque<ReceivedFrame> frames_;
  std::deque<ReceivedFrame> motion_;
};

}  // namespace rigsim
