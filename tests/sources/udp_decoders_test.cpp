// The UDP games' decoders on datagrams from gamesim's encoders and on
// hand-made ones: channel mapping, length and format rules, kept state.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "gamesim/published_section.h"
#include "gamesim/udp_games_sim.h"
#include "sources/readers/network_decoders.h"
#include "sources/telemetry_math.h"
#include "support/motion_expectations.h"

namespace portrelay::readers {
namespace {

using namespace channel;
using gamesim::LapMotion;
using gamesim::MotionSample;
using testing::expectedChannel;

struct Datagram {
  std::vector<uint8_t> bytes;
  explicit Datagram(size_t size = 0) : bytes(size, 0) {}
  explicit Datagram(const std::string& text) : bytes(text.begin(), text.end()) {}
  template <typename T>
  Datagram& put(size_t offset, T value) {
    gamesim::LayoutWriter(bytes.data(), bytes.size()).put<T>(offset, value);
    return *this;
  }
  ByteView view() const { return {bytes.data(), bytes.size()}; }
};

SampleRecord filledRecord() {
  SampleRecord record;
  for (int i = 0; i < kGameDataCount; ++i) record.data[i] = 1000.0 + i;
  record.gameTime = 7.0;
  return record;
}
bool sameRecord(const SampleRecord& a, const SampleRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expectChannels(const SampleRecord& record, const MotionSample& m, std::initializer_list<int> channels) {
  for (int index : channels) {
    const double expected = *expectedChannel(index, m, {});
    EXPECT_NEAR(record.data[index], expected, testing::floatTolerance(expected)) << channelName(index);
  }
}

constexpr std::initializer_list<int> kAttitude = {yaw_position, roll_position, pitch_position};
constexpr std::initializer_list<int> kRates = {yaw_speed, roll_speed, pitch_speed};
constexpr std::initializer_list<int> kAccelerations = {lateral_accel, longitu_accel, vertica_accel};
constexpr std::initializer_list<int> kSpeeds = {lateral_speed, longitu_speed, vertica_speed};
constexpr std::initializer_list<int> kAngularAccelerations = {yaw_accel, roll_accel, pitch_accel};

const MotionSample kLap = LapMotion().at(23.7);

// ---- X-Plane ----

Datagram xplaneRecords(std::initializer_list<std::pair<int32_t, std::array<float, 8>>> records, size_t extra = 0) {
  Datagram d(5 + 36 * records.size() + extra);
  std::memcpy(d.bytes.data(), "DATA*", 5);
  size_t at = 5;
  for (const auto& [index, r] : records) {
    d.put<int32_t>(at, index);
    for (size_t i = 0; i < 8; ++i) d.put<float>(at + 4 + 4 * i, r[i]);
    at += 36;
  }
  return d;
}

TEST(XPlane, LapSample) {
  Datagram d;
  gamesim::xplane::encode(kLap, true, d.bytes);
  SampleRecord record;
  int32_t ground = 0;
  ASSERT_TRUE(decodeXPlane(d.view(), ground, record));
  splitGravity(record, Completion::Proper);
  expectChannels(record, kLap, kAttitude);
  expectChannels(record, kLap, kRates);
  expectChannels(record, kLap, kAccelerations);
  expectChannels(record, kLap, {speed});
  EXPECT_EQ(ground, 1);
}

TEST(XPlane, FortyOneBytesAreIgnored) {
  const Datagram d = xplaneRecords({{17, {1, 2, 3}}});  // exactly 41 bytes
  ASSERT_EQ(d.bytes.size(), 41u);
  SampleRecord record = filledRecord();
  const SampleRecord before = record;
  int32_t ground = 1;
  EXPECT_FALSE(decodeXPlane(d.view(), ground, record));
  EXPECT_TRUE(sameRecord(record, before));
  EXPECT_EQ(ground, 1);
  // One byte more: the record counts.
  EXPECT_TRUE(decodeXPlane(xplaneRecords({{17, {1, 2, 3}}}, 1).view(), ground, record));
  EXPECT_EQ(record.data[pitch_position], 1.0);
}

TEST(XPlane, AttitudeAndLoadRecords) {
  const Datagram d = xplaneRecords({{17, {4.5f, -3.0f, 120.0f}}, {135, {0.5f, 9.8f, -1.5f, 10.f, 20.f, 30.f}}});
  SampleRecord record = filledRecord();
  int32_t ground = 1;
  ASSERT_TRUE(decodeXPlane(d.view(), ground, record));
  EXPECT_EQ(record.data[pitch_position], 4.5);
  EXPECT_EQ(record.data[roll_position], -3.0);
  EXPECT_EQ(record.data[yaw_position], -120.0);
  EXPECT_EQ(record.data[lateral_accel_g], 0.5);
  EXPECT_DOUBLE_EQ(record.data[vertica_accel_g], 9.8f / 10.0);
  EXPECT_EQ(record.data[longitu_accel_g], 1.5);
  EXPECT_EQ(record.data[roll_speed], 10.0);
  EXPECT_EQ(record.data[pitch_speed], 20.0);
  EXPECT_EQ(record.data[yaw_speed], -30.0);
  EXPECT_EQ(record.data[speed], filledRecord().data[speed]);  // no record 3: untouched
  EXPECT_EQ(ground, 1);                   // no record 66: untouched
}

TEST(XPlane, IndexComparesItsLowestByteAnd127IsAttitudeToo) {
  SampleRecord record;
  int32_t ground = 0;
  ASSERT_TRUE(decodeXPlane(xplaneRecords({{0x7F00 + 17, {2, 0, 0}}, {3, {0, 0, 0, 0, 0, 0, 0, 55}}}).view(), ground,
                           record));
  EXPECT_EQ(record.data[pitch_position], 2.0);
  EXPECT_EQ(record.data[speed], 55.0);
  ASSERT_TRUE(decodeXPlane(xplaneRecords({{127, {6, 0, 0}}, {18, {9, 9, 9}}}).view(), ground, record));
  EXPECT_EQ(record.data[pitch_position], 6.0);
}

TEST(XPlane, GroundStateFromTheGearRecord) {
  struct Case {
    std::array<float, 8> gear;
    int32_t ground;
  };
  for (const Case& c : {Case{{0.1f, 0.2f, 0.3f}, 1}, Case{{0.1f, 0.2f, 0.0f}, 0}, Case{{0.0f, 0.2f, 0.3f}, 0},
                        Case{{0.1f, -0.2f, 0.3f}, 0}}) {
    SampleRecord record;
    int32_t ground = 1 - c.ground;
    ASSERT_TRUE(decodeXPlane(xplaneRecords({{66, c.gear}}, 1).view(), ground, record));
    EXPECT_EQ(ground, c.ground) << c.gear[0] << " " << c.gear[1] << " " << c.gear[2];
    EXPECT_EQ(record.data[fr_lft_susp_pos], c.gear[0]);
    EXPECT_EQ(record.data[fr_rgt_susp_pos], c.gear[0]);
    EXPECT_EQ(record.data[re_rgt_susp_pos], c.gear[1]);
    EXPECT_EQ(record.data[re_lft_susp_pos], c.gear[2]);
  }
}

TEST(XPlane, PartialRecordAtTheEndIsNotRead) {
  Datagram d = xplaneRecords({{17, {1, 2, 3}}}, 30);
  d.put<int32_t>(41, 3);  // a speeds record cut short: its r7 was never received
  SampleRecord record = filledRecord();
  int32_t ground = 0;
  ASSERT_TRUE(decodeXPlane(d.view(), ground, record));
  EXPECT_EQ(record.data[speed], filledRecord().data[speed]);
}

// ---- DCS ----

TEST(Dcs, LapSample) {
  Datagram d;
  gamesim::dcs::encode(kLap, d.bytes);
  SampleRecord record;
  record.gameTime = 20.0;
  ASSERT_TRUE(decodeDcs(d.view(), record));
  splitGravity(record, Completion::Proper);
  expectChannels(record, kLap, kAttitude);
  expectChannels(record, kLap, kRates);
  expectChannels(record, kLap, kAccelerations);
  expectChannels(record, kLap, kSpeeds);
  EXPECT_NEAR(record.gameTime, kLap.time, 1e-6);
  EXPECT_NEAR(record.gameDelta, (kLap.time - 20.0) * 1000.0, 1e-3);
}

TEST(Dcs, TokenRules) {
  struct Case {
    const char* text;
    double value;
    size_t consumed;
  };
  const Case cases[] = {
      {"1.500000 2", 1.5, 9},      {"-0.25000 x", -0.25, 9},   {"0.5 1.000000", 0.0, 0},
      {"abcdef 1.0", 0.0, 7},      {"nan123 1", 0.0, 7},       {"infinity 1", 0.0, 9},
      {"12345x 1", 12345.0, 7},    {"2.000000\n", 2.0, 9},     {"2.000000", 0.0, 0},
      {"3.000000;\x7f", 3.0, 10},  {"", 0.0, 0},               {" 1.000000", 0.0, 0},
      {"+4.00000 1", 4.0, 9},      {"\n5.00000 1", 5.0, 9},    {"1e9999999 1", 0.0, 10},
  };
  for (const Case& c : cases) {
    const char* begin = c.text;
    const char* cursor = begin;
    EXPECT_EQ(takeDcsValue(cursor, begin + std::strlen(c.text)), c.value) << '"' << c.text << '"';
    EXPECT_EQ(static_cast<size_t>(cursor - begin), c.consumed) << '"' << c.text << '"';
  }
}

TEST(Dcs, ShortTokenStallsEveryLaterValue) {
  SampleRecord record = filledRecord();
  ASSERT_TRUE(decodeDcs(Datagram("0.100000 0.5 0.300000 4.000000 5.000000\n").view(), record));
  EXPECT_DOUBLE_EQ(record.data[longitu_accel_g], 0.1 * kGravity);
  EXPECT_EQ(record.data[lateral_accel_g], 0.0);
  EXPECT_EQ(record.data[vertica_accel_g], 0.0);
  EXPECT_EQ(record.data[longitu_speed], 0.0);
  EXPECT_EQ(record.gameTime, 0.0);
  EXPECT_EQ(record.gameDelta, -7000.0);
}

TEST(Dcs, NonNumericLongTokenGivesZeroAndTheRestFollow) {
  SampleRecord record = filledRecord();
  ASSERT_TRUE(decodeDcs(Datagram("garbage! 0.200000 0.300000\n").view(), record));
  EXPECT_EQ(record.data[longitu_accel_g], 0.0);
  EXPECT_DOUBLE_EQ(record.data[lateral_accel_g], 0.2 * kGravity);
  EXPECT_DOUBLE_EQ(record.data[vertica_accel_g], 0.3 * kGravity);
}

TEST(Dcs, OneByteIsNothing) {
  SampleRecord record = filledRecord();
  const SampleRecord before = record;
  EXPECT_FALSE(decodeDcs(Datagram("1").view(), record));
  EXPECT_TRUE(sameRecord(record, before));
}

// ---- DiRT Rally 2 ----

TEST(DirtRally2, LapSampleAndItsGravity) {
  Datagram d;
  gamesim::dirt::encode(kLap, d.bytes);
  SampleRecord record = filledRecord();
  ASSERT_TRUE(decodeDirtRally2(d.view(), record));
  expectChannels(record, kLap, kAttitude);
  expectChannels(record, kLap, kRates);
  expectChannels(record, kLap, kAccelerations);
  expectChannels(record, kLap, kAngularAccelerations);
  EXPECT_EQ(record.data[lateral_speed], 0.0);
  EXPECT_EQ(record.gameTime, 0.0);
  EXPECT_EQ(record.gameDelta, -7000.0);
  splitDirtRally2Gravity(record);
  const double pitch = toRadians(record.data[pitch_position]);
  EXPECT_DOUBLE_EQ(record.data[longitu_gravi], -std::sin(pitch) * kGravity);
  EXPECT_DOUBLE_EQ(record.data[longitu_accel_g], record.data[longitu_gravi] + record.data[longitu_accel]);
  EXPECT_DOUBLE_EQ(record.data[vertica_accel_g], record.data[vertica_gravi] + record.data[vertica_accel]);
}

TEST(DirtRally2, OnlyNinetySixBytes) {
  Datagram d;
  gamesim::dirt::encode(kLap, d.bytes);
  for (size_t size : {0u, 2u, 95u, 97u, 264u}) {
    Datagram other = d;
    other.bytes.resize(size, 0x41);
    SampleRecord record = filledRecord();
    const SampleRecord before = record;
    EXPECT_FALSE(decodeDirtRally2(other.view(), record)) << size;
    EXPECT_TRUE(sameRecord(record, before)) << size;
  }
}

// ---- Condor 2 ----

std::string padded(std::string lines) { return lines + "\r\npadding line without an equals sign, skipped\r\n"; }

TEST(Condor2, LapSample) {
  Datagram d;
  gamesim::condor::encode(kLap, d.bytes);
  SampleRecord record;
  Condor2Values kept;
  ASSERT_TRUE(decodeCondor2(d.view(), kept, record));
  expectChannels(record, kLap, kAttitude);
  expectChannels(record, kLap, kRates);
  expectChannels(record, kLap, kAccelerations);
  expectChannels(record, kLap, kSpeeds);
  EXPECT_EQ(kept.flaps, gamesim::condor::kFlaps);
}

TEST(Condor2, OneLineChangesOneKey) {
  Datagram d;
  gamesim::condor::encode(kLap, d.bytes);
  SampleRecord record;
  Condor2Values kept;
  ASSERT_TRUE(decodeCondor2(d.view(), kept, record));
  const SampleRecord before = record;
  ASSERT_TRUE(decodeCondor2(Datagram(padded("pitch=0.1")).view(), kept, record));
  EXPECT_NEAR(record.data[pitch_position], toDegrees(0.1f), 1e-9);
  for (int i = 0; i < kGameDataCount; ++i)
    if (i != pitch_position) {
      EXPECT_EQ(record.data[i], before.data[i]) << channelName(i);
    }
}

TEST(Condor2, ValuesAndKeys) {
  Condor2Values kept;
  SampleRecord record;
  ASSERT_TRUE(decodeCondor2(
      Datagram(padded("flaps=2.7\nyaw=abc\nPitch=1\nbank=0.5=9\nmystery=4\nhudmessages=LOW ALT\nvx=  -3")).view(),
      kept, record));
  EXPECT_EQ(kept.flaps, 2);
  EXPECT_EQ(kept[CondorKey::yaw], 0.0f);
  EXPECT_EQ(kept[CondorKey::pitch], 0.0f);  // keys are case-sensitive
  EXPECT_EQ(kept[CondorKey::bank], 0.5f);   // split at the first '='
  EXPECT_STREQ(kept.hudMessages, "LOW ALT");
  EXPECT_EQ(kept[CondorKey::vx], -3.0f);
  EXPECT_EQ(record.data[yaw_position], -180.0);
}

TEST(Condor2, FlapsAndTextStayInRange) {
  Condor2Values kept;
  SampleRecord record;
  ASSERT_TRUE(decodeCondor2(Datagram(padded("flaps=-2.7")).view(), kept, record));
  EXPECT_EQ(kept.flaps, -2);
  ASSERT_TRUE(decodeCondor2(Datagram(padded("flaps=1e30")).view(), kept, record));
  EXPECT_EQ(kept.flaps, INT32_MAX);
  ASSERT_TRUE(decodeCondor2(Datagram(padded("ax=1e300")).view(), kept, record));
  EXPECT_EQ(kept[CondorKey::ax], 0.0f);  // beyond a float: not a number
  ASSERT_TRUE(decodeCondor2(Datagram(padded("hudmessages=" + std::string(1000, 'M'))).view(), kept, record));
  EXPECT_EQ(std::strlen(kept.hudMessages), sizeof kept.hudMessages - 1);
}

TEST(Condor2, FortyOneBytesAreIgnored) {
  Condor2Values kept;
  SampleRecord record = filledRecord();
  const SampleRecord before = record;
  const std::string text = "pitch=0.2\n" + std::string(31, 'x');
  ASSERT_EQ(text.size(), 41u);
  EXPECT_FALSE(decodeCondor2(Datagram(text).view(), kept, record));
  EXPECT_TRUE(sameRecord(record, before));
  EXPECT_EQ(kept[CondorKey::pitch], 0.0f);
}

// ---- F1 23/24 ----

TEST(F1, LapSample) {
  for (uint16_t format : {gamesim::f1::kFormat2023, gamesim::f1::kFormat2024}) {
    Datagram motion, extended;
    gamesim::f1::encodeMotion(kLap, format, gamesim::f1::kPlayerCar, motion.bytes);
    gamesim::f1::encodeExtendedMotion(kLap, format, extended.bytes);
    SampleRecord record;
    ASSERT_TRUE(decodeF1(motion.view(), record)) << format;
    ASSERT_TRUE(decodeF1(extended.view(), record)) << format;
    splitGravity(record, Completion::Proper);
    expectChannels(record, kLap, kAttitude);  // the rates: f1_rotation_rates_test
    expectChannels(record, kLap, kAccelerations);
  }
}

TEST(F1, NoPlayerIndexSelectsCarZero) {
  Datagram motion;
  gamesim::f1::encodeMotion(kLap, gamesim::f1::kFormat2024, kF1NoIndex, motion.bytes);
  SampleRecord record;
  ASSERT_TRUE(decodeF1(motion.view(), record));
  expectChannels(record, kLap, kAttitude);
}

// The seat follows the player's car (byte 27), never the second player's
// (byte 28); an index naming no car falls back to car 0.
TEST(F1, FollowsThePlayersCar) {
  struct Indexes {
    uint8_t player, secondPlayer;
    size_t expectedCar;
  };
  const gamesim::LapMotion lap;
  for (const Indexes c : {Indexes{gamesim::f1::kPlayerCar, 255, gamesim::f1::kPlayerCar},
                          Indexes{gamesim::f1::kPlayerCar, 7, gamesim::f1::kPlayerCar},
                          Indexes{7, gamesim::f1::kPlayerCar, 7}, Indexes{22, gamesim::f1::kPlayerCar, 0},
                          Indexes{255, gamesim::f1::kPlayerCar, 0}}) {
    SCOPED_TRACE(::testing::Message() << int{c.player} << "/" << int{c.secondPlayer});
    Datagram motion;
    gamesim::f1::encodeMotion(kLap, gamesim::f1::kFormat2023, gamesim::f1::kPlayerCar, motion.bytes);
    motion.put<uint8_t>(27, c.player).put<uint8_t>(28, c.secondPlayer);
    SampleRecord record;
    ASSERT_TRUE(decodeF1(motion.view(), record));
    // gamesim drives the lap with the player's car and the lap at other times with the others.
    const MotionSample expected =
        c.expectedCar == gamesim::f1::kPlayerCar ? kLap : lap.at(kLap.time + 2.5 * static_cast<double>(c.expectedCar + 1));
    expectChannels(record, expected, kAttitude);
  }
}

TEST(F1, IgnoredPackets) {
  Datagram motion, extended;
  gamesim::f1::encodeMotion(kLap, 2022, gamesim::f1::kPlayerCar, motion.bytes);
  gamesim::f1::encodeExtendedMotion(kLap, gamesim::f1::kFormat2024, extended.bytes);
  Datagram wrongLength = extended;
  wrongLength.bytes.push_back(0);
  for (const Datagram* d : {&motion, &wrongLength}) {
    SampleRecord record = filledRecord();
    const SampleRecord before = record;
    EXPECT_FALSE(decodeF1(d->view(), record)) << d->bytes.size();
    EXPECT_TRUE(sameRecord(record, before));
  }
}

// ---- WRC ----

MotionSample wrcSample(double yawDegrees, double rollDegrees, double pitchDegrees) {
  MotionSample m = kLap;
  m.yaw = yawDegrees * gamesim::kPi / 180.0;
  m.roll = rollDegrees * gamesim::kPi / 180.0;
  m.pitch = pitchDegrees * gamesim::kPi / 180.0;
  return m;
}

TEST(Wrc, LapSample) {
  Datagram d;
  gamesim::wrc::encode(kLap, d.bytes);
  SampleRecord record;
  WrcState state;
  ASSERT_TRUE(decodeWrc(d.view(), 2.0, state, record));
  expectChannels(record, kLap, kAttitude);
  expectChannels(record, kLap, kAccelerations);
  expectChannels(record, kLap, kSpeeds);
  EXPECT_EQ(record.data[yaw_speed], 0.0);  // no previous sample yet
  EXPECT_TRUE(state.hasPrevious);
  EXPECT_EQ(state.yaw, record.data[yaw_position]);
}

TEST(Wrc, RatesTakeTheShortWayRound) {
  Datagram first, second;
  gamesim::wrc::encode(wrcSample(179, 10, -5), first.bytes);
  gamesim::wrc::encode(wrcSample(-179, 11, -6), second.bytes);
  SampleRecord record;
  WrcState state;
  ASSERT_TRUE(decodeWrc(first.view(), 1e9, state, record));  // any first time frame
  ASSERT_TRUE(decodeWrc(second.view(), 10.0, state, record));
  EXPECT_NEAR(record.data[yaw_speed], 2.0 / 0.01, 0.05);
  EXPECT_NEAR(record.data[roll_speed], 1.0 / 0.01, 0.05);
  EXPECT_NEAR(record.data[pitch_speed], -1.0 / 0.01, 0.05);
}

TEST(Wrc, TimeStepsOutsideTheUsualRange) {
  struct Case {
    double timeFrameMs;
    double expectedRate;  // for one degree of yaw
  };
  for (const Case& c : {Case{20.0, 50.0}, Case{30.0, 1 / 0.03}, Case{31.0, 50.0}, Case{0.0, 0.0}, Case{-1.0, 0.0}}) {
    Datagram first, second;
    gamesim::wrc::encode(wrcSample(10, 0, 0), first.bytes);
    gamesim::wrc::encode(wrcSample(11, 0, 0), second.bytes);
    SampleRecord record;
    WrcState state;
    ASSERT_TRUE(decodeWrc(first.view(), c.timeFrameMs, state, record));
    ASSERT_TRUE(decodeWrc(second.view(), c.timeFrameMs, state, record));
    EXPECT_NEAR(record.data[yaw_speed], c.expectedRate, 0.01) << c.timeFrameMs;
    EXPECT_TRUE(std::isfinite(record.data[yaw_speed]));
  }
}

// The engine's cycle ran late, then on time: a sample 0.1 ms after the one
// before still holds one whole 2-ms game step of turn.
TEST(Wrc, AShortStepAfterUsualOnesKeepsTheRate) {
  SampleRecord record;
  WrcState state;
  for (int step = 0; step <= 20; ++step) {
    Datagram d;
    gamesim::wrc::encode(wrcSample(10 + 0.1 * step, 0, 0), d.bytes);  // 50 degrees per second
    ASSERT_TRUE(decodeWrc(d.view(), step == 20 ? 0.1 : 2.0, state, record));
    EXPECT_NEAR(record.data[yaw_speed], step == 0 ? 0.0 : 50.0, 0.5) << step;
  }
}

TEST(Wrc, ShortOrDirectionlessDatagramsAreIgnored) {
  Datagram d;
  gamesim::wrc::encode(kLap, d.bytes);
  Datagram shortOne = d, noC = d, nanA = d;
  shortOne.bytes.pop_back();
  for (size_t offset : {109u, 113u, 117u}) noC.put<float>(offset, 0.0f);
  nanA.put<float>(85, NAN);
  for (const Datagram* bad : {&shortOne, &noC, &nanA}) {
    SampleRecord record = filledRecord();
    const SampleRecord before = record;
    WrcState state;
    EXPECT_FALSE(decodeWrc(bad->view(), 2.0, state, record));
    EXPECT_TRUE(sameRecord(record, before));
    EXPECT_FALSE(state.hasPrevious);
  }
}

// ---- BeamNG ----

TEST(BeamNg, LapSampleWithItsAccelerationsWithoutGravity) {
  Datagram d;
  gamesim::beamng::encode(kLap, d.bytes);
  SampleRecord record = filledRecord();
  ASSERT_TRUE(decodeBeamNg(d.view(), record));
  expectChannels(record, kLap, kAttitude);
  expectChannels(record, kLap, kRates);
  expectChannels(record, kLap, kAccelerations);
  expectChannels(record, kLap, kSpeeds);
  expectChannels(record, kLap, kAngularAccelerations);
  splitGravity(record, Completion::Kinematic);
  EXPECT_DOUBLE_EQ(record.data[lateral_accel_g], record.data[lateral_accel] + record.data[lateral_gravi]);
}

TEST(BeamNg, OtherMagicOrTooShortIsIgnored) {
  Datagram d;
  gamesim::beamng::encode(kLap, d.bytes);
  Datagram other = d, shortOne = d;
  other.bytes[3] = '2';
  shortOne.bytes.resize(kBeamNgShortest - 1);
  for (const Datagram* bad : {&other, &shortOne}) {
    SampleRecord record = filledRecord();
    const SampleRecord before = record;
    EXPECT_FALSE(decodeBeamNg(bad->view(), record));
    EXPECT_TRUE(sameRecord(record, before));
  }
}

// ---- Live for Speed ----

TEST(Lfs, LapSample) {
  Datagram d;
  gamesim::lfs::encode(kLap, d.bytes);
  SampleRecord record;
  ASSERT_TRUE(decodeLfs(d.view(), record));
  expectChannels(record, kLap, kAttitude);
  expectChannels(record, kLap, kRates);
  expectChannels(record, kLap, kAccelerations);
}

TEST(Lfs, ShortOrForeignIsIgnored) {
  Datagram d;
  gamesim::lfs::encode(kLap, d.bytes);
  Datagram shortOne = d, foreign = d;
  shortOne.bytes.resize(200);
  foreign.bytes[3] = 'X';
  for (const Datagram* bad : {&shortOne, &foreign}) {
    SampleRecord record = filledRecord();
    const SampleRecord before = record;
    EXPECT_FALSE(decodeLfs(bad->view(), record));
    EXPECT_TRUE(sameRecord(record, before));
  }
}

}  // namespace
}  // namespace portrelay::readers
