// NoLimits 2 (id 8): the coaster simulator's telemetry server, a TCP
// request/response protocol on 127.0.0.1 port 15151.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/sockets.h"
#include "sources/byte_view.h"
#include "sources/game_reader.h"
#include "sources/telemetry_math.h"

namespace portrelay::readers {

inline constexpr uint16_t kNoLimitsPort = 15151;
inline constexpr int kNoLimitsWaitMs = 500;
inline constexpr uint16_t kNoLimitsTelemetryRequest = 5;
inline constexpr uint32_t kNoLimitsTelemetryRequestId = 3243;
inline constexpr uint16_t kNoLimitsTelemetryAnswer = 6;
// 'N', type, request id, data size, 76 bytes of telemetry, 'L'.
inline constexpr size_t kNoLimitsTelemetryDataLength = 76;
inline constexpr size_t kNoLimitsAnswerLength = 86;
inline constexpr size_t kNoLimitsAnswerEnd = 85;  // offset of the closing 'L'

// A message without data: 'N', 16-bit type, 32-bit request id, 16-bit data
// size 0, 'L'; integers big-endian.
std::array<uint8_t, 10> noLimitsRequest(uint16_t type, uint32_t requestId);

// The detection handshake: connect, send the idle request (type 0, id 1234)
// and wait up to 500 ms for an answer to become readable. The socket is closed
// in every case; failures are written to standard error.
bool noLimitsHandshake(uint16_t port);

// What the reader keeps for the life of the process: it survives detach and
// attach, so a coaster that comes back continues where it was.
struct NoLimitsState {
  int32_t lastFrame = 0;
  bool hasPrevious = false;  // no rotation step before the first answer
  Quaternion previous;       // normalised
  double rates[3] = {};      // held angular rates, rad/s about the car's own x, y, z
  double filteredAccel[3] = {};  // lateral, longitudinal, vertical
  double heldSpeed[3] = {};
  int32_t quietSamples[3] = {};  // consecutive samples of a filtered acceleration below 0.2
};

// Decodes one telemetry answer (type 6, 'L' at 85) into the record: attitude
// from the rotation quaternion, rates from the rotation since the previous
// frame, felt accelerations with gravity from the rotation, and speeds by
// leaky integration over `timeFrameMs`. False, with record and state
// untouched, for anything else, a paused simulation (state 0), a frame
// already seen, or values that are not finite.
bool decodeNoLimitsAnswer(ByteView answer, double timeFrameMs, NoLimitsState& state, SampleRecord& record);

// The byte stream from the server cut back into messages: a receive may hold
// part of an answer, or several. Bytes that do not frame a message are
// skipped up to the next 'N'.
class NoLimitsStream {
 public:
  static constexpr size_t kCapacity = 2048;

  uint8_t* tail() { return bytes_.data() + size_; }
  size_t room() const { return kCapacity - size_; }
  void appended(size_t count) { size_ += count < room() ? count : room(); }
  // Takes every complete message off the front. True when a telemetry answer
  // was among them; the newest goes to `answer`.
  bool takeNewestAnswer(std::array<uint8_t, kNoLimitsAnswerLength>& answer);
  void clear() { size_ = 0; }
  size_t size() const { return size_; }

 private:
  std::array<uint8_t, kCapacity> bytes_{};
  size_t size_ = 0;
};

class NoLimits2Reader : public GameReader {
 public:
  explicit NoLimits2Reader(uint16_t port = kNoLimitsPort) : port_(port) {}
  ~NoLimits2Reader() override { detach(); }

  bool detect() override { return noLimitsHandshake(port_); }
  // Connects and keeps a non-blocking socket.
  bool attach() override;
  // Requests the next telemetry and takes the newest answer to an earlier request.
  bool read(SampleRecord& record) override;
  void detach() override;

  bool connected() const { return socket_ != platform::kInvalidSocket; }
  const NoLimitsState& state() const { return state_; }

 private:
  void requestTelemetry();

  uint16_t port_;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  bool holdsStartup_ = false;
  bool sendFailing_ = false;  // reported once per run of failures
  NoLimitsStream stream_;
  std::array<uint8_t, kNoLimitsAnswerLength> answer_{};
  NoLimitsState state_;
};

}  // namespace portrelay::readers
