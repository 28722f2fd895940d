// Which tty nodes count as serial ports that exist as hardware (Linux sysfs).
#ifndef _WIN32
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/com_names.h"
#include "support/temp_dir.h"

namespace portrelay {
namespace {

TEST(ComDevices, OnlyPortsWithHardwareAreListed) {
  struct Case {
    const char* node;
    bool device;       // a device link behind the node
    const char* type;  // content of the serial core's `type`, nullptr: no such attribute
    bool listed;
  };
  const Case cases[] = {
      {"ttyS0", true, "4\n", true},     // a 16550A UART
      {"ttyS1", true, "0\n", false},    // a placeholder 8250 port: no UART
      {"ttyS2", true, "", false},       // unreadable type: not taken for hardware
      {"ttyS3", false, "4\n", false},   // no device behind the node
      {"ttyS4", true, "10\n", true},    // a two-digit type holding a zero
      {"ttyUSB0", true, nullptr, true}, // USB serial: no serial-core type
      {"ttyACM0", true, nullptr, true},
      {"ttyACM1", false, nullptr, false},
  };
  testing::TempDir sysfs;
  for (const Case& c : cases) {
    const auto dir = sysfs.path() / c.node;
    std::filesystem::create_directories(dir);
    if (c.device) std::filesystem::create_directories(dir / "device");
    if (c.type != nullptr) std::ofstream(dir / "type") << c.type;
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.node);
    EXPECT_EQ(platform::isHardwareSerialNode(sysfs.str(), c.node), c.listed);
  }
  EXPECT_FALSE(platform::isHardwareSerialNode(sysfs.str(), "ttyUSB9"));  // absent altogether
}

}  // namespace
}  // namespace portrelay
#endif
