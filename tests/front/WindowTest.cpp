// The window's layout table and its life: start state, close, reopen, and which clicks
// and selections reach the presenter.
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
    Write("a.xml", LogFile("db.mdb", "06.12.2026", UpdateAction(7, "Kunden", "Name", "A", "B")));
    Load(folder.Path());
    ChooseFile(0);
    ChooseAction(0);
    ASSERT_TRUE(Seen(cmdUndo));
  }
  void ExpectStartState() {
    EXPECT_TRUE(Window().IsLoaded());
    EXPECT_EQ(Window().Text(txtPath), "");
    for (ControlId list : {lstFileSet, lstAction, lstDetails}) {
      EXPECT_TRUE(Entries(list).empty()) << LayoutOf(list).name;
      EXPECT_EQ(Window().ListIndex(list), -1) << LayoutOf(list).name;
    }
    std::vector<std::string> seen;
    for (const ControlLayout& control : WindowLayout()) {
      if (Seen(control.id)) seen.push_back(control.name);
    }
    EXPECT_THAT(seen, ElementsAre("Label1", "txtPath", "cmdFileManager", "fmeFileSet", "lstFileSet",
                                  "cmdClose"));
    EXPECT_FALSE(Window().Checked(chkDoAll));
  }
};

// Close unloads and ignores clicks, the target and its files stay; the reopened window is
// in its start state with an empty default path.
TEST_F(WindowLifecycle, CloseUnloadsAndTheReopenedWindowStartsAfresh) {
  Open();
  Browse();
  TakeViewLog();
  Window().Click(cmdClose);
  EXPECT_THAT(TakeViewLog(), ElementsAre("Close"));
  EXPECT_FALSE(Window().IsLoaded());
  EXPECT_FALSE(Seen(fmeFileSet));
  EXPECT_EQ(Window().LogManagerObject(), manager);
  EXPECT_EQ(manager->FileSetManager()->FileCount(), 1);
  Window().Click(cmdFileManager);
  EXPECT_EQ(picker.created, 1);  // the load of Browse alone

  setsToEject.push_back(manager->FileSetManager());
  manager->Display();
  ExpectStartState();
  picker.calls.clear();
  Load("");
  EXPECT_EQ(picker.calls.at(2), "strDefaultPath=");
}

// Display makes the thread's window, targets it and returns with it shown; another
// object's Display targets the same window and resets it without closing it, since the
// first object is still held by the host.
TEST_F(WindowLifecycle, DisplayOpensTheWindowInItsStartStateAndAnotherObjectResetsIt) {
  frmLogManager& window = Open();
  EXPECT_EQ(frmLogManager::CurrentThreadWindow(), &window);
  EXPECT_EQ(window.LogManagerObject(), manager);
  EXPECT_EQ(view.log.back(), "Show loaded");
  ExpectStartState();
  Browse();
  setsToEject.push_back(manager->FileSetManager());
  TakeViewLog();
  auto other = NewManager();
  other->Display();
  const auto events = TakeViewLog();
  EXPECT_EQ(std::count(events.begin(), events.end(), "Close"), 0);
  EXPECT_EQ(std::count(events.begin(), events.end(), "Cleared lstAction"), 1);
  EXPECT_EQ(std::count(events.begin(), events.end(), "Visible fmeNextActions"), 1);
  EXPECT_EQ(events.back(), "Show loaded");
  EXPECT_EQ(&Window(), &window);
  EXPECT_EQ(view.created, 1);
  EXPECT_EQ(window.LogManagerObject(), other);
  ExpectStartState();
  setsToEject.push_back(other->FileSetManager());
}

TEST_F(WindowLifecycle, ClicksReachOnlyControlsOnTheScreenAndSelectionsOnlyEntries) {
  Window().Show();  // without a target, a command reports 91
  Load(folder.Path());
  EXPECT_EQ(OnlyMessage().text,
            "Laufzeitfehler 91: Objektvariable oder With-Blockvariable nicht festgelegt");
  EXPECT_EQ(picker.created, 0);
  messages.shown.clear();

  Open();
  Browse();
  // The check box and the redo command stay hidden, whatever the view forwards.
  TakeViewLog();
  for (ControlId hidden : {cmdRedo, chkDoAll, Label1}) Window().Click(hidden);
  Window().cmdRedo_Click();  // and redo does nothing
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(TakeViewLog().empty());
  EXPECT_EQ(Entries(lstDetails).size(), 5u);
  Window().SelectListEntry(lstFileSet, 1);
  EXPECT_EQ(Window().ListIndex(lstFileSet), -1);
  Window().SelectListEntry(lstFileSet, 0);
  EXPECT_EQ(Window().ListIndex(lstFileSet), 0);
}

}  // namespace
}  // namespace tarvesk::test
