// Diagnostics a host controls: the library's console texts go to the host's
// callback (with their level) or nowhere, and then never to standard output.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "portrelay/portrelay.h"
#include "riglink/link_fixture.h"
#include "riglink/link_state.h"
#include "tools/platform/fake_platform.h"

namespace portrelay {
namespace {

struct Received {
  std::mutex mutex;
  std::vector<std::pair<int32_t, std::string>> texts;
};

void collect(int32_t level, const char* text, void* context) {
  auto* received = static_cast<Received*>(context);
  std::lock_guard lock(received->mutex);
  received->texts.emplace_back(level, text);
}

// One scan over two ports that are no rig controller: it names the ports and
// refuses each one's USB id.
void scanTwoForeignPorts() {
  const platform::ScopedPlatform ports(platform::FakePlatform().withComPorts({
      testing::usbComPort(3, "/nonexistent/portrelay-a", "VID_0000&PID_0000"),
      testing::usbComPort(4, "/nonexistent/portrelay-b", "VID_0000&PID_0000")}));
  RigLink link;
  link.setRelayRunning(1);
  link.setAutoconnect(1);
  EXPECT_EQ(link.scanForRig(), 0);
}

TEST(Diagnostics, TheCallbackReceivesTheScansLinesAndNothingReachesStandardOutput) {
  Received received;
  ASSERT_EQ(setDiagnosticOutput(PORTRELAY_DIAGNOSTICS_CALLBACK, collect, &received), 1);
  ::testing::internal::CaptureStdout();
  scanTwoForeignPorts();
  const std::string printed = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(setDiagnosticOutput(PORTRELAY_DIAGNOSTICS_CONSOLE, nullptr, nullptr), 1);

  EXPECT_EQ(printed, "");
#if defined(_WIN32)
  // The Windows scan walks the system's own ports (Wine's COM1 and the
  // mapped test ports) beside the simulated ones: its lines, whichever.
  ASSERT_FALSE(received.texts.empty());
  for (const auto& [level, text] : received.texts)
    EXPECT_TRUE(text.rfind("COM", 0) == 0 || text.rfind("vid wrong", 0) == 0) << text;
#else
  const std::vector<std::pair<int32_t, std::string>> expected = {
      {0, "COM3 "}, {0, "COM4 "}, {0, "vid wrong \n\r"}, {0, "vid wrong \n\r"}};
  EXPECT_EQ(received.texts, expected);
#endif

  // Off: nothing anywhere; the callback replaced before is not called again.
  received.texts.clear();
  ASSERT_EQ(setDiagnosticOutput(PORTRELAY_DIAGNOSTICS_OFF, nullptr, nullptr), 1);
  ::testing::internal::CaptureStdout();
  scanTwoForeignPorts();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(received.texts.empty());
  EXPECT_EQ(setDiagnosticOutput(PORTRELAY_DIAGNOSTICS_CALLBACK, nullptr, nullptr), 0);  // refused
  EXPECT_EQ(setDiagnosticOutput(3, collect, &received), 0);
  ASSERT_EQ(setDiagnosticOutput(PORTRELAY_DIAGNOSTICS_CONSOLE, nullptr, nullptr), 1);
}

TEST(Diagnostics, ARefusedFilterKeywordIsQuotedWithItsForeignBytesEscaped) {
  char text[128] = {};
  int32_t position = 0;
  EXPECT_EQ(checkFilterstring("G\xC3\xA4IN\xFF\xC3(VALUE;2)", text, sizeof text, &position), 0);
  EXPECT_EQ(std::string(text).rfind("G\xC3\xA4IN\\xFF\\xC3: unknown keyword", 0), 0u) << text;
}

}  // namespace
}  // namespace portrelay
