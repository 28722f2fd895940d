// A process that loads the library twice (a copy of the file under another
// path) has two engines; only one copy at a time may drive the rig.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "tools/platform/dynamic_library.h"
#include "support/temp_dir.h"

namespace portrelay {
namespace {

using Start = int32_t (*)();
using Stop = bool (*)();
using StopLink = void (*)();

TEST(LoadedTwice, OnlyOneCopyDrivesTheRigAtATime) {
  testing::TempDir folder;
  const std::string original = std::string("./") + platform::kPortRelayLibraryName;
  const std::filesystem::path copy = folder.path() / platform::kPortRelayLibraryName;
  std::filesystem::copy_file(original, copy);
  platform::DynamicLibrary first(original);
  platform::DynamicLibrary second(copy.string());
  ASSERT_TRUE(first.loaded() && second.loaded());
  ASSERT_NE(first.symbol("startGamesource_Thread"), second.symbol("startGamesource_Thread"));  // two copies
  const auto startEngine = [](platform::DynamicLibrary& l) {
    return reinterpret_cast<Start>(l.symbol("startGamesource_Thread"))();
  };
  const auto stopEngine = [](platform::DynamicLibrary& l) { reinterpret_cast<Stop>(l.symbol("stopGamesource_Thread"))(); };
  reinterpret_cast<int32_t (*)(int32_t, void*, void*)>(second.symbol("setDiagnosticOutput"))(0, nullptr, nullptr);

  ASSERT_NE(startEngine(first), 0);
  EXPECT_EQ(startEngine(second), 0);  // refused while the first copy's engine runs
  // The second copy's relay returns at once, without running.
  std::atomic<int32_t> relayResult{-1};
  std::thread relay([&] { relayResult = reinterpret_cast<Start>(second.symbol("startPortRelay_Thread"))(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (relayResult.load() == -1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (relayResult.load() == -1) reinterpret_cast<StopLink>(second.symbol("stopPortRelay_Thread"))();
  relay.join();
  EXPECT_EQ(relayResult.load(), 0);

  stopEngine(first);
  EXPECT_NE(startEngine(second), 0);  // free again
  EXPECT_EQ(startEngine(first), 0);
  stopEngine(second);
}

}  // namespace
}  // namespace portrelay
