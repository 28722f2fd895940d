#include <gtest/gtest.h>

#include "platform/shared_memory.h"
#include "tools/platform/fake_platform.h"

namespace portrelay::platform {
namespace {

struct NameCase {
  const char* windowsName;
  const char* prefix;
  const char* onWindows;
  const char* onPosix;
};

TEST(ObjectNames, Translation) {
  const NameCase cases[] = {
      {"Local\\acpmf_physics", "", "Local\\acpmf_physics", "/acpmf_physics"},
      {"Local\\acpmf_physics", "t1_", "Local\\t1_acpmf_physics", "/t1_acpmf_physics"},
      {"Global\\Tiltaverse_tx", "", "Global\\Tiltaverse_tx", "/Tiltaverse_tx"},
      {"$R3E", "", "$R3E", "/$R3E"},
      {"$pcars2$", "t1_", "t1_$pcars2$", "/t1_$pcars2$"},
      {"SCSTelemetryExample", "", "SCSTelemetryExample", "/SCSTelemetryExample"},
      {"odd\\inner/name", "", "odd\\inner/name", "/odd_inner_name"},
      {"local\\lowercase", "", "local\\lowercase", "/local_lowercase"},  // session prefixes are exact
  };
  for (const auto& c : cases) {
    EXPECT_EQ(windowsObjectName(c.windowsName, c.prefix), c.onWindows) << c.windowsName;
    EXPECT_EQ(posixObjectName(c.windowsName, c.prefix), c.onPosix) << c.windowsName;
  }
}

TEST(ObjectNames, TheServicesNamespaceAppliesAndRestores) {
  const std::string plain = objectName("Local\\acpmf_graphics");
  {
    const ScopedPlatform isolated(FakePlatform().withObjectNamespace("ns7_"));
    EXPECT_NE(objectName("Local\\acpmf_graphics").find("ns7_acpmf_graphics"), std::string::npos);
  }
  EXPECT_EQ(objectName("Local\\acpmf_graphics"), plain);
}

}  // namespace
}  // namespace portrelay::platform
