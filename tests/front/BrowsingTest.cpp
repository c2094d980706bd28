#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/front/FrontFixture.h"

namespace tarvesk::test {
namespace {

using enum ControlId;
using ::testing::ElementsAre;

constexpr const char* kKundenUpdate =
    "1: UPDATE RECORDID=7 / TABLE: Kunden (QueryString: SELECT * FROM Kunden WHERE ID=7)";
constexpr const char* kKundenNew =
    "9: NEWRECORD RECORDID=8 / TABLE: Kunden (QueryString: SELECT * FROM Kunden WHERE ID=8)";

// Files in listing order:
//   0 a.xml  two actions, database on a server
//   1 b.xml  one action of an OFFLINE log
//   2 c.xml  no action, no error information
//   3 d.xml  no action, error information with a line feed inside
//   4 e.xml  one action, database "offline" in small letters, error information
//   5 f.xml  one action without a DATABASE property, an empty old value
class Browsing : public FrontTest {
 protected:
  void SetUp() override {
    FrontTest::SetUp();
    folder.Write("a.xml", LogLines(R"(\\srv\daten\kunden.mdb)", "06.12.2026 11:36:43",
                                   Concat({UpdateAction(7, "Kunden", "Name", "Müller", "Meier"),
                                           NewRecordAction(8, "Kunden")})));
    folder.Write("b.xml",
                 LogLines("OFFLINE", "05.12.2026", UpdateAction(2, "Orte", "Ort", "A", "B")));
    folder.Write("c.xml", LogLines("db.mdb", "04.12.2026", {}));
    folder.Write("d.xml", LogLines("db.mdb", "03.12.2026", {}, "Satz gesperrt\nzweite Zeile"));
    folder.Write("e.xml", LogLines("offline", "02.12.2026",
                                   UpdateAction(4, "Orte", "Ort", "C", "D"), "Zeitüberschreitung"));
    folder.Write("f.xml", LogLines("-", "01.12.2026", UpdateAction(5, "Orte", "Ort", "", "E")));
    Open();
    Load(folder.Path());
    ASSERT_EQ(Entries(lstFileSet).size(), 6u);
  }
};

class FileClick : public Browsing {};

TEST_F(FileClick, ListsTheActionsOfTheChosenFileAndShowsTheirFrame) {
  ChooseFile(0);
  EXPECT_THAT(Entries(lstAction), ElementsAre(kKundenUpdate, kKundenNew));
  EXPECT_TRUE(Seen(fmeActions));
  EXPECT_FALSE(Seen(fmeDetails));
  EXPECT_FALSE(Seen(fmeNextActions));
  EXPECT_EQ(Window().ListIndex(lstAction), -1);
}

TEST_F(FileClick, EmptiesAndHidesInOrderBeforeListing) {
  TakeViewLog();
  ChooseFile(0);
  EXPECT_THAT(TakeViewLog(),
              ElementsAre("Cleared lstAction", "Visible fmeActions", "Visible fmeDetails",
                          "Visible fmeNextActions", "Appended lstAction", "Appended lstAction",
                          "Visible fmeActions"));
}

TEST_F(FileClick, WithoutSelectionChangesNothing) {
  ChooseFile(0);
  Window().SelectListEntry(lstFileSet, -1);
  TakeViewLog();
  Window().Click(lstFileSet);
  EXPECT_TRUE(TakeViewLog().empty());
  EXPECT_EQ(Entries(lstAction).size(), 2u);
}

TEST_F(FileClick, LogWithoutActionsLeavesTheFrameHidden) {
  ChooseFile(0);
  ChooseFile(2);
  EXPECT_TRUE(Entries(lstAction).empty());
  EXPECT_FALSE(Seen(fmeActions));
}

TEST_F(FileClick, LogWithOnlyErrorsListsTheErrorEntryAlone) {
  ChooseFile(3);
  EXPECT_THAT(Entries(lstAction), ElementsAre("Errors were recorded in this Logfile"));
  EXPECT_TRUE(Seen(fmeActions));
}

TEST_F(FileClick, SecondFileReplacesTheActionsAndHidesDetailsAndUndo) {
  ChooseFile(0);
  ChooseAction(0);
  ASSERT_TRUE(Seen(fmeNextActions));
  ChooseFile(1);
  EXPECT_THAT(Entries(lstAction),
              ElementsAre("1: UPDATE RECORDID=2 / TABLE: Orte (QueryString: SELECT * FROM Orte "
                          "WHERE ID=2)"));
  EXPECT_TRUE(Seen(fmeActions));
  EXPECT_FALSE(Seen(fmeDetails));
  EXPECT_FALSE(Seen(fmeNextActions));
}

TEST_F(FileClick, UnreadableFileIsReportedAndLeavesTheListsAsFarAsTheyGot) {
  ChooseFile(0);
  std::filesystem::remove(std::filesystem::path(folder.Path()) / "c.xml");
  ChooseFile(2);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Laufzeitfehler 53: Datei nicht gefunden");
  EXPECT_EQ(messages.shown[0].title, "Fehler");
  EXPECT_TRUE(Entries(lstAction).empty());
  EXPECT_FALSE(Seen(fmeActions));
  ChooseFile(1);  // still usable
  EXPECT_EQ(Entries(lstAction).size(), 1u);
}

class ActionClick : public Browsing {};

TEST_F(ActionClick, ListsTheDetailsOfTheActionAtTheEntrysPosition) {
  ChooseFile(0);
  ChooseAction(1);  // position 9, not the second line of the body
  EXPECT_THAT(Entries(lstDetails), ElementsAre("ACTION: NEWRECORD", "RECORDID: 8"));
  ChooseAction(0);
  EXPECT_THAT(Entries(lstDetails),
              ElementsAre("ACTION: UPDATE", "FieldName: Name", "OldValue: Müller",
                          "NewValue: Meier", "RECORDID: 7"));
}

TEST_F(ActionClick, HidesAndEmptiesInOrderBeforeListing) {
  ChooseFile(0);
  TakeViewLog();
  ChooseAction(1);
  EXPECT_THAT(TakeViewLog(),
              ElementsAre("Visible fmeDetails", "Visible fmeNextActions", "Cleared lstDetails",
                          "Visible fmeDetails", "Appended lstDetails", "Appended lstDetails",
                          "Visible fmeNextActions"));
}

TEST_F(ActionClick, EmptyValueEndsTheLineWithColonAndBlank) {
  ChooseFile(5);
  ChooseAction(0);
  EXPECT_EQ(Entries(lstDetails).at(2), "OldValue: ");
}

// The rows of the window's state after a click on an action.
TEST_F(ActionClick, WithoutSelectionHidesDetailsAndUndoOnly) {
  ChooseFile(0);
  ChooseAction(0);
  Window().SelectListEntry(lstAction, -1);
  Window().Click(lstAction);
  EXPECT_TRUE(Seen(fmeActions));
  EXPECT_FALSE(Seen(fmeDetails));
  EXPECT_FALSE(Seen(fmeNextActions));
  EXPECT_TRUE(Entries(lstDetails).empty());
}

TEST_F(ActionClick, ErrorEntryShowsTheWholeErrorTextAsOneLineWithoutUndo) {
  ChooseFile(3);
  ChooseAction(0);
  EXPECT_THAT(Entries(lstDetails), ElementsAre("Satz gesperrt\nzweite Zeile"));
  EXPECT_TRUE(Seen(fmeActions));
  EXPECT_TRUE(Seen(fmeDetails));
  EXPECT_FALSE(Seen(fmeNextActions));
}

TEST_F(ActionClick, ActionOfAnOfflineLogOffersNoUndo) {
  ChooseFile(1);
  ChooseAction(0);
  EXPECT_TRUE(Seen(fmeActions));
  EXPECT_TRUE(Seen(fmeDetails));
  EXPECT_FALSE(Seen(fmeNextActions));
}

TEST_F(ActionClick, ActionOfAnyOtherLogOffersUndoButNeverRedo) {
  ChooseFile(0);
  ChooseAction(0);
  EXPECT_TRUE(Seen(fmeActions));
  EXPECT_TRUE(Seen(fmeDetails));
  EXPECT_TRUE(Seen(fmeNextActions));
  EXPECT_TRUE(Seen(cmdUndo));
  EXPECT_FALSE(Seen(cmdRedo));
  EXPECT_FALSE(Seen(chkDoAll));
}

TEST_F(ActionClick, OfflineInSmallLettersIsAnotherDatabase) {
  ChooseFile(4);
  ChooseAction(0);
  EXPECT_TRUE(Seen(fmeNextActions));
  ChooseAction(1);  // its error entry
  EXPECT_THAT(Entries(lstDetails), ElementsAre("Zeitüberschreitung"));
  EXPECT_FALSE(Seen(fmeNextActions));
}

TEST_F(ActionClick, LogWithoutDatabaseOffersUndo) {
  ChooseFile(5);
  ChooseAction(0);
  EXPECT_TRUE(Seen(fmeNextActions));
}

TEST_F(ActionClick, EntryThatOnlyContainsTheErrorTextIsAnAction) {
  TempFolder other;
  auto body = UpdateAction(6, "Orte", "Ort", "X", "Y");
  body[1] = "<TABLE>Errors were recorded in this Logfile</TABLE>";
  other.Write("g.xml", LogLines("db.mdb", "01.01.2026", body));
  Load(other.Path());
  ChooseFile(0);
  ChooseAction(0);
  EXPECT_EQ(Entries(lstDetails).at(0), "ACTION: UPDATE");
  EXPECT_TRUE(Seen(fmeNextActions));
}

TEST_F(ActionClick, SetEmptiedBehindTheWindowsBackIsReportedAndTheWindowStaysUsable) {
  ChooseFile(0);
  manager->FileSetManager()->EjectFileset();  // the host drives the same set
  ChooseAction(0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Fehler");
  EXPECT_THAT(messages.shown[0].text, ::testing::StartsWith("Laufzeitfehler "));
  EXPECT_TRUE(Seen(fmeDetails));  // as far as the handler got
  EXPECT_TRUE(Entries(lstDetails).empty());
  EXPECT_FALSE(Seen(fmeNextActions));

  Load(folder.Path());
  ChooseFile(0);
  ChooseAction(0);
  EXPECT_TRUE(Seen(fmeNextActions));
}

}  // namespace
}  // namespace tarvesk::test
