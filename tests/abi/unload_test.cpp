// Unloading the library while its threads still run must neither hang the
// host (on Windows the library's destructors run under the loader lock, where
// joining a thread never returns) nor leave a thread in unmapped code: the
// library asks each of its threads to stop and waits for it, bounded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "tools/platform/dynamic_library.h"
#include "support/wait.h"

namespace portrelay {
namespace {

using Body = int32_t (*)();
using VoidBody = void (*)();
using testing::waitUntil;

template <typename Function>
Function symbol(platform::DynamicLibrary& library, const char* name) {
  return reinterpret_cast<Function>(library.symbol(name));
}

TEST(SharedLibrary, UnloadWithTheEngineThreadRunningReturns) {
  auto library = std::make_unique<platform::DynamicLibrary>(std::string("./") + platform::kPortRelayLibraryName);
  ASSERT_TRUE(library->loaded());
  auto start = symbol<Body>(*library, "startGamesource_Thread");
  ASSERT_NE(start, nullptr);
  ASSERT_NE(start(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // searching for a game

  auto unloaded = std::async(std::launch::async, [&] { library.reset(); });
  if (unloaded.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "unloading the library did not return within 10 s";
    std::_Exit(1);  // the unload thread is stuck: do not wait for it at exit
  }
}

// In a child process: a host thread runs one of the link's thread bodies
// (the relay scanning a port that is no rig, or the UDP listener), the library
// is unloaded under it, and the child lives on for a while. Exit code 0 only
// when the host thread came back from the body and nothing faulted.
[[noreturn]] void unloadUnderRunningBody(const char* bodyName) {
  auto library = std::make_unique<platform::DynamicLibrary>(std::string("./") + platform::kPortRelayTestLibraryName);
  if (!library->loaded()) std::_Exit(10);
  auto threads = symbol<Body>(*library, "getPortRelayThreads");
  auto addPort = symbol<int32_t (*)(int32_t, const char*, const char*, const char*)>(*library,
                                                                                    "portrelaySeam_addComPort");
  auto autoconnect = symbol<Body>(*library, "enableAutoconnect");
  auto setPort = symbol<void (*)(int32_t)>(*library, "setUDPport");
  void* body = library->symbol(bodyName);
  if (threads == nullptr || addPort == nullptr || autoconnect == nullptr || setPort == nullptr || body == nullptr)
    std::_Exit(11);
  // A port without a rig controller's USB id: the scan looks at it and goes on.
  addPort(250, "/nonexistent/portrelay-unload", "USB Serial Port (COM250)", "USB\\VID_0000&PID_0000");
  autoconnect();
  setPort(0);  // any free port

  std::atomic<bool> returned{false};
  const bool relay = std::string(bodyName) == "startPortRelay_Thread";
  std::thread host([&] {
    if (relay) {
      reinterpret_cast<Body>(body)();
    } else {
      reinterpret_cast<VoidBody>(body)();
    }
    returned = true;
  });
  host.detach();
  if (!waitUntil([&] { return threads() != 0; }, std::chrono::milliseconds(5000))) std::_Exit(12);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // in the middle of its work

  library.reset();
  if (!waitUntil([&] { return returned.load(); }, std::chrono::milliseconds(3000))) std::_Exit(13);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a thread in unmapped code faults by now
  std::_Exit(0);
}

class UnloadUnderBody : public ::testing::TestWithParam<const char*> {};

TEST_P(UnloadUnderBody, HostThreadReturnsAndNothingFaults) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(unloadUnderRunningBody(GetParam()), ::testing::ExitedWithCode(0), "");
}

// The multicast sender is left out: with a wired adapter it would send to the
// rig's multicast group.
INSTANTIATE_TEST_SUITE_P(LinkBodies, UnloadUnderBody, ::testing::Values("startPortRelay_Thread", "startUPDListenThread"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace portrelay
