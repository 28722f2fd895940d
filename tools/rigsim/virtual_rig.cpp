#include "virtual_rig.h"

#include <chrono>
#include <iterator>

namespace rigsim {
namespace {

constexpr size_t kShort = 8;
constexpr size_t kMotion = 36;
constexpr size_t kKeptFrames = 20000;
constexpr size_t kKeptMotionFrames = 10000;
constexpr int64_t kSecondNs = 1000000000;

bool endsTerminated(const uint8_t* frame, size_t length) {
  return frame[length - 2] == 0x0A && frame[length - 1] == 0x0D;
}

bool crcMatches(const uint8_t* frame, size_t length) {
  const uint16_t crc = crc16(frame, length - 2);
  return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}

}  // namespace

uint16_t crc16(const uint8_t* data, size_t length) {
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

int64_t monotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

ReplyForm parseReplyForm(const std::string& text, bool* ok) {
  if (ok) *ok = true;
  if (text == "t1") return ReplyForm::terminated1;
  if (text == "c1") return ReplyForm::checksummed1;
  if (text == "t2") return ReplyForm::terminated2;
  if (text == "c2") return ReplyForm::checksummed2;
  if (ok) *ok = false;
  return ReplyForm::terminated1;
}

const char* replyFormName(ReplyForm form) {
  switch (form) {
    case ReplyForm::terminated1: return "t1";
    case ReplyForm::checksummed1: return "c1";
    case ReplyForm::terminated2: return "t2";
    case ReplyForm::checksummed2: return "c2";
  }
  return "t1";
}

Behaviour parseBehaviour(const std::string& text, bool* ok) {
  if (ok) *ok = true;
  if (text == "normal") return Behaviour::normal;
  if (text == "wrong-id") return Behaviour::wrongId;
  if (text == "silent") return Behaviour::silent;
  if (text == "garbage") return Behaviour::garbage;
  if (text == "long-reply") return Behaviour::longReply;
  if (text == "stall") return Behaviour::stalled;
  if (ok) *ok = false;
  return Behaviour::normal;
}

const char* behaviourName(Behaviour behaviour) {
  switch (behaviour) {
    case Behaviour::normal: return "normal";
    case Behaviour::wrongId: return "wrong-id";
    case Behaviour::silent: return "silent";
    case Behaviour::garbage: return "garbage";
    case Behaviour::longReply: return "long-reply";
    case Behaviour::stalled: return "stall";
  }
  return "normal";
}

void VirtualRig::setReplyForm(ReplyForm form) {
  std::lock_guard lock(mutex_);
  form_ = form;
}

void VirtualRig::setBehaviour(Behaviour behaviour) {
  std::lock_guard lock(mutex_);
  behaviour_ = behaviour;
}

void VirtualRig::setFirmwareLevel(int level) {
  std::lock_guard lock(mutex_);
  level_ = level;
}

bool VirtualRig::stalled() const {
  std::lock_guard lock(mutex_);
  return behaviour_ == Behaviour::stalled;
}

void VirtualRig::reset() {
  std::lock_guard lock(mutex_);
  stats_ = RigStats{};
  motionTimes_.clear();
  frames_.clear();
  motion_.clear();
}

std::vector<uint8_t> VirtualRig::onBytes(const uint8_t* data, size_t length, int64_t nowNs) {
  std::lock_guard lock(mutex_);
  std::vector<uint8_t> out;
  pending_.insert(pending_.end(), data, data + length);
  size_t at = 0;
  while (pending_.size() - at >= kShort) {
    const uint8_t* front = pending_.data() + at;
    size_t frameLength = 0;
    if (front[0] == 0xF9 && front[1] == 0xF9) frameLength = kShort;
    if (front[0] == 0xFC && front[1] == 0xFC) frameLength = kMotion;
    if (frameLength == 0) {
      ++stats_.noiseBytes;
      ++at;
      continue;
    }
    if (pending_.size() - at < frameLength) break;
    // A CRC can itself be 0x0A 0x0D (one frame in 65536). A motion frame with
    // a matching CRC counts as checksummed: that is how the host sends them.
    const bool crcFirst = frameLength == kMotion && crcMatches(front, frameLength);
    const bool terminated = !crcFirst && endsTerminated(front, frameLength);
    const bool checksummed = crcFirst || (!terminated && crcMatches(front, frameLength));
    if (!terminated && !checksummed) {
      // A frame the host stopped writing part-way (a write that timed out)
      // is followed at once by the next frame or query: its header lies inside.
      bool cut = false;
      for (size_t k = 2; frameLength == kMotion && k + 1 < frameLength && !cut; ++k)
        cut = (front[k] == 0xFC || front[k] == 0xF9) && front[k + 1] == front[k];
      ++(cut ? stats_.cutFrames : stats_.checksumErrors);
      ++at;
      continue;
    }
    handleFrame(front, frameLength, checksummed, nowNs, out);
    at += frameLength;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
  return out;
}

std::vector<uint8_t> VirtualRig::onDatagram(const uint8_t* data, size_t length, int64_t nowNs) {
  {
    std::lock_guard lock(mutex_);
    pending_.clear();
  }
  std::vector<uint8_t> out = onBytes(data, length, nowNs);
  std::lock_guard lock(mutex_);
  stats_.noiseBytes += pending_.size();
  pending_.clear();
  return out;
}

std::vector<uint8_t> VirtualRig::levelReport() const {
  std::lock_guard lock(mutex_);
  const uint8_t report[kShort] = {0xF9, 0xF9, 0x02, 0x00, static_cast<uint8_t>(level_ % 100),
                                  static_cast<uint8_t>(level_ / 100), 0, 0};
  std::vector<uint8_t> out;
  appendReply(report, form_ == ReplyForm::checksummed1 || form_ == ReplyForm::checksummed2, out);
  return out;
}

void VirtualRig::handleFrame(const uint8_t* frame, size_t length, bool checksummed, int64_t nowNs,
                             std::vector<uint8_t>& out) {
  const ReceivedFrame received{std::vector<uint8_t>(frame, frame + length), checksummed, nowNs, ++sequence_};
  if (length == kMotion) {
    ++stats_.motionFrames;
    if (checksummed) ++stats_.checksummedMotionFrames;
    stats_.lastMotionFrame.assign(frame, frame + length);
    motionTimes_.push_back(nowNs);
    while (!motionTimes_.empty() && motionTimes_.front() < nowNs - kSecondNs) motionTimes_.pop_front();
    motion_.push_back(received);
    if (motion_.size() > kKeptMotionFrames) motion_.pop_front();
    return;
  }
  frames_.push_back(received);
  if (frames_.size() > kKeptFrames) frames_.pop_front();
  const uint8_t messageClass = frame[2];
  const bool formChecksummed = form_ == ReplyForm::checksummed1 || form_ == ReplyForm::checksummed2;
  if (messageClass == 0x01 && frame[4] == 0x00) {
    ++stats_.identityQueries;
    switch (behaviour_) {
      case Behaviour::silent:
      case Behaviour::stalled: return;
      case Behaviour::garbage:
        for (int i = 0; i < 8; ++i) out.push_back(0x55);
        return;
      case Behaviour::wrongId: {
        const uint8_t reply[kShort] = {0xF9, 0xF9, 0x01, 0x00, 0x03, 0x00, 0, 0};
        appendReply(reply, formChecksummed, out);
        return;
      }
      case Behaviour::longReply:
        for (int i = 0; i < 5; ++i) out.push_back(0x33);
        [[fallthrough]];
      case Behaviour::normal: {
        const bool two = form_ == ReplyForm::terminated2 || form_ == ReplyForm::checksummed2;
        const uint8_t reply[kShort] = {0xF9, 0xF9, 0x01, 0x00, static_cast<uint8_t>(two ? 2 : 1), 0x00, 0, 0};
        appendReply(reply, formChecksummed, out);
        return;
      }
    }
    return;
  }
  if (behaviour_ == Behaviour::silent || behaviour_ == Behaviour::stalled) return;
  if (messageClass == 0x02) {
    ++stats_.levelQueries;
    const uint8_t report[kShort] = {0xF9, 0xF9, 0x02, 0x00, static_cast<uint8_t>(level_ % 100),
                                    static_cast<uint8_t>(level_ / 100), 0, 0};
    appendReply(report, formChecksummed, out);
    return;
  }
  ++stats_.otherFrames;
  if (messageClass >= kFirstEchoClass) appendReply(frame, true, out);
}

void VirtualRig::appendReply(const uint8_t* frame8, bool checksummed, std::vector<uint8_t>& out) const {
  uint8_t reply[kShort];
  for (size_t i = 0; i < 6; ++i) reply[i] = frame8[i];
  if (checksummed) {
    const uint16_t crc = crc16(reply, 6);
    reply[6] = static_cast<uint8_t>(crc & 0xFF);
    reply[7] = static_cast<uint8_t>(crc >> 8);
  } else {
    reply[6] = 0x0A;
    reply[7] = 0x0D;
  }
  out.insert(out.end(), reply, reply + kShort);
}

RigStats VirtualRig::stats(int64_t nowNs) const {
  std::lock_guard lock(mutex_);
  RigStats copy = stats_;
  size_t recent = 0;
  for (int64_t t : motionTimes_)
    if (t >= nowNs - kSecondNs) ++recent;
  copy.motionRatePerSecond = static_cast<double>(recent);
  return copy;
}

std::vector<ReceivedFrame> VirtualRig::frames() const {
  std::lock_guard lock(mutex_);
  return {frames_.begin(), frames_.end()};
}

std::vector<ReceivedFrame> VirtualRig::motionLog() const {
  std::lock_guard lock(mutex_);
  return {motion_.begin(), motion_.end()};
}

namespace {
// Sequence numbers rise along a log: the newer ones, found from the back.
std::vector<ReceivedFrame> newerThan(const std::deque<ReceivedFrame>& log, uint64_t sequence) {
  auto first = log.end();
  while (first != log.begin() && std::prev(first)->sequence > sequence) --first;
  return {first, log.end()};
}
}  // namespace

std::vector<ReceivedFrame> VirtualRig::motionSince(uint64_t sequence) const {
  std::lock_guard lock(mutex_);
  return newerThan(motion_, sequence);
}

std::vector<ReceivedFrame> VirtualRig::framesSince(uint64_t sequence) const {
  std::lock_guard lock(mutex_);
  return newerThan(frames_, sequence);
}

void VirtualRig::dropPartialFrame() {
  std::lock_guard lock(mutex_);
  stats_.noiseBytes += pending_.size();
  pending_.clear();
}

}  // namespace rigsim
