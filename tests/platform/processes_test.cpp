// The process-list test, against real child processes.
#include "platform/processes.h"

#include <gtest/gtest.h>

#include <string>

#include "support/game_fixtures.h"

namespace portrelay::platform {
namespace {

using testing::IsolatedGames;
using testing::launchGame;
using testing::waitUntil;

bool onWindows() { return std::string(kExecutableSuffix) == ".exe"; }

TEST(Processes, BaseNameOfEitherSeparator) {
  const std::pair<const char*, const char*> cases[] = {
      {"F1_23.exe", "F1_23.exe"},
      {"/opt/games/F1_23.exe", "F1_23.exe"},
      {"C:\\Program Files\\F1 23\\F1_23.exe", "F1_23.exe"},
      {"Z:/mixed\\path/LFS.exe", "LFS.exe"},
      {"trailing/", ""},
      {"", ""},
  };
  for (const auto& [argv0, base] : cases) EXPECT_EQ(executableBaseName(argv0), base) << argv0;
}

TEST(Processes, ExactCaseSensitiveName) {
  IsolatedGames scope;
  EXPECT_FALSE(isProcessRunning(L"F1_23_64.exe"));
  auto game = launchGame(scope, "idle", "F1_23_64.exe");
  ASSERT_NE(game, nullptr);
  EXPECT_TRUE(waitUntil([] { return isProcessRunning(L"F1_23_64.exe"); }));
  EXPECT_FALSE(isProcessRunning(L"f1_23_64.exe"));
  EXPECT_FALSE(isProcessRunning(L"F1_23_64"));
  EXPECT_FALSE(isProcessRunning(L"F1_23_64.exe "));
  game->stop();
  EXPECT_TRUE(waitUntil([] { return !isProcessRunning(L"F1_23_64.exe"); }));
}

TEST(Processes, LongNamesBeyondTheKernelsShortName) {
  IsolatedGames scope;
  auto game = launchGame(scope, "idle", "iRacingSim64DX11.exe");
  ASSERT_NE(game, nullptr);
  EXPECT_TRUE(waitUntil([] { return isProcessRunning(L"iRacingSim64DX11.exe"); }));
}

TEST(Processes, WindowsPathAsSeenUnderACompatibilityLayer) {
  if (onWindows()) GTEST_SKIP() << "Windows lists the executable's file name itself";
  IsolatedGames scope;
  auto game = launchGame(scope, "idle", "C:\\Games\\F1 24\\F1_24.exe");
  ASSERT_NE(game, nullptr);
  EXPECT_TRUE(waitUntil([] { return isProcessRunning(L"F1_24.exe"); }));
}

TEST(Processes, ScopeHidesOtherParentsChildren) {
  IsolatedGames scope;
  auto game = launchGame(scope, "idle", "LFS64.exe");
  ASSERT_NE(game, nullptr);
  ASSERT_TRUE(waitUntil([] { return isProcessRunning(L"LFS64.exe"); }));
  {
    const ScopedPlatform gamesChildren(FakePlatform().withProcessScope(game->id()));  // the game has none
    EXPECT_FALSE(isProcessRunning(L"LFS64.exe"));
  }
  EXPECT_TRUE(isProcessRunning(L"LFS64.exe"));
}

}  // namespace
}  // namespace portrelay::platform
