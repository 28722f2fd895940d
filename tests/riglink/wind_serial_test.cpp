// The fan controller: on a scripted serial device, the 0x00 bytes, frame
// formats, failed starts, buffer replacement, pause and pace; on a virtual fan
// behind a real serial port, the whole way to the far end, and the engine's
// own fan as initWindSerial configures it.
#include <gtest/gtest.h>

#include <chrono>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <thread>

#include "engine/motion_engine.h"
#include "fan_fixture.h"
#include "platform/serial_device.h"
#include "portrelay/wind_serial.h"
#include "riglink/link_fixture.h"
#include "support/fake_serial_device.h"
#include "tools/platform/fake_platform.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;
using testing::FakeSerialDevice;
using testing::FakeSerialLine;
using testing::FanOnComPort;
using testing::valuesOf;
using testing::waitUntil;
using Bytes = std::vector<uint8_t>;

constexpr int kBaud = 115200;

// A fan on a scripted device. init() checks that the port's name exists:
// natively the simulated COM port stands on an existing folder; under Wine the
// name is the fan's mapped port.
class WindSerialFake : public ::testing::Test {
 protected:
  void TearDown() override { fan.stop(); }
  bool init(const std::string& format = "8N1", unsigned interval = 15) {
    return fan.init(FanOnComPort::name(), kBaud, format, interval);
  }
  // Waits until the device took `count` bytes, then returns all it took.
  Bytes taken(size_t count, int limitMs = 3000) {
    waitUntil([&] { return line->taken().size() >= count; }, std::chrono::milliseconds(limitMs));
    return line->taken();
  }

  platform::ScopedPlatform ports{platform::FakePlatform().withComPorts(
      {{FanOnComPort::kComNumber, std::filesystem::temp_directory_path().string(), "Fan controller", {}}})};
  std::shared_ptr<FakeSerialLine> line = std::make_shared<FakeSerialLine>(FanOnComPort::kComNumber);
  WindSerial fan{std::make_unique<FakeSerialDevice>(line)};
};

struct FormatCase {
  const char* name;
  const char* format;
  bool accepted;
  uint8_t dataBits;
  platform::Parity parity;
  platform::StopBits stopBits;
};

class FrameFormat : public WindSerialFake, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(FrameFormat, SetsTheLineOrFailsTheStart) {
  const FormatCase& c = GetParam();
  ASSERT_TRUE(init(c.format));  // the format is checked when the port opens
  fan.start();
  EXPECT_EQ(fan.isRunning(), c.accepted);
  EXPECT_EQ(fan.failedStartCount(), c.accepted ? 0 : 1);
  if (!c.accepted) {
    EXPECT_TRUE(line->writeCalls().empty());  // nothing written
    return;
  }
  EXPECT_EQ(taken(1), Bytes({0}));
  const platform::SerialLineSettings settings = line->lineSettings();
  EXPECT_EQ(settings.baudRate, static_cast<uint32_t>(kBaud));
  EXPECT_EQ(settings.dataBits, c.dataBits);
  EXPECT_EQ(settings.parity, c.parity);
  EXPECT_EQ(settings.stopBits, c.stopBits);
}

using platform::Parity;
using platform::StopBits;
INSTANTIATE_TEST_SUITE_P(
    Formats, FrameFormat,
    ::testing::Values(FormatCase{"EightNoneOne", "8N1", true, 8, Parity::none, StopBits::one},
                      FormatCase{"SevenEvenTwo", "7e2", true, 7, Parity::even, StopBits::two},
                      FormatCase{"EightOddOne", "8O1", true, 8, Parity::odd, StopBits::one},
                      FormatCase{"FiveOddOne", "5o1", true, 5, Parity::odd, StopBits::one},
                      FormatCase{"UnknownParity", "8X1", false, 0, Parity::none, StopBits::one},
                      FormatCase{"FourCharacters", "8N1 ", false, 0, Parity::none, StopBits::one},
                      FormatCase{"UnknownStopBits", "8N3", false, 0, Parity::none, StopBits::one},
                      FormatCase{"Empty", "", false, 0, Parity::none, StopBits::one}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST_F(WindSerialFake, ThreeFailedStartsBlockUntilStop) {
  ASSERT_TRUE(init("8X1"));
  for (int attempt = 1; attempt <= 3; ++attempt) {
    fan.start();
    EXPECT_EQ(fan.failedStartCount(), attempt);
  }
  fan.start();  // the fourth does not even try
  EXPECT_EQ(fan.failedStartCount(), 3);
  EXPECT_EQ(line->opens(), 3u);
  fan.stop();
  EXPECT_EQ(fan.failedStartCount(), 0);
  fan.start();
  EXPECT_EQ(fan.failedStartCount(), 1);
  // A new init resets the count too, and a good format starts.
  ASSERT_TRUE(init("8N1"));
  EXPECT_EQ(fan.failedStartCount(), 0);
  fan.start();
  EXPECT_TRUE(fan.isRunning());
  EXPECT_EQ(taken(1), Bytes({0}));
}

struct DeviceFaultCase {
  const char* name;
  void (*fault)(FakeSerialLine&);
  void (*mend)(FakeSerialLine&);
};

class DeviceFault : public WindSerialFake, public ::testing::WithParamInterface<DeviceFaultCase> {};

// A start counts as failed unless the device opened and took the first 0x00;
// once the device is mended the next start runs.
TEST_P(DeviceFault, FailsTheStartUntilMended) {
  const DeviceFaultCase& c = GetParam();
  ASSERT_TRUE(init());
  c.fault(*line);
  fan.start();
  EXPECT_FALSE(fan.isRunning());
  EXPECT_EQ(fan.failedStartCount(), 1);
  EXPECT_TRUE(line->taken().empty());
  c.mend(*line);
  fan.start();
  EXPECT_TRUE(fan.isRunning());
  EXPECT_EQ(taken(1), Bytes({0}));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DeviceFault,
    ::testing::Values(
        DeviceFaultCase{"Unplugged", [](FakeSerialLine& l) { l.unplug(); }, [](FakeSerialLine& l) { l.replug(); }},
        DeviceFaultCase{"Stalled", [](FakeSerialLine& l) { l.stall(true); },
                        [](FakeSerialLine& l) { l.stall(false); }}),
    [](const ::testing::TestParamInfo<DeviceFaultCase>& info) { return std::string(info.param.name); });

TEST_F(WindSerialFake, InitWithUnknownNameFailsButKeepsTheInterval) {
  ASSERT_TRUE(init("8N1", 1000));
  fan.start();
  ASSERT_TRUE(fan.isRunning());
  EXPECT_FALSE(fan.init("COM" + std::to_string(FanOnComPort::kMissingComNumber), kBaud, "8N1", 10));
  EXPECT_FALSE(fan.isInit());
  EXPECT_TRUE(fan.isRunning());  // the running sender goes on, at the new pace
  fan.updateBuffer({1, 2, 3, 4, 5});
  EXPECT_EQ(taken(6), Bytes({0, 1, 2, 3, 4, 5}));
  const std::vector<int64_t> times = line->writeTimesNs();
  ASSERT_EQ(times.size(), 6u);
  EXPECT_LT(times[5] - times[2], 400'000'000);  // three steps, far below 3 x 1000 ms
  // Stopped and no longer initialised, it does not start again.
  fan.stop();
  fan.start();
  EXPECT_FALSE(fan.isRunning());
}

// A long pause between bytes never holds up pause() or stop().
TEST_F(WindSerialFake, PauseAndStopEndTheSendersWaitAtOnce) {
  ASSERT_TRUE(init("8N1", 5000));
  fan.start();
  ASSERT_EQ(taken(1), Bytes({0}));
  std::this_thread::sleep_for(50ms);  // the sender is in its first wait
  const auto begin = std::chrono::steady_clock::now();
  fan.pause();
  std::this_thread::sleep_for(20ms);
  fan.stop();  // joins the sender, which would otherwise wait 5 s
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
  EXPECT_FALSE(fan.isRunning());
  EXPECT_EQ(line->taken(), Bytes({0, 0, 0}));
}

TEST_F(WindSerialFake, UpdateBufferReplacesPendingBytes) {
  constexpr unsigned kIntervalMs = 250;
  ASSERT_TRUE(init("8N1", kIntervalMs));
  fan.start();
  ASSERT_EQ(taken(1), Bytes({0}));
  std::this_thread::sleep_for(50ms);  // the sender is in its first pause
  fan.updateBuffer({1, 2});
  fan.updateBuffer({3, 4, 5});
  EXPECT_EQ(taken(4), Bytes({0, 3, 4, 5}));
  std::this_thread::sleep_for(std::chrono::milliseconds(2 * kIntervalMs));
  ASSERT_EQ(line->taken(), Bytes({0, 3, 4, 5}));
  // One byte per step.
  const std::vector<int64_t> times = line->writeTimesNs();
  for (size_t i = 2; i < times.size(); ++i)
    EXPECT_GT(times[i] - times[i - 1], (kIntervalMs - 50) * 1'000'000LL) << i;
}

TEST_F(WindSerialFake, PausedBytesAreConsumedButNotWritten) {
  ASSERT_TRUE(init("8N1", 20));
  fan.start();
  fan.pause();
  ASSERT_EQ(taken(2), Bytes({0, 0}));
  fan.updateBuffer({9, 9, 9});
  std::this_thread::sleep_for(300ms);  // 15 steps: all three taken
  EXPECT_EQ(line->writeCalls().size(), 2u);
  fan.unpause();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(line->taken(), Bytes({0, 0}));  // nothing left to send
  fan.updateBuffer({7});
  EXPECT_EQ(taken(3), Bytes({0, 0, 7}));
}

TEST_F(WindSerialFake, IntervalZeroSendsWithoutPausing) {
  ASSERT_TRUE(init("8N1", 0));
  fan.start();
  ASSERT_EQ(taken(1), Bytes({0}));
  Bytes burst;
  for (int i = 1; i <= 200; ++i) burst.push_back(static_cast<uint8_t>(i));
  const auto begin = std::chrono::steady_clock::now();
  fan.updateBuffer(burst);
  Bytes expected{0};
  expected.insert(expected.end(), burst.begin(), burst.end());
  EXPECT_EQ(taken(201), expected);
  const std::vector<int64_t> times = line->writeTimesNs();
  ASSERT_EQ(times.size(), 201u);
  const int64_t beginNs =
      std::chrono::duration_cast<std::chrono::nanoseconds>(begin.time_since_epoch()).count();
  EXPECT_LT(times.back() - beginNs, 1'000'000'000);  // 200 steps of 15 ms would take 3 s
}

// However busy the sender, the last byte after pause or stop is the 0x00,
// from the moment the call returns.
TEST_F(WindSerialFake, NoSpeedByteFollowsTheZeroOfPauseOrStop) {
  ASSERT_TRUE(init("8N1", 0));
  const Bytes speeds(64, 0xC8);
  for (int round = 0; round < 20; ++round) {
    fan.start();
    ASSERT_TRUE(fan.isRunning());
    fan.updateBuffer(speeds);
    std::this_thread::sleep_for(std::chrono::microseconds(100 * round));
    if (round % 2 == 0) {
      fan.pause();
    } else {
      fan.stop();
    }
    const size_t atReturn = line->taken().size();
    ASSERT_EQ(line->taken().back(), 0) << "round " << round;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(line->taken().size(), atReturn) << "round " << round;
    fan.stop();
  }
}

// The whole way on a real serial port: the virtual fan behind it sees the
// 0x00 of start, pause and stop, and the line's speed and stop bits (a
// pseudo-terminal keeps no data bits or parity).
class WindSerialPort : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sink.started()); }
  void TearDown() override { fan.stop(); }
  // Waits until the sink holds `count` bytes, then returns their values.
  Bytes received(size_t count, int limitMs = 3000) {
    waitUntil([&] { return sink.fan.bytes().size() >= count; }, std::chrono::milliseconds(limitMs));
    return valuesOf(sink.fan.bytes());
  }

  FanOnComPort sink;
  platform::ScopedPlatform ports{platform::FakePlatform().withComPorts({sink.comPort()})};
  WindSerial fan;
};

TEST_F(WindSerialPort, ZeroOnStartPauseAndStop) {
  ASSERT_TRUE(fan.init(FanOnComPort::name(), kBaud, "7e2", 15));
  EXPECT_TRUE(fan.isInit());
  fan.start();
  EXPECT_TRUE(fan.isRunning());
  EXPECT_EQ(received(1), Bytes({0}));
  const rigsim::FanLine line = sink.fan.line();
  EXPECT_EQ(line.stopBits, 2);
  EXPECT_EQ(line.baudRate, static_cast<uint32_t>(kBaud));
  fan.pause();
  EXPECT_EQ(received(2), Bytes({0, 0}));
  fan.stop();
  EXPECT_FALSE(fan.isRunning());
  EXPECT_EQ(received(3), Bytes({0, 0, 0}));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(sink.fan.bytes().size(), 3u);
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

}  // namespace
}  // namespace portrelay
