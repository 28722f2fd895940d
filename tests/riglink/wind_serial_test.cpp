// The fan controller against a virtual fan on a serial port: the 0x00 bytes,
// frame formats, failed starts, buffer replacement, pause and pace.
#include <gtest/gtest.h>

#include <chrono>
#include <cwchar>
#include <optional>
#include <thread>

#include "engine/motion_engine.h"
#include "fan_fixture.h"
#include "portrelay/wind_serial.h"
#include "riglink/link_fixture.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;
using testing::FanOnComPort;
using testing::valuesOf;
using testing::waitUntil;
using Bytes = std::vector<uint8_t>;

constexpr int kBaud = 115200;

class WindSerialPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sink.started());
    platform::overrideComPorts(std::vector<platform::SimulatedComPort>{sink.comPort()});
  }
  void TearDown() override {
    fan.stop();
    platform::overrideComPorts(std::nullopt);
  }
  bool init(const std::string& format = "8N1", unsigned interval = 15) {
    return fan.init(FanOnComPort::name(), kBaud, format, interval);
  }
  // Waits until the sink holds `count` bytes, then returns their values.
  Bytes received(size_t count, int limitMs = 3000) {
    waitUntil([&] { return sink.fan.bytes().size() >= count; }, std::chrono::milliseconds(limitMs));
    return valuesOf(sink.fan.bytes());
  }

  FanOnComPort sink;
  WindSerial fan;
};

TEST_F(WindSerialPort, ZeroOnStartPauseAndStop) {
  ASSERT_TRUE(init());
  EXPECT_TRUE(fan.isInit());
  fan.start();
  EXPECT_TRUE(fan.isRunning());
  EXPECT_EQ(received(1), Bytes({0}));
  fan.pause();
  EXPECT_EQ(received(2), Bytes({0, 0}));
  fan.stop();
  EXPECT_FALSE(fan.isRunning());
  EXPECT_EQ(received(3), Bytes({0, 0, 0}));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(sink.fan.bytes().size(), 3u);
}

struct FormatCase {
  const char* name;
  const char* format;
  bool accepted;
  int stopBits;
};

class FrameFormat : public WindSerialPort, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(FrameFormat, SetsTheLineOrFailsTheStart) {
  const FormatCase& c = GetParam();
  ASSERT_TRUE(init(c.format));  // the format is checked when the port opens
  fan.start();
  EXPECT_EQ(fan.isRunning(), c.accepted);
  EXPECT_EQ(fan.failedStartCount(), c.accepted ? 0 : 1);
  if (!c.accepted) {
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(sink.fan.bytes().empty());  // nothing written
    return;
  }
  EXPECT_EQ(received(1), Bytes({0}));
  // A pseudo-terminal keeps the stop bits and the speed (not data bits and parity).
  const rigsim::FanLine line = sink.fan.line();
  EXPECT_EQ(line.stopBits, c.stopBits);
  EXPECT_EQ(line.baudRate, static_cast<uint32_t>(kBaud));
}

INSTANTIATE_TEST_SUITE_P(Formats, FrameFormat,
                         ::testing::Values(FormatCase{"EightNoneOne", "8N1", true, 1},
                                           FormatCase{"SevenEvenTwo", "7e2", true, 2},
                                           FormatCase{"EightOddOne", "8O1", true, 1},
                                           FormatCase{"UnknownParity", "8X1", false, 0},
                                           FormatCase{"FourCharacters", "8N1 ", false, 0},
                                           FormatCase{"UnknownStopBits", "8N3", false, 0},
                                           FormatCase{"Empty", "", false, 0}),
                         [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST_F(WindSerialPort, ThreeFailedStartsBlockUntilStop) {
  ASSERT_TRUE(init("8X1"));
  for (int attempt = 1; attempt <= 3; ++attempt) {
    fan.start();
    EXPECT_EQ(fan.failedStartCount(), attempt);
  }
  fan.start();  // the fourth does not even try
  EXPECT_EQ(fan.failedStartCount(), 3);
  fan.stop();
  EXPECT_EQ(fan.failedStartCount(), 0);
  fan.start();
  EXPECT_EQ(fan.failedStartCount(), 1);
  // A new init resets the count too, and a good format starts.
  ASSERT_TRUE(init("8N1"));
  EXPECT_EQ(fan.failedStartCount(), 0);
  fan.start();
  EXPECT_TRUE(fan.isRunning());
  EXPECT_EQ(received(1), Bytes({0}));
}

TEST_F(WindSerialPort, InitWithUnknownNameFailsButKeepsTheInterval) {
  ASSERT_TRUE(init("8N1", 1000));
  fan.start();
  ASSERT_TRUE(fan.isRunning());
  EXPECT_FALSE(fan.init("COM" + std::to_string(FanOnComPort::kMissingComNumber), kBaud, "8N1", 10));
  EXPECT_FALSE(fan.isInit());
  EXPECT_TRUE(fan.isRunning());  // the running sender goes on, at the new pace
  fan.updateBuffer({1, 2, 3, 4, 5});
  const Bytes values = received(6);
  EXPECT_EQ(values, Bytes({0, 1, 2, 3, 4, 5}));
  const auto bytes = sink.fan.bytes();
  ASSERT_EQ(bytes.size(), 6u);
  EXPECT_LT(bytes[5].arrivalNs - bytes[2].arrivalNs, 400'000'000);  // three steps, far below 3 x 1000 ms
  // Stopped and no longer initialised, it does not start again.
  fan.stop();
  fan.start();
  EXPECT_FALSE(fan.isRunning());
}

// A long pause between bytes never holds up pause() or stop().
TEST_F(WindSerialPort, PauseAndStopEndTheSendersWaitAtOnce) {
  ASSERT_TRUE(init("8N1", 5000));
  fan.start();
  ASSERT_EQ(received(1), Bytes({0}));
  std::this_thread::sleep_for(50ms);  // the sender is in its first wait
  const auto begin = std::chrono::steady_clock::now();
  fan.pause();
  std::this_thread::sleep_for(20ms);
  fan.stop();  // joins the sender, which would otherwise wait 5 s
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
  EXPECT_FALSE(fan.isRunning());
  EXPECT_EQ(received(3), Bytes({0, 0, 0}));
}

struct FanSettingsCase {
  const char* name;
  const wchar_t* port;  // nullptr: a null pointer; L"*": the fan's own port
  int32_t baud;
  const wchar_t* format;
  int32_t intervalMs;
  int32_t result;
};

class FanSettings : public WindSerialPort, public ::testing::WithParamInterface<FanSettingsCase> {};

// initWindSerial refuses what the fan cannot run with and leaves the engine's
// fan as the last accepted call configured it.
TEST_P(FanSettings, InitWindSerialAcceptsOnlyUsableSettings) {
  const FanSettingsCase& c = GetParam();
  WindSerial& engineFan = MotionEngine::instance().fan();
  std::wstring ownPort;
  for (char ch : FanOnComPort::name()) ownPort += static_cast<wchar_t>(ch);
  ASSERT_EQ(initWindSerial(ownPort.c_str(), kBaud, L"8N1", 15), 1);
  ASSERT_TRUE(engineFan.isInit());
  const wchar_t* port = c.port != nullptr && std::wcscmp(c.port, L"*") == 0 ? ownPort.c_str() : c.port;
  EXPECT_EQ(initWindSerial(port, c.baud, c.format, c.intervalMs), c.result);
  if (c.result == 0) {
    EXPECT_TRUE(engineFan.isInit()) << "a refused call changes nothing";
  } else {  // the accepted settings run the fan: its start writes 0 first
    engineFan.start();
    EXPECT_TRUE(engineFan.isRunning());
    // The process-wide fan may still hold speeds an earlier test's engine gave
    // it, which its sender writes right after that 0.
    const Bytes bytes = received(1);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.front(), 0);
  }
  engineFan.stop();
}

INSTANTIATE_TEST_SUITE_P(
    Table, FanSettings,
    ::testing::Values(FanSettingsCase{"Usable", L"*", kBaud, L"8N1", 15, 1},
                      FanSettingsCase{"ShortestInterval", L"*", kBaud, L"7e2", 1, 1},
                      FanSettingsCase{"LongestInterval", L"*", kBaud, L"5o1", 1000, 1},
                      FanSettingsCase{"NullPortName", nullptr, kBaud, L"8N1", 15, 0},
                      FanSettingsCase{"EmptyPortName", L"", kBaud, L"8N1", 15, 0},
                      FanSettingsCase{"ZeroBaud", L"*", 0, L"8N1", 15, 0},
                      FanSettingsCase{"NegativeBaud", L"*", -9600, L"8N1", 15, 0},
                      FanSettingsCase{"ZeroInterval", L"*", kBaud, L"8N1", 0, 0},
                      FanSettingsCase{"NegativeInterval", L"*", kBaud, L"8N1", -1, 0},
                      FanSettingsCase{"IntervalOverASecond", L"*", kBaud, L"8N1", 1001, 0},
                      FanSettingsCase{"NullFormat", L"*", kBaud, nullptr, 15, 0},
                      FanSettingsCase{"EmptyFormat", L"*", kBaud, L"", 15, 0},
                      FanSettingsCase{"UnknownParity", L"*", kBaud, L"8X1", 15, 0},
                      FanSettingsCase{"NineDataBits", L"*", kBaud, L"9N1", 15, 0},
                      FanSettingsCase{"FourDataBits", L"*", kBaud, L"4N1", 15, 0},
                      FanSettingsCase{"UnknownStopBits", L"*", kBaud, L"8N3", 15, 0},
                      FanSettingsCase{"FourCharacters", L"*", kBaud, L"8N1 ", 15, 0}),
    [](const ::testing::TestParamInfo<FanSettingsCase>& info) { return std::string(info.param.name); });

TEST_F(WindSerialPort, UpdateBufferReplacesPendingBytes) {
  constexpr unsigned kIntervalMs = 250;
  ASSERT_TRUE(init("8N1", kIntervalMs));
  fan.start();
  ASSERT_EQ(received(1), Bytes({0}));
  std::this_thread::sleep_for(50ms);  // the sender is in its first pause
  fan.updateBuffer({1, 2});
  fan.updateBuffer({3, 4, 5});
  EXPECT_EQ(received(4), Bytes({0, 3, 4, 5}));
  std::this_thread::sleep_for(std::chrono::milliseconds(2 * kIntervalMs));
  const auto bytes = sink.fan.bytes();
  ASSERT_EQ(valuesOf(bytes), Bytes({0, 3, 4, 5}));
  // One byte per step.
  for (size_t i = 2; i < bytes.size(); ++i)
    EXPECT_GT(bytes[i].arrivalNs - bytes[i - 1].arrivalNs, (kIntervalMs - 50) * 1'000'000LL) << i;
}

TEST_F(WindSerialPort, PausedBytesAreConsumedButNotWritten) {
  ASSERT_TRUE(init("8N1", 20));
  fan.start();
  fan.pause();
  ASSERT_EQ(received(2), Bytes({0, 0}));
  fan.updateBuffer({9, 9, 9});
  std::this_thread::sleep_for(300ms);  // 15 steps: all three taken
  EXPECT_EQ(valuesOf(sink.fan.bytes()), Bytes({0, 0}));
  fan.unpause();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(valuesOf(sink.fan.bytes()), Bytes({0, 0}));  // nothing left to send
  fan.updateBuffer({7});
  EXPECT_EQ(received(3), Bytes({0, 0, 7}));
}

TEST_F(WindSerialPort, IntervalZeroSendsWithoutPausing) {
  ASSERT_TRUE(init("8N1", 0));
  fan.start();
  ASSERT_EQ(received(1), Bytes({0}));
  Bytes burst;
  for (int i = 1; i <= 200; ++i) burst.push_back(static_cast<uint8_t>(i));
  const int64_t begin = rigsim::monotonicNs() + sink.fan.clockOffsetNs();
  fan.updateBuffer(burst);
  Bytes expected{0};
  expected.insert(expected.end(), burst.begin(), burst.end());
  EXPECT_EQ(received(201), expected);
  const auto bytes = sink.fan.bytes();
  ASSERT_EQ(bytes.size(), 201u);
  EXPECT_LT(bytes.back().arrivalNs - begin, 1'000'000'000);  // 200 steps of 15 ms would take 3 s
}

// However busy the sender, the last byte after pause or stop is the 0x00.
TEST_F(WindSerialPort, NoSpeedByteFollowsTheZeroOfPauseOrStop) {
  ASSERT_TRUE(init("8N1", 0));
  const Bytes speeds(64, 0xC8);
  for (int round = 0; round < 10; ++round) {
    fan.start();
    ASSERT_TRUE(fan.isRunning());
    fan.updateBuffer(speeds);
    std::this_thread::sleep_for(2ms);
    if (round % 2 == 0) {
      fan.pause();
    } else {
      fan.stop();
    }
    std::this_thread::sleep_for(100ms);
    const auto bytes = sink.fan.bytes();
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back().value, 0) << "round " << round;
    fan.stop();
    sink.fan.reset();
  }
}

}  // namespace
}  // namespace portrelay
