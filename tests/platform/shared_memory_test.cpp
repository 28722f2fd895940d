// The shared-memory service, on this platform's real named objects.
#include "platform/shared_memory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/named_event.h"
#include "support/game_fixtures.h"

namespace portrelay::platform {
namespace {

using testing::IsolatedGames;

TEST(SharedMemory, CreatedZeroedAndSharedByName) {
  IsolatedGames scope;
  SharedMemory creator = SharedMemory::createOrOpen("Local\\page", 100);
  ASSERT_TRUE(creator.valid());
  SharedView writer = SharedView::map(creator, ViewAccess::ReadWrite, 100);
  ASSERT_TRUE(writer.valid());
  EXPECT_EQ(writer.data()[99], 0);
  std::memcpy(writer.writableData() + 10, "abc", 3);

  SharedMemory other = SharedMemory::openExisting("Local\\page", ViewAccess::ReadOnly);
  ASSERT_TRUE(other.valid());
  SharedView reader = SharedView::map(other, ViewAccess::ReadOnly, 100);
  ASSERT_TRUE(reader.valid());
  EXPECT_EQ(reader.writableData(), nullptr);
  EXPECT_EQ(std::memcmp(reader.data() + 10, "abc", 3), 0);

  SharedMemory again = SharedMemory::createOrOpen("Local\\page", 100);  // opens the same one
  SharedView third = SharedView::map(again, ViewAccess::ReadOnly, 100);
  ASSERT_TRUE(third.valid());
  EXPECT_EQ(std::memcmp(third.data() + 10, "abc", 3), 0);
}

TEST(SharedMemory, OpenExistingFailsWithoutMapping) {
  IsolatedGames scope;
  EXPECT_FALSE(SharedMemory::openExisting("Local\\absent", ViewAccess::ReadOnly).valid());
  EXPECT_FALSE(SharedView::map(SharedMemory(), ViewAccess::ReadOnly, 0).valid());
}

TEST(SharedMemory, ViewLargerThanMappingIsRefused) {
  IsolatedGames scope;
  SharedMemory small = SharedMemory::publish("Local\\small", 64);
  ASSERT_TRUE(small.valid());
  SharedMemory opened = SharedMemory::createOrOpen("Local\\small", 5000);  // exists: keeps its 64 bytes
  ASSERT_TRUE(opened.valid());
  EXPECT_FALSE(SharedView::map(opened, ViewAccess::ReadOnly, 5000).valid());
  SharedView whole = SharedView::map(opened, ViewAccess::ReadOnly, 0);
  ASSERT_TRUE(whole.valid());
  EXPECT_GE(whole.size(), 64u);
}

TEST(SharedMemory, ViewOutlivesItsHandle) {
  IsolatedGames scope;
  SharedMemory memory = SharedMemory::publish("Local\\keep", 32);
  SharedView view = SharedView::map(memory, ViewAccess::ReadWrite, 32);
  ASSERT_TRUE(view.valid());
  memory.close();
  view.writableData()[31] = 7;
  EXPECT_EQ(view.data()[31], 7);
}

TEST(SharedMemory, GoneWhenTheLastHandleCloses) {
  IsolatedGames scope;
  {
    SharedMemory created = SharedMemory::createOrOpen("Local\\transient", 16);
    ASSERT_TRUE(created.valid());
    EXPECT_TRUE(SharedMemory::openExisting("Local\\transient", ViewAccess::ReadOnly).valid());
  }
  EXPECT_FALSE(SharedMemory::openExisting("Local\\transient", ViewAccess::ReadOnly).valid());
}

TEST(SharedMemory, PublisherQuittingIsNoticedByName) {
  IsolatedGames scope;
  SharedMemory game = SharedMemory::publish("$GAME", 16);
  ASSERT_TRUE(game.valid());
  EXPECT_TRUE(SharedMemory::openExisting("$GAME", ViewAccess::ReadOnly).valid());
  game.close();
  EXPECT_FALSE(SharedMemory::openExisting("$GAME", ViewAccess::ReadOnly).valid());
}

TEST(NamedEvent, ExistsOnlyWhileCreated) {
  IsolatedGames scope;
  EXPECT_FALSE(NamedEvent::openExisting("Local\\valid").valid());
  {
    NamedEvent created = NamedEvent::create("Local\\valid");
    ASSERT_TRUE(created.valid());
    EXPECT_TRUE(created.signal());
    NamedEvent opened = NamedEvent::openExisting("Local\\valid");
    EXPECT_TRUE(opened.valid());
  }
  EXPECT_FALSE(NamedEvent::openExisting("Local\\valid").valid());
  EXPECT_FALSE(NamedEvent().signal());
}

}  // namespace
}  // namespace portrelay::platform
