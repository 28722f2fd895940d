// The rig link's mode: every transition of its table, told in sequence from
// a fresh mode, including both transports hearing the rig in one cycle, each
// expiry and the stop.
#include "riglink/link_mode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace portrelay {
namespace {

constexpr uint32_t kRig = 0x0A00A8C0;     // 192.168.0.10, network byte order
constexpr uint32_t kOther = 0x0B00A8C0;   // 192.168.0.11
constexpr int64_t kExpiry = 8'000'000'000;

enum class Tell { serialHeard, serialLost, udpHeardRig, udpHeardOther, expire, stop, pause, resume };

struct Step {
  Tell tell;
  int64_t atNs;  // the listener's clock for udpHeard and expire
  bool result;   // what serialHeard, udpHeard and expire answer (others: ignored)
  LinkTransport after;
  uint32_t peerAfter;
};

bool apply(LinkMode& mode, const Step& s) {
  switch (s.tell) {
    case Tell::serialHeard: return mode.serialHeard();
    case Tell::serialLost: mode.serialLost(); return s.result;
    case Tell::udpHeardRig: return mode.udpHeard(kRig, s.atNs);
    case Tell::udpHeardOther: return mode.udpHeard(kOther, s.atNs);
    case Tell::expire: return mode.expireUdp(s.atNs, kExpiry);
    case Tell::stop: mode.stop(); return s.result;
    case Tell::pause: mode.pause(); return s.result;
    case Tell::resume: mode.resume(); return s.result;
  }
  return false;
}

TEST(LinkMode, TransitionTable) {
  using enum LinkTransport;
  const int64_t s = 1'000'000'000;
  struct Sequence {
    const char* name;
    std::vector<Step> steps;
  };
  const Sequence sequences[] = {
      {"serial: held until the port closes, never expires, refuses UDP",
       {{Tell::serialHeard, 0, true, serial, 0},
        {Tell::udpHeardRig, 1 * s, false, serial, 0},
        {Tell::expire, 100 * s, false, serial, 0},
        {Tell::serialHeard, 0, true, serial, 0},
        {Tell::serialLost, 0, false, undecided, 0},
        {Tell::serialLost, 0, false, undecided, 0}}},
      {"udp: refreshed by its peer only, ends 8 s after the peer's last frame",
       {{Tell::udpHeardRig, 1 * s, true, udp, kRig},
        {Tell::serialHeard, 0, false, udp, kRig},
        {Tell::serialLost, 0, false, udp, kRig},
        {Tell::udpHeardRig, 5 * s, true, udp, kRig},
        {Tell::udpHeardOther, 6 * s, false, udp, kRig},
        {Tell::expire, 5 * s + kExpiry - 1, false, udp, kRig},
        {Tell::expire, 5 * s + kExpiry, true, undecided, 0},
        {Tell::expire, 20 * s, false, undecided, 0}}},
      {"the other address refreshes nothing: expiry counts from the peer",
       {{Tell::udpHeardRig, 1 * s, true, udp, kRig},
        {Tell::udpHeardOther, 8 * s, false, udp, kRig},
        {Tell::expire, 1 * s + kExpiry, true, undecided, 0},
        {Tell::udpHeardOther, 10 * s, true, udp, kOther}}},
      {"both hear the rig in one cycle, serial first: serial, UDP refused",
       {{Tell::serialHeard, 0, true, serial, 0}, {Tell::udpHeardRig, 1 * s, false, serial, 0}}},
      {"both hear the rig in one cycle, UDP first: UDP, serial refused, and UDP still ends at its expiry",
       {{Tell::udpHeardRig, 1 * s, true, udp, kRig},
        {Tell::serialHeard, 0, false, udp, kRig},
        {Tell::expire, 1 * s + kExpiry, true, undecided, 0},
        {Tell::serialHeard, 0, true, serial, 0}}},
      {"stop leaves either transport",
       {{Tell::serialHeard, 0, true, serial, 0},
        {Tell::stop, 0, false, undecided, 0},
        {Tell::udpHeardRig, 1 * s, true, udp, kRig},
        {Tell::stop, 0, false, undecided, 0},
        {Tell::expire, 100 * s, false, undecided, 0}}},
      {"pause stands apart from the transport",
       {{Tell::udpHeardRig, 1 * s, true, udp, kRig},
        {Tell::pause, 0, false, udp, kRig},
        {Tell::resume, 0, false, udp, kRig}}},
  };
  for (const Sequence& sequence : sequences) {
    SCOPED_TRACE(sequence.name);
    LinkMode mode;
    EXPECT_EQ(mode.transport(), undecided);
    for (size_t i = 0; i < sequence.steps.size(); ++i) {
      SCOPED_TRACE("step " + std::to_string(i));
      const Step& step = sequence.steps[i];
      const bool result = apply(mode, step);
      if (step.tell == Tell::serialHeard || step.tell == Tell::udpHeardRig || step.tell == Tell::udpHeardOther ||
          step.tell == Tell::expire) {
        EXPECT_EQ(result, step.result);
      }
      EXPECT_EQ(mode.transport(), step.after);
      EXPECT_EQ(mode.udpPeer(), step.peerAfter);
    }
  }
}

// What each transport is allowed, by state: never both at once.
TEST(LinkMode, WhoMayRun) {
  LinkMode mode;
  EXPECT_TRUE(mode.serialMayRun() && mode.udpMayRun());
  EXPECT_TRUE(mode.udpAccepts(kRig) && mode.udpAccepts(kOther));
  mode.serialHeard();
  EXPECT_TRUE(mode.serialMayRun());
  EXPECT_FALSE(mode.udpMayRun());
  EXPECT_FALSE(mode.udpAccepts(kRig));
  mode.stop();
  mode.udpHeard(kRig, 0);
  EXPECT_FALSE(mode.serialMayRun());
  EXPECT_TRUE(mode.udpMayRun());
  EXPECT_TRUE(mode.udpAccepts(kRig));
  EXPECT_FALSE(mode.udpAccepts(kOther));
  mode.pause();
  EXPECT_FALSE(mode.serialMayRun() || mode.udpMayRun());
  EXPECT_TRUE(mode.paused());
  mode.resume();
  EXPECT_TRUE(mode.udpMayRun());
}

}  // namespace
}  // namespace portrelay
