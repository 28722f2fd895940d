// Unloading the library while its engine thread still runs must not hang the
// host (on Windows the library's destructors run under the loader lock, where
// joining a thread never returns).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>

#include "platform/tools/dynamic_library.h"

namespace portrelay {
namespace {

TEST(SharedLibrary, UnloadWithTheEngineThreadRunningReturns) {
  auto library = std::make_unique<platform::DynamicLibrary>(std::string("./") + platform::kPortRelayLibraryName);
  ASSERT_TRUE(library->loaded());
  auto start = reinterpret_cast<int32_t (*)()>(library->symbol("startGamesource_Thread"));
  ASSERT_NE(start, nullptr);
  ASSERT_NE(start(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // searching for a game

  auto unloaded = std::async(std::launch::async, [&] { library.reset(); });
  if (unloaded.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "unloading the library did not return within 10 s";
    std::_Exit(1);  // the unload thread is stuck: do not wait for it at exit
  }
}

}  // namespace
}  // namespace portrelay
