// The window's layout and life, and LogManager: which set the host sees, what the window keeps.
#include <thread>

#include "automation/Error.h"
#include "tests/front/FrontFixture.h"

namespace tarvesk::test {
namespace {

// LayoutOf finds a control by its id, and the view builds frames before their controls.
TEST(WindowLayoutRules, TableIsInTabOrderAndEveryControlFitsIntoItsFrameOrTheClientArea) {
  int expected = 0;
  for (const ControlLayout& control : WindowLayout()) {
    EXPECT_EQ(static_cast<int>(control.id), expected) << control.name;
    EXPECT_EQ(control.tabIndex, expected++) << control.name;
    const ControlLayout* frame = control.parent ? &LayoutOf(*control.parent) : nullptr;
    EXPECT_TRUE(!frame || frame->kind == ControlKind::Frame) << control.name;
    EXPECT_LE(control.left + control.width, frame ? frame->width : kClientWidthTwips);
    EXPECT_LE(control.top + control.height, frame ? frame->height : kClientHeightTwips);
  }
}

class WindowLifecycle : public FrontTest {
 protected:
  void Browse() {
    Write("a.xml", "db.mdb", "06.12.2026", Action(7, "Kunden", "Name", "A", "B"));
    Load(folder.Path());
    Choose(lstFileSet, 0);
    Choose(lstAction, 0);
    ASSERT_TRUE(Seen(cmdUndo));
  }
  void ExpectStartState() {
    EXPECT_TRUE(Entries(lstAction).empty());  // every control's state is reset at once
    EXPECT_EQ(Window().ListIndex(lstAction), -1);
    Lines seen;
    for (const ControlLayout& control : WindowLayout()) {
      if (Seen(control.id)) seen.push_back(control.name);
    }
    EXPECT_THAT(seen, ElementsAre("Label1", "txtPath", "cmdFileManager", "fmeFileSet", "lstFileSet",
                                  "cmdClose"));
  }
};

// No target: 91; Display: start state, also by another object; in-range selection; Close unloads.
TEST_F(WindowLifecycle, DisplayOpensTheWindowInItsStartStateAndCloseUnloadsIt) {
  Window().Show();
  Load(folder.Path());
  EXPECT_EQ(TakeMessage(),
            "Fehler: Laufzeitfehler 91: Objektvariable oder With-Blockvariable nicht festgelegt");
  EXPECT_EQ(picker.created, 0);
  Open();
  ExpectStartState();
  Browse();
  Window().SelectListEntry(lstFileSet, 1);
  EXPECT_EQ(Window().ListIndex(lstFileSet), -1);
  setsToEject.push_back(manager->FileSetManager());
  TakeViewLog();
  const auto first = manager;
  manager = NewManager();
  manager->Display();
  const auto events = TakeViewLog();
  EXPECT_EQ(std::count(events.begin(), events.end(), "Close"), 0);
  EXPECT_EQ(std::count(events.begin(), events.end(), "Cleared lstAction"), 1);
  ExpectStartState();

  Browse();
  TakeViewLog();
  Window().Click(cmdClose);
  EXPECT_THAT(TakeViewLog(), ElementsAre("Close"));
  EXPECT_FALSE(Window().IsLoaded());
  EXPECT_EQ(Window().LogManagerObject(), manager);
  EXPECT_EQ(manager->FileSetManager()->FileCount(), 1);
  Window().Click(cmdFileManager);
  EXPECT_EQ(picker.created, 2);  // the loads of Browse alone
  setsToEject.push_back(manager->FileSetManager());
  manager->Display();
  ExpectStartState();
}

// One set until EjectFileset (emptied) or Display (released); without a set, EjectFileset is 91.
TEST_F(WindowLifecycle, OneSetPerObjectTheLastDisplayingObjectKeptAliveAndOneWindowPerThread) {
  Write("a.xml", "db", "01.01.2026", {});
  NewManager()->FileSetManager();  // an object that never displayed makes no window at its end
  EXPECT_EQ(frmLogManager::CurrentThreadWindow(), nullptr);
  auto lm = NewManager();
  EXPECT_THROW(lm->EjectFileset(), Error);
  const auto first = lm->FileSetManager();
  ASSERT_TRUE(first->LoadFileSet(folder.Path()));
  lm->EjectFileset();
  EXPECT_EQ(first->FileCount(), 0);
  const auto second = lm->FileSetManager();
  ASSERT_TRUE(second->LoadFileSet(folder.Path()));
  lm->Display();
  EXPECT_NE(lm->FileSetManager(), second);
  EXPECT_EQ(second->FileCount(), 1);
  setsToEject = {second};
  // The window keeps the last displaying object; its end closes the window after its set goes.
  const auto set = lm->FileSetManager();
  std::weak_ptr<LogManager> watched = lm;
  lm.reset();
  ASSERT_FALSE(watched.expired());
  EXPECT_EQ(Window().LogManagerObject()->FileSetManager(), set);
  watched.lock()->Display();
  EXPECT_FALSE(watched.expired());
  EXPECT_THAT(TakeViewLog(), ::testing::Not(::testing::Contains("Close")));
  auto next = NewManager();
  next->Display();
  EXPECT_TRUE(watched.expired());
  const Lines events = TakeViewLog();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front(), "Close");
  EXPECT_EQ(events.back(), "Show loaded");

  auto third = NewManager();
  third->Display();
  Window().Click(cmdClose);
  TakeViewLog();
  next.reset();  // the window is closed already
  EXPECT_TRUE(TakeViewLog().empty());
  auto fourth = NewManager();
  fourth->Display();
  std::weak_ptr<FileSet> thirdSet = third->FileSetManager();
  bool setGoneAtClose = false;
  view.onClose = [&] { setGoneAtClose = thirdSet.expired(); };
  third.reset();
  EXPECT_TRUE(setGoneAtClose);
  EXPECT_FALSE(Window().IsLoaded());
  EXPECT_EQ(Window().LogManagerObject(), fourth);
  // Each thread has its own window, which ends with the thread or a discard.
  manager = std::move(fourth);
  manager->Display();
  frmLogManager& mine = Window();
  frmLogManager* theirs = nullptr;
  std::weak_ptr<LogManager> theirManager;
  std::thread worker([&] {
    auto lm = NewManager();
    lm->Display();
    theirs = frmLogManager::CurrentThreadWindow();
    theirManager = lm;
  });
  worker.join();
  EXPECT_NE(theirs, &mine);
  // The thread's end took its window and LogManager, whose end left ours untouched.
  EXPECT_TRUE(theirManager.expired());
  EXPECT_TRUE(mine.IsLoaded());
  EXPECT_EQ(mine.LogManagerObject(), manager);
  std::weak_ptr<LogManager> ours = manager;
  manager->FileSetManager()->EjectFileset();
  manager.reset();
  frmLogManager::DiscardCurrentThreadWindow();
  EXPECT_TRUE(ours.expired());
  EXPECT_EQ(frmLogManager::CurrentThreadWindow(), nullptr);
}

}  // namespace
}  // namespace tarvesk::test
