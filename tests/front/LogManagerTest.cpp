// The entry class and the thread's window: which file set the host sees, which object the
// window keeps alive and when the window closes.
#include <thread>

#include "automation/Error.h"
#include "tests/front/FrontFixture.h"

namespace tarvesk::test {
namespace {

using LogManagerFileSet = FrontTest;

TEST_F(LogManagerFileSet, OneSetUntilEjectOrDisplayReplacesIt) {
  Write("a.xml", LogFile("db", "01.01.2026", {}));
  NewManager()->FileSetManager();  // an object that never displayed makes no window at its end
  EXPECT_EQ(frmLogManager::CurrentThreadWindow(), nullptr);
  auto lm = NewManager();
  EXPECT_THROW(lm->EjectFileset(), Error);  // 91 without a set
  const auto first = lm->FileSetManager();
  EXPECT_EQ(lm->FileSetManager(), first);
  ASSERT_TRUE(first->LoadFileSet(folder.Path()));
  lm->EjectFileset();
  EXPECT_EQ(first->FileCount(), 0);         // the host's reference sees the emptied set
  EXPECT_THROW(lm->EjectFileset(), Error);  // twice in a row
  const auto second = lm->FileSetManager();
  EXPECT_NE(second, first);
  ASSERT_TRUE(second->LoadFileSet(folder.Path()));
  lm->Display();
  EXPECT_NE(lm->FileSetManager(), second);
  EXPECT_EQ(lm->FileSetManager()->FileCount(), 0);
  EXPECT_EQ(second->FileCount(), 1);  // released, not ejected
  setsToEject = {second, lm->FileSetManager()};
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
  EXPECT_EQ(Window().LogManagerObject()->FileSetManager(), set);
  watched.lock()->Display();
  EXPECT_FALSE(watched.expired());
  EXPECT_EQ(Closes(), 0);

  TakeViewLog();
  auto next = NewManager();
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
  auto first = NewManager();
  first->Display();
  auto second = NewManager();
  second->Display();
  Window().Click(cmdClose);
  TakeViewLog();
  first.reset();
  EXPECT_TRUE(TakeViewLog().empty());

  auto third = NewManager();
  third->Display();
  std::weak_ptr<FileSet> secondSet = second->FileSetManager();
  bool setGoneAtClose = false;
  view.onClose = [&] { setGoneAtClose = secondSet.expired(); };
  second.reset();
  EXPECT_TRUE(setGoneAtClose);
  EXPECT_FALSE(Window().IsLoaded());
  EXPECT_EQ(Window().LogManagerObject(), third);
}

TEST_F(LogManagerWindow, EachThreadHasItsOwnWindowWhichEndsWithTheThreadOrADiscard) {
  frmLogManager& mine = Open();
  frmLogManager* theirs = nullptr;
  std::weak_ptr<LogManager> theirManager;
  std::thread worker([&] {
    auto lm = NewManager();
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

  std::weak_ptr<LogManager> watched = manager;
  manager->FileSetManager()->EjectFileset();
  manager.reset();
  frmLogManager::DiscardCurrentThreadWindow();
  EXPECT_TRUE(watched.expired());
  EXPECT_EQ(frmLogManager::CurrentThreadWindow(), nullptr);
}

}  // namespace
}  // namespace tarvesk::test
