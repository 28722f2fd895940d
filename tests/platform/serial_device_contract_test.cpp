// One contract for every serial device: the platform's backend on the virtual
// rig's port (a pseudo-terminal natively, the Win32 COM port under Wine) and
// the scripted fake the rig-link unit tests use.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial_device.h"
#include "riglink/link_fixture.h"
#include "support/fake_serial_device.h"

namespace portrelay {
namespace {

using testing::bytesOf;
using testing::waitUntil;

// A device together with whatever sits at its far end.
class DeviceUnderTest {
 public:
  virtual ~DeviceUnderTest() = default;
  virtual bool ready() = 0;
  virtual int comNumber() = 0;
  virtual platform::SerialDevice& device() = 0;
  // Bytes from the far end, as a rig sends them.
  virtual bool farEndSends(const std::vector<uint8_t>& bytes) = 0;
  // Whether the far end has received this frame.
  virtual bool farEndReceived(const std::vector<uint8_t>& frame) = 0;
  virtual void unplug() = 0;
};

// The platform's device on the virtual rig's COM port. The rig answers frames
// of class 0x10 and up with an echo; it logs every short frame it receives.
class PlatformDevice final : public DeviceUnderTest {
 public:
  bool ready() override { return rig_.started(); }
  int comNumber() override { return testing::RigOnComPort::kComNumber; }
  platform::SerialDevice& device() override { return *device_; }
  bool farEndSends(const std::vector<uint8_t>& bytes) override { return rig_.rig.sendToHost(bytes); }
  bool farEndReceived(const std::vector<uint8_t>& frame) override {
    for (const rigsim::ReceivedFrame& f : rig_.rig.frames())
      if (f.bytes == frame) return true;
    return false;
  }
  void unplug() override { rig_.rig.unplug(); }

 private:
  testing::RigOnComPort rig_;
  std::unique_ptr<platform::SerialDevice> device_ = platform::createSerialDevice();
};

class FakeDevice final : public DeviceUnderTest {
 public:
  bool ready() override { return true; }
  int comNumber() override { return line_->comNumber(); }
  platform::SerialDevice& device() override { return device_; }
  bool farEndSends(const std::vector<uint8_t>& bytes) override {
    line_->deliver(bytes);
    return true;
  }
  bool farEndReceived(const std::vector<uint8_t>& frame) override {
    const std::vector<uint8_t> taken = line_->taken();
    return std::search(taken.begin(), taken.end(), frame.begin(), frame.end()) != taken.end();
  }
  void unplug() override { line_->unplug(); }

 private:
  std::shared_ptr<testing::FakeSerialLine> line_ = std::make_shared<testing::FakeSerialLine>(7);
  testing::FakeSerialDevice device_{line_};
};

// A COM number no backend here maps to a device.
constexpr int kNoSuchPort = 250;

struct Backend {
  const char* name;
  std::function<std::unique_ptr<DeviceUnderTest>()> make;
};

void PrintTo(const Backend& backend, std::ostream* out) { *out << backend.name; }

class SerialDeviceContract : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    subject_ = GetParam().make();
    ASSERT_TRUE(subject_->ready());
    ASSERT_TRUE(device().open(subject_->comNumber())) << platform::lastSystemError();
    platform::SerialLineSettings rig;
    rig.baudRate = 250000;
    ASSERT_TRUE(device().applyLineSettings(rig)) << platform::lastSystemError();
  }
  platform::SerialDevice& device() { return subject_->device(); }
  // Bytes waiting to be read (0 when the device fails).
  uint32_t waiting() {
    platform::SerialQueueStatus status;
    return device().clearError(&status) ? status.bytesIn : 0;
  }

  std::unique_ptr<DeviceUnderTest> subject_;
};

TEST_P(SerialDeviceContract, LineSettingsAndTimeoutsReadBack) {
  platform::SerialLineSettings line;
  ASSERT_TRUE(device().readLineSettings(line));
  EXPECT_EQ(line.dataBits, 8);
  EXPECT_EQ(line.parity, platform::Parity::none);
  EXPECT_EQ(line.stopBits, platform::StopBits::one);
  EXPECT_FALSE(line.ctsOutputFlow);
  EXPECT_FALSE(line.xonXoffInput);
  const platform::SerialTimeouts set{0, 0, 250, 0, 10};
  ASSERT_TRUE(device().writeTimeouts(set));
  platform::SerialTimeouts got;
  ASSERT_TRUE(device().readTimeouts(got));
  EXPECT_EQ(got.readTotalConstant, 250u);
  EXPECT_EQ(got.writeTotalConstant, 10u);
  EXPECT_TRUE(device().setQueueSizes(5120, 5120));
  uint32_t modem = 0;
  EXPECT_TRUE(device().modemStatus(modem));
}

// A frame out whole; the far end's bytes in, counted, read, and purged.
TEST_P(SerialDeviceContract, BytesBothWays) {
  ASSERT_TRUE(device().writeTimeouts({0, 0, 1000, 0, 1000}));
  const auto frame = bytesOf({0xF9, 0xF9, 0x05, 0x00, 0x01, 0x02, 0x0A, 0x0D});
  uint32_t written = 0;
  ASSERT_TRUE(device().write(frame.data(), static_cast<uint32_t>(frame.size()), written));
  EXPECT_EQ(written, frame.size());
  EXPECT_TRUE(waitUntil([&] { return subject_->farEndReceived(frame); }, std::chrono::milliseconds(2000)));

  const auto answer = bytesOf({0xF9, 0xF9, 0x06, 0x00, 0x03, 0x04, 0x0A, 0x0D});
  ASSERT_TRUE(subject_->farEndSends(answer));
  ASSERT_TRUE(waitUntil([&] { return waiting() >= answer.size(); }, std::chrono::milliseconds(2000)));
  std::vector<uint8_t> read(answer.size());
  uint32_t got = 0;
  ASSERT_TRUE(device().read(read.data(), static_cast<uint32_t>(read.size()), got));
  EXPECT_EQ(got, answer.size());
  EXPECT_EQ(read, answer);
  EXPECT_EQ(waiting(), 0u);

  ASSERT_TRUE(subject_->farEndSends(answer));
  ASSERT_TRUE(waitUntil([&] { return waiting() >= answer.size(); }, std::chrono::milliseconds(2000)));
  ASSERT_TRUE(device().purge(platform::kPurgeRxClear));
  EXPECT_EQ(waiting(), 0u);
}

// Closed, or with its far end gone, a device fails rather than pretending.
TEST_P(SerialDeviceContract, FailsWhenClosedOrGone) {
  subject_->unplug();
  // Gone: the next status query or write fails (which of them notices first
  // is the driver's business).
  const auto frame = bytesOf({0xF9, 0xF9, 0x05, 0x00, 0x00, 0x00, 0x0A, 0x0D});
  EXPECT_TRUE(waitUntil([&] {
    platform::SerialQueueStatus status;
    uint32_t written = 0;
    return !device().clearError(&status) ||
           !device().write(frame.data(), static_cast<uint32_t>(frame.size()), written);
  }, std::chrono::milliseconds(2000)));
  device().close();
  EXPECT_FALSE(device().isOpen());
  uint8_t byte = 0;
  uint32_t count = 0;
  platform::SerialQueueStatus status;
  platform::SerialLineSettings line;
  EXPECT_FALSE(device().write(&byte, 1, count));
  EXPECT_FALSE(device().read(&byte, 1, count));
  EXPECT_FALSE(device().clearError(&status));
  EXPECT_FALSE(device().purge(platform::kPurgeRxClear));
  EXPECT_FALSE(device().readLineSettings(line));
  EXPECT_NE(platform::lastSystemError(), 0u);
  EXPECT_FALSE(device().open(kNoSuchPort));
}

// By name, as the fan controller opens its port: a COM name opens that port,
// the name of a port that does not exist fails and leaves the device closed.
TEST_P(SerialDeviceContract, OpensByComName) {
  device().close();
  ASSERT_TRUE(device().openDevice("COM" + std::to_string(subject_->comNumber()))) << platform::lastSystemError();
  EXPECT_TRUE(device().isOpen());
  EXPECT_FALSE(device().openDevice("COM" + std::to_string(kNoSuchPort)));
  EXPECT_FALSE(device().isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Backends, SerialDeviceContract,
    ::testing::Values(
#ifdef _WIN32
        Backend{"Win32", [] { return std::unique_ptr<DeviceUnderTest>(new PlatformDevice); }},
#else
        Backend{"PosixPty", [] { return std::unique_ptr<DeviceUnderTest>(new PlatformDevice); }},
#endif
        Backend{"Fake", [] { return std::unique_ptr<DeviceUnderTest>(new FakeDevice); }}),
    [](const ::testing::TestParamInfo<Backend>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace portrelay
