#include "frame_checker.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "soak_signal.h"

namespace portrelay::soak {
namespace {

// One fade step: at most 10 ms of the 4000-ms fade (the library's own
// constants, restated here as the rig's view of what a fade may do).
constexpr double kFadeStepShare = 10.0 / 4000.0;
constexpr double kFadeSpan[6] = {10.0, 10.0, 12.0, 24.0, 24.0, 24.0};
const char* const kAxisNames[6] = {"sway", "surge", "heave", "yaw", "roll", "pitch"};

std::string format(const char* pattern, double a, double b = 0.0, double c = 0.0) {
  char text[256];
  std::snprintf(text, sizeof text, pattern, a, b, c);
  return text;
}

}  // namespace

double stepBound(int axis) { return liveRatePerSecond(axis) * kStallMs / 1000.0 + kFadeStepShare * kFadeSpan[axis]; }

FrameChecker::FrameChecker(Link link, Timeline& timeline, const GameWriter& game, SoakReport& report)
    : link_(link), timeline_(timeline), game_(game), report_(report) {}

std::optional<int64_t> FrameChecker::sampleOf(int64_t tag, int64_t arrivalNs) const {
  // The latest sample with this tag written before the frame arrived. The
  // rig's clock may be a few ms off ours (under Wine it is another process's
  // clock, measured over the control link): a sample written up to
  // kClockSlackNs after the arrival still counts as before it.
  constexpr int64_t kClockSlackNs = 20 * 1000000;
  int64_t n = game_.newest();
  if (n < 0) return std::nullopt;
  n -= ((n - tag) % kTagsPerTurn + kTagsPerTurn) % kTagsPerTurn;
  for (int turn = 0; turn < 3 && n >= 0; ++turn, n -= kTagsPerTurn) {
    const int64_t written = game_.writtenNs(n);
    if (written != 0 && written <= arrivalNs + kClockSlackNs) return n;
  }
  return std::nullopt;
}

void FrameChecker::checkedUpTo(int64_t checkedNs) {
  if (link_ != Link::serial) return;  // the game's returns are watched on the serial link
  if (returnNs_ == 0) {
    const int64_t next = timeline_.firstReturnAfter(returnsDoneUpTo_.load());
    if (next == 0 || static_cast<double>(checkedNs - next) / 1e6 <= kReturnMs) return;
    returnNs_ = next;  // not one frame since the return
  }
  if (static_cast<double>(checkedNs - returnNs_) / 1e6 <= kReturnMs) return;
  report_.fail(checkedNs, format("the engine did not return to the game within %.0f ms of its return", kReturnMs));
  returnsDoneUpTo_.store(returnNs_);
  returnNs_ = 0;
}

void FrameChecker::check(const rigsim::ReceivedFrame& frame, int64_t arrival) {
  const bool udp = link_ == Link::udp;
  const char* rigName = udp ? "UDP rig" : "serial rig";
  report_.frame(udp);
  if (frame.bytes.size() != 36 || frame.bytes[0] != 0xFC || frame.bytes[1] != 0xFC) {
    report_.fail(arrival, std::string("a malformed motion frame at the ") + rigName);
    return;
  }
  if (!frame.checksummed) report_.fail(arrival, std::string("a motion frame without its CRC at the ") + rigName);
  std::array<float, 6> value;
  std::memcpy(value.data(), frame.bytes.data() + 2, sizeof value);
  for (int axis = 0; axis < 6; ++axis)
    if (!std::isfinite(value[static_cast<size_t>(axis)]))
      report_.fail(arrival, std::string("a non-finite ") + kAxisNames[axis] + " at the " + rigName);

  const Timeline::Segment segment = timeline_.at(arrival);
  const int phase = segment.fault == kNoFault ? kSteadyPhase : segment.fault;
  const double gapMs = havePrevious_ ? static_cast<double>(arrival - lastArrivalNs_) / 1e6 : 0.0;
  const bool due = havePrevious_ && timeline_.framesDueThroughout(link_, lastArrivalNs_, arrival);
  // Whether an engine or relay cycle overran between the two frames.
  const bool threads =
      havePrevious_ && timeline_.overrunBetween(lastArrivalNs_ - 20 * 1000000, arrival + 20 * 1000000);
  if (due) {
    report_.rigGap(gapMs);
    if (gapMs > kStallMs) {
      // If the library's threads kept their cycles meanwhile, the frames
      // waited on the way (the port, the machine).
      report_.late(arrival, format("no frame at the rig for %.1f ms while frames were due", gapMs) + " (" + rigName +
                                (threads ? "; an engine or relay cycle overran)" : "; engine and relay cycles kept time)"));
    }
  }
  // Steps only between frames that follow each other closely: across an
  // outage the rig legitimately missed the motion in between.
  if (due && gapMs <= kStallMs) {
    for (int axis = 0; axis < 6; ++axis) {
      const double change = std::fabs(static_cast<double>(value[static_cast<size_t>(axis)]) -
                                      static_cast<double>(previous_[static_cast<size_t>(axis)]));
      if (!std::isfinite(change)) continue;
      const double bound = stepBound(axis);
      report_.step(axis, change, bound, phase, arrival);
      if (change > bound) {
        std::string frames = " [";
        for (int i = 0; i < 6; ++i)
          frames += format("%.3f>%.3f ", previous_[static_cast<size_t>(i)], value[static_cast<size_t>(i)]);
        // After a cycle that overran (a failure of its own) the live motion
        // of more than kStallMs lies between two frames: that step is noted.
        auto report = [&](int64_t ns, const std::string& what) {
          if (threads) {
            report_.note(ns, "after an overrun cycle: " + what);
          } else {
            report_.fail(ns, what);
          }
        };
        report(arrival, format("a step of %.4f on ", change) + kAxisNames[axis] +
                                  format(" between consecutive frames (bound %.4f)", bound) + " at the " + rigName +
                                  frames + format("] %.1f ms apart", gapMs));
      }
    }
  }

  // The game's return: the first frame after it that differs from the value
  // held while the game was gone (sway and surge pass the game's values
  // unchanged, so they stand still while no sample comes).
  if (returnNs_ == 0 && link_ == Link::serial) {
    const int64_t next = timeline_.firstReturnAfter(returnsDoneUpTo_.load());
    if (next != 0 && arrival > next) {
      returnNs_ = next;
      held_ = {previous_[0], previous_[1]};
    }
  }
  if (returnNs_ != 0 && (value[0] != held_[0] || value[1] != held_[1])) {
    const double ms = static_cast<double>(arrival - returnNs_) / 1e6;
    report_.gameReturned(ms);
    if (ms > kReturnMs)
      report_.fail(arrival, format("the engine returned to the game %.0f ms after its return (bound %.0f ms)", ms,
                                   kReturnMs));
    returnsDoneUpTo_.store(returnNs_);
    returnNs_ = 0;
  }

  if (const std::optional<int64_t> tag = decodeTag(value[0], value[1])) {
    if (const std::optional<int64_t> sample = sampleOf(*tag, arrival)) {
      const int64_t written = game_.writtenNs(*sample);
      if (!udp) {
        const int64_t reconnect = timeline_.lastReconnectBefore(arrival);
        if (reconnect != 0 && written < reconnect)
          report_.fail(arrival, format("a frame computed before the link was made anew (sample written %.1f ms "
                                       "before it) arrived %.1f ms after it",
                                       static_cast<double>(reconnect - written) / 1e6,
                                       static_cast<double>(arrival - reconnect) / 1e6) +
                                    format(" (sample %.0f, newest %.0f, rig sequence %.0f)", static_cast<double>(*sample),
                                           static_cast<double>(game_.newest()), static_cast<double>(frame.sequence)));
      }
      if (*sample > newestSample_) {  // a new sample: the first frame carrying it
        newestSample_ = *sample;
        report_.latency(udp ? static_cast<int>(FaultKind::udpLink) : phase, static_cast<double>(arrival - written) / 1e6);
      }
    } else {
      report_.undecoded();
    }
  } else {
    report_.undecoded();
  }
  previous_ = value;
  havePrevious_ = true;
  lastArrivalNs_ = arrival;
}

}  // namespace portrelay::soak
