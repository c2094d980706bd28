#include <gtest/gtest.h>

#include <thread>

#include "automation/Error.h"
#include "tests/front/FrontFixture.h"

namespace tarvesk::test {
namespace {

using enum ControlId;

class LogManagerFileSet : public FrontTest {};

TEST_F(LogManagerFileSet, FileSetManagerCreatesOneEmptySetWithoutAWindow) {
  auto lm = std::make_shared<LogManager>();
  const auto first = lm->FileSetManager();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->FileCount(), 0);
  EXPECT_EQ(lm->FileSetManager(), first);
  lm.reset();  // an object that never displayed ends without making a window
  EXPECT_EQ(frmLogManager::CurrentThreadWindow(), nullptr);
}

TEST_F(LogManagerFileSet, EjectEmptiesTheSetOrRaises91WithoutOne) {
  folder.WriteLines("a.xml", LogLines("db", "01.01.2026", {}));
  auto lm = std::make_shared<LogManager>();
  try {
    lm->EjectFileset();
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), kObjectNotSet);
  }
  const auto first = lm->FileSetManager();
  ASSERT_TRUE(first->LoadFileSet(folder.Path()));
  ASSERT_EQ(first->FileCount(), 1);
  lm->EjectFileset();
  EXPECT_EQ(first->FileCount(), 0);         // the host's reference sees the emptied set
  EXPECT_THROW(lm->EjectFileset(), Error);  // twice in a row
  const auto second = lm->FileSetManager();
  EXPECT_NE(second, first);
  EXPECT_EQ(second->FileCount(), 0);
}

TEST_F(LogManagerFileSet, DisplayReplacesTheSetByANewEmptyOneWithoutEmptyingTheOld) {
  folder.WriteLines("a.xml", LogLines("db", "01.01.2026", {}));
  manager = std::make_shared<LogManager>();
  const auto before = manager->FileSetManager();
  ASSERT_TRUE(before->LoadFileSet(folder.Path()));
  manager->Display();
  EXPECT_NE(manager->FileSetManager(), before);
  EXPECT_EQ(manager->FileSetManager()->FileCount(), 0);
  EXPECT_EQ(before->FileCount(), 1);  // released, not ejected
}

class LogManagerWindow : public FrontTest {
 protected:
  long Closes() { return std::count(view.log.begin(), view.log.end(), "Close"); }
};

// The window holds the object that displayed last: it outlives the host's reference, a
// Display of its own keeps it, and a Display of another object ends it.
TEST_F(LogManagerWindow, WindowKeepsTheDisplayingObjectAliveUntilAnotherOneDisplays) {
  Open();
  const auto set = manager->FileSetManager();
  std::weak_ptr<LogManager> watched = manager;
  manager.reset();
  ASSERT_FALSE(watched.expired());
  EXPECT_TRUE(Window().IsLoaded());
  EXPECT_EQ(Window().LogManagerObject()->FileSetManager(), set);
  watched.lock()->Display();
  EXPECT_FALSE(watched.expired());
  EXPECT_EQ(Closes(), 0);

  TakeViewLog();
  auto next = std::make_shared<LogManager>();
  next->Display();
  EXPECT_TRUE(watched.expired());
  const auto events = TakeViewLog();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front(), "Close");
  EXPECT_EQ(events.back(), "Show loaded");
  EXPECT_TRUE(Window().IsLoaded());
  EXPECT_EQ(Window().LogManagerObject(), next);
}

// The end of an object that displayed closes the window, after releasing its set, unless
// the window is closed already; the window keeps its target.
TEST_F(LogManagerWindow, EndOfAnObjectThatDisplayedClosesTheWindowAfterReleasingItsSet) {
  auto first = std::make_shared<LogManager>();
  first->Display();
  auto second = std::make_shared<LogManager>();
  second->Display();
  Window().Click(cmdClose);
  TakeViewLog();
  first.reset();
  EXPECT_TRUE(TakeViewLog().empty());
  EXPECT_FALSE(Window().IsLoaded());

  auto third = std::make_shared<LogManager>();
  third->Display();
  std::weak_ptr<FileSet> secondSet = second->FileSetManager();
  bool setGoneAtClose = false;
  view.onClose = [&] { setGoneAtClose = secondSet.expired(); };
  second.reset();
  EXPECT_TRUE(setGoneAtClose);
  EXPECT_FALSE(Window().IsLoaded());
  EXPECT_EQ(Window().LogManagerObject(), third);
}

TEST_F(LogManagerWindow, EachThreadHasItsOwnWindowWhichEndsWithTheThread) {
  frmLogManager& mine = Open();
  frmLogManager* theirs = nullptr;
  std::weak_ptr<LogManager> theirManager;
  std::thread worker([&] {
    auto lm = std::make_shared<LogManager>();
    lm->Display();
    theirs = frmLogManager::CurrentThreadWindow();
    theirManager = lm;
  });
  worker.join();
  EXPECT_NE(theirs, nullptr);
  EXPECT_NE(theirs, &mine);
  EXPECT_EQ(view.created, 2);
  // The thread's end took its window, and with it the last reference to its LogManager,
  // whose end found no window left to close: ours is untouched.
  EXPECT_TRUE(theirManager.expired());
  EXPECT_TRUE(mine.IsLoaded());
  EXPECT_EQ(mine.LogManagerObject(), manager);
}

TEST_F(LogManagerWindow, DiscardingTheWindowEndsTheObjectItHeld) {
  Open();
  std::weak_ptr<LogManager> watched = manager;
  manager->FileSetManager()->EjectFileset();
  manager.reset();
  frmLogManager::DiscardCurrentThreadWindow();
  EXPECT_TRUE(watched.expired());
  EXPECT_EQ(frmLogManager::CurrentThreadWindow(), nullptr);
}

}  // namespace
}  // namespace tarvesk::test
