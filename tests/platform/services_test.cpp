#include "platform/services.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "tools/platform/fake_platform.h"

namespace portrelay::platform {
namespace {

// A scope answers what it sets and leaves the rest to the services below it;
// each end puts back what was in force before, down to the system's own.
TEST(PlatformServices, ScopesLayerAndRestore) {
  ASSERT_EQ(&services(), &systemServices());
  {
    const ScopedPlatform outer(
        FakePlatform().withDocumentsFolder("/outer").withObjectNamespace("o_").withProcessScope(42));
    {
      const ScopedPlatform inner(FakePlatform().withDocumentsFolder("").withEveryProcess());
      EXPECT_EQ(documentsFolder(), "");
      EXPECT_EQ(services().objectNamespace(), "o_");
      EXPECT_EQ(services().processScope(), std::nullopt);
      EXPECT_EQ(services().comPorts(), std::nullopt);
    }
    EXPECT_EQ(documentsFolder(), "/outer");
    EXPECT_EQ(services().processScope(), 42u);
  }
  EXPECT_EQ(&services(), &systemServices());
  EXPECT_EQ(services().objectNamespace(), "");
  EXPECT_EQ(services().processScope(), std::nullopt);
}

}  // namespace
}  // namespace portrelay::platform
