// Loads the shipped library as a host does and checks its exported surface.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tools/platform/dynamic_library.h"
#include "support/export_list.h"

namespace portrelay {
namespace {

std::string libraryPath() { return std::string("./") + platform::kPortRelayLibraryName; }

TEST(SharedLibrary, EveryExportUnderItsExactName) {
  platform::DynamicLibrary library(libraryPath());
  ASSERT_TRUE(library.loaded()) << libraryPath();
  for (const char* name : testing::kExportNames) EXPECT_NE(library.symbol(name), nullptr) << name;
  // Internal C++ symbols stay hidden.
  EXPECT_EQ(library.symbol("_ZN9portrelay12MotionEngine8instanceEv"), nullptr);
}

TEST(SharedLibrary, GettersAnswerDefaults) {
  platform::DynamicLibrary library(libraryPath());
  ASSERT_TRUE(library.loaded());
  auto getGameID = reinterpret_cast<int32_t (*)()>(library.symbol("getGameID"));
  auto getGameDataCount = reinterpret_cast<int32_t (*)()>(library.symbol("getGameDataCount"));
  auto getTransitionStatus = reinterpret_cast<double (*)()>(library.symbol("getTransitionStatus"));
  auto getGameName = reinterpret_cast<void (*)(char*)>(library.symbol("getGameName"));
  auto getGameDataNames = reinterpret_cast<void (*)(const char**, int32_t*)>(library.symbol("getGameDataNames"));
  ASSERT_TRUE(getGameID && getGameDataCount && getTransitionStatus && getGameName && getGameDataNames);
  EXPECT_EQ(getGameID(), -1);
  EXPECT_EQ(getGameDataCount(), 44);
  EXPECT_EQ(getTransitionStatus(), 100.0);
  char name[21] = {};
  getGameName(name);
  EXPECT_STREQ(name, "No Game online");
  const char* first = nullptr;
  int32_t count = 0;
  getGameDataNames(&first, &count);
  EXPECT_STREQ(first, "lateral_speed");
  EXPECT_EQ(count, 43);
}

}  // namespace
}  // namespace portrelay
