// A virtual rig for the measuring tools, registered as a USB serial port with an
// accepted id (the Windows build uses the COM port the Wine test run maps).
#pragma once
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "simulated_rig.h"
#include "tools/platform/fake_platform.h"

namespace portrelay::bench {

// Starts the rig and registers its port (the only COM port from then on);
// returns the COM number, or 0.
inline int startRigOnComPort(rigsim::SimulatedRig& rig, const char* toolName) {
#ifdef RIGSIM_WINE_COM
  (void)toolName;
  const int com = RIGSIM_WINE_COM;
  const std::string link = RIGSIM_WINE_LINK;
#else
  const int com = 7;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / (std::string(toolName) + "-" + std::to_string(rigsim::monotonicNs()));
  std::filesystem::create_directories(dir);
  const std::string link = (dir / "rig").string();
#endif
  if (!rig.start(link)) {
    std::fprintf(stderr, "cannot start the virtual rig at %s\n", link.c_str());
    return 0;
  }
  const std::string name = "COM" + std::to_string(com);
  const platform::SimulatedComPort port{com, link, "USB-SERIAL CH340 (" + name + ")", {"USB\\VID_1A86&PID_7523"}};
  platform::keepInForce(platform::FakePlatform().withComPorts({port}));
  return com;
}

}  // namespace portrelay::bench
