// Finding and identifying the rig: enumeration, USB ids, the scan and the
// manual connection, against the virtual rig.
#include "riglink/port_discovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "link_fixture.h"
#include "riglink/link_state.h"
#include "riglink/rig_frames.h"

namespace portrelay {
namespace {

using testing::RigOnComPort;

class Discovery : public ::testing::Test {
 protected:
  void SetUp() override { fresh(); }
  // The scan runs inside the relay loop; here it is called directly.
  void fresh() {
    link_ = std::make_unique<RigLink>();
    link().setRelayRunning(1);
    link().setAutoconnect(1);
  }
  RigLink& link() { return *link_; }
  std::unique_ptr<RigLink> link_;
  static std::vector<uint8_t> front(MessageQueue& queue) {
    uint8_t out[kMaxMessageLength];
    const auto length = queue.copyFront(out);
    return length ? std::vector<uint8_t>(out, out + *length) : std::vector<uint8_t>{};
  }
};

TEST_F(Discovery, UsbIdMatchesFriendlyNameAndAcceptedIds) {
  const platform::ScopedPlatform ports(platform::FakePlatform().withComPorts({
      testing::usbComPort(50, "unused", "VID_0483&PID_5740"),
      testing::usbComPort(9, "unused", "VID_1234&PID_0001"),
  }));
  EXPECT_TRUE(checkUsbId("COM5"));  // COM50 holds COM5
  EXPECT_TRUE(checkUsbId("COM50"));
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(checkUsbId("COM9"));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "vid wrong \n\r");
  EXPECT_FALSE(checkUsbId("COM7"));
  EXPECT_FALSE(checkUsbId("com50"));
}

TEST_F(Discovery, EnumerationListsComPorts) {
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  std::vector<unsigned> ports;
  ASSERT_TRUE(CEnumerateSerial::UsingQueryDosDevice(ports));
  EXPECT_NE(std::find(ports.begin(), ports.end(), static_cast<unsigned>(RigOnComPort::kComNumber)), ports.end());
}

TEST_F(Discovery, ScanAcceptsAllFourReplies) {
  for (rigsim::ReplyForm form : {rigsim::ReplyForm::terminated1, rigsim::ReplyForm::checksummed1,
                                 rigsim::ReplyForm::terminated2, rigsim::ReplyForm::checksummed2}) {
    fresh();
    RigOnComPort rig(form);
    ASSERT_TRUE(rig.started());
    // Queued while no rig was connected: motion frames (stale by now) and a host message.
    std::vector<uint8_t> motion(kMotionFrameLength, 0x11);
    motion[0] = motion[1] = 0xFC;
    motion[34] = 0x0A;
    motion[35] = 0x0D;
    const auto host = testing::bytesOf({0xF9, 0xF9, 0x30, 0x00, 0x07, 0x00, 0x0A, 0x0D});
    for (const std::vector<uint8_t>& m : {motion, host, motion})
      link().serialTxQueue().pushIfBelow(m.data(), m.size(), kTransmitQueueBound);
    EXPECT_EQ(link().scanForRig(), 1) << rigsim::replyFormName(form);
    EXPECT_EQ(link().portOpen(), 1);
    EXPECT_EQ(rig.rig.stats().identityQueries, 2u);
    // The greeting, class 4 then class 2, goes first, the host message stays
    // behind it, the motion frames are gone; the network link gets the
    // greeting too (neither link has heard the rig yet).
    const std::vector<std::vector<uint8_t>> expected = {
        testing::bytesOf({0xF9, 0xF9, 0x04, 0x00, 0x01, 0x00, 0x0A, 0x0D}),
        testing::bytesOf({0xF9, 0xF9, 0x02, 0x00, 0x01, 0x00, 0x0A, 0x0D}), host};
    std::vector<std::vector<uint8_t>> queued;
    for (uint8_t out[kMaxMessageLength]; auto length = link().serialTxQueue().takeFront(out);)
      queued.emplace_back(out, out + *length);
    EXPECT_EQ(queued, expected);
    EXPECT_EQ(link().networkTxQueue().size(), 2u);
    link().closeRigPort();  // before this rig goes away
  }
}

TEST_F(Discovery, ScanKeepsTheLastEightBytesOfALongReply) {
  RigOnComPort rig(rigsim::ReplyForm::terminated1, rigsim::Behaviour::longReply);
  ASSERT_TRUE(rig.started());
  EXPECT_EQ(link().scanForRig(), 1);
}

TEST_F(Discovery, ScanRejectsWrongIdAndSilence) {
  for (rigsim::Behaviour behaviour : {rigsim::Behaviour::wrongId, rigsim::Behaviour::silent, rigsim::Behaviour::garbage}) {
    RigOnComPort rig(rigsim::ReplyForm::terminated1, behaviour);
    ASSERT_TRUE(rig.started());
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(link().scanForRig(), 0) << rigsim::behaviourName(behaviour);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("Serialexception , Error:"), std::string::npos) << printed;
    EXPECT_EQ(link().portOpen(), 0);
    EXPECT_FALSE(link().rigPort().isOpen());
  }
}

TEST_F(Discovery, ScanEndsWhenAutoconnectIsDisabled) {
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  link().setAutoconnect(0);
  EXPECT_EQ(link().scanForRig(), 0);
  EXPECT_EQ(rig.rig.stats().identityQueries, 0u);
}

TEST_F(Discovery, ManualConnectionAcceptsOnlyTerminatedReplyOne) {
  RigOnComPort rig(rigsim::ReplyForm::checksummed1);
  ASSERT_TRUE(rig.started());
  link().setStandardPort(("COM" + std::to_string(RigOnComPort::kComNumber)).c_str());
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(link().connectStandardPort(), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "opened.... wrong id");
  EXPECT_FALSE(link().rigPort().isOpen());

  rig.rig.setReplyForm(rigsim::ReplyForm::terminated1);
  std::vector<uint8_t> staleMotion(kMotionFrameLength, 0x22);
  staleMotion[0] = staleMotion[1] = 0xFC;
  staleMotion[34] = 0x0A;
  staleMotion[35] = 0x0D;
  link().serialTxQueue().pushIfBelow(staleMotion.data(), staleMotion.size(), 150);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(link().connectStandardPort(), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "opened....id correct. \n");
  EXPECT_EQ(link().portOpen(), 1);
  EXPECT_EQ(link().connectStandardPort(), 0);  // already connected: nothing to do
  // The stale motion frame is dropped; only the scan queues the class messages.
  EXPECT_TRUE(link().serialTxQueue().empty());
}

TEST_F(Discovery, ManualConnectionWithoutUsbIdOrPort) {
  ::testing::internal::CaptureStdout();
  link().setStandardPort("COM0");
  const platform::ScopedPlatform noPorts(platform::FakePlatform().withComPorts({}));
  EXPECT_EQ(link().connectStandardPort(), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "fail vid..");
}

TEST_F(Discovery, ResumeInterfaceConnectsManually) {
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  link().setAutoconnect(0);
  ASSERT_EQ(link().setStandardPort(("COM" + std::to_string(RigOnComPort::kComNumber)).c_str()), 1);
  EXPECT_EQ(link().resumeInterface(), 1);
  EXPECT_EQ(link().isConnected(), 1);
  EXPECT_EQ(link().pauseInterface(), 1);
  EXPECT_EQ(link().isConnected(), 0);
  EXPECT_FALSE(link().rigPort().isOpen());
}

TEST_F(Discovery, OpenRigPortConfiguresTheLine) {
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  ASSERT_EQ(link().openRigPort(RigOnComPort::kComNumber), 1);
  const platform::SerialTimeouts timeouts = link().rigPort().getTimeouts();
  EXPECT_EQ(timeouts.readTotalConstant, 10000u);
  EXPECT_EQ(timeouts.writeTotalConstant, 10u);  // a write never holds the relay for long
  const platform::SerialLineSettings line = link().rigPort().lineSettings();
  EXPECT_EQ(line.dataBits, 8);
  EXPECT_EQ(line.parity, platform::Parity::none);
  EXPECT_EQ(line.stopBits, platform::StopBits::one);
#ifndef _WIN32
  EXPECT_EQ(line.baudRate, 250000u);  // Wine accepts 250000 but reads back 38400
#endif
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(link().openRigPort(99), 0);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("Serialexception when open port. , Error:"), std::string::npos);
}

}  // namespace
}  // namespace portrelay
