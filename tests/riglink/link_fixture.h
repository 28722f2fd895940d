// Shared helpers of the rig-link tests: a virtual rig on a COM port (a
// pseudo-terminal natively; under Wine the COM port that the test run mapped
// to the rig's link). Each test builds its own RigLink.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/com_devices.h"
#include "simulated_rig.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "tools/platform/fake_platform.h"

namespace portrelay::testing {

inline std::vector<uint8_t> bytesOf(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
  return bytes;
}

inline platform::SimulatedComPort usbComPort(int number, const std::string& path,
                                             const std::string& vidPid = "VID_1A86&PID_7523") {
  const std::string name = "COM" + std::to_string(number);
  return {number, path, "USB-SERIAL CH340 (" + name + ")", {"USB\\" + vidPid + "&REV_0254", "USB\\" + vidPid}};
}

// A virtual rig on a COM port that the library finds by its USB id.
class RigOnComPort {
 public:
#ifdef RIGSIM_WINE_COM
  static constexpr int kComNumber = RIGSIM_WINE_COM;
  std::string linkPath() const { return RIGSIM_WINE_LINK; }
#else
  static constexpr int kComNumber = 7;
  std::string linkPath() const { return (dir_.path() / "rig-com7").string(); }
#endif

  explicit RigOnComPort(rigsim::ReplyForm form = rigsim::ReplyForm::terminated1,
                        rigsim::Behaviour behaviour = rigsim::Behaviour::normal)
      : platform_(platform::FakePlatform().withComPorts({usbComPort(kComNumber, linkPath())})) {
    started_ = rig.start(linkPath());
    rig.setReplyForm(form);
    rig.setBehaviour(behaviour);
  }
  bool started() const { return started_; }

  rigsim::SimulatedRig rig;

 private:
  TempDir dir_;
  platform::ScopedPlatform platform_;  // the rig's port is the only COM port
  bool started_ = false;
};

}  // namespace portrelay::testing
