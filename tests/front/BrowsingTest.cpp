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
constexpr const char* kErrorEntry = "Errors were recorded in this Logfile";

// Files in listing order:
//   0 a.xml  two actions, database on a server
//   1 b.xml  one action of an OFFLINE log
//   2 c.xml  no action, no error information
//   3 d.xml  no action, error information with a line feed inside
//   4 e.xml  one action, database "offline" in small letters, error information
//   5 f.xml  one action without a DATABASE property, an empty old value
//   6 g.xml  one action whose entry holds nothing but the error entry's text
class Browsing : public FrontTest {
 protected:
  void SetUp() override {
    FrontTest::SetUp();
    folder.WriteLines("a.xml", LogLines(R"(\\srv\daten\kunden.mdb)", "06.12.2026 11:36:43",
                                   Concat(UpdateAction(7, "Kunden", "Name", "Müller", "Meier"),
                                          NewRecordAction(8, "Kunden"))));
    folder.WriteLines("b.xml",
                 LogLines("OFFLINE", "05.12.2026", UpdateAction(2, "Orte", "Ort", "A", "B")));
    folder.WriteLines("c.xml", LogLines("db.mdb", "04.12.2026", {}));
    folder.WriteLines("d.xml", LogLines("db.mdb", "03.12.2026", {}, "Satz gesperrt\nzweite Zeile"));
    folder.WriteLines("e.xml", LogLines("offline", "02.12.2026",
                                   UpdateAction(4, "Orte", "Ort", "C", "D"), "Zeitüberschreitung"));
    folder.WriteLines("f.xml", LogLines("-", "01.12.2026", UpdateAction(5, "Orte", "Ort", "", "E")));
    auto g = UpdateAction(6, "Orte", "Ort", "X", "Y");
    g[1] = std::string("<TABLE>") + kErrorEntry + "</TABLE>";
    folder.WriteLines("g.xml", LogLines("db.mdb", "01.01.2026", g));
    Open();
    Load(folder.Path());
    ASSERT_EQ(Entries(lstFileSet).size(), 7u);
  }
};

class FileClick : public Browsing {};

// Each file after another whose action was chosen: the old details and undo go away.
TEST_F(FileClick, EmptiesAndHidesInOrderThenListsWhatTheFileHolds) {
  const struct {
    int file;
    std::vector<std::string> actions;
    std::string frames;
  } rows[] = {
      {0, {kKundenUpdate, kKundenNew}, "A--"},
      {2, {}, "---"},
      {3, {kErrorEntry}, "A--"},
      {1,
       {"1: UPDATE RECORDID=2 / TABLE: Orte (QueryString: SELECT * FROM Orte WHERE ID=2)"},
       "A--"},
      {0, {kKundenUpdate, kKundenNew}, "A--"},
  };
  TakeViewLog();
  ChooseFile(0);
  EXPECT_THAT(TakeViewLog(),
              ElementsAre("Cleared lstAction", "Visible fmeActions", "Visible fmeDetails",
                          "Visible fmeNextActions", "Appended lstAction", "Appended lstAction",
                          "Visible fmeActions"));
  EXPECT_EQ(Window().ListIndex(lstAction), -1);
  for (const auto& row : rows) {
    ChooseFile(row.file);
    EXPECT_EQ(Entries(lstAction), row.actions) << row.file;
    EXPECT_EQ(Frames(), row.frames) << row.file;
    if (!row.actions.empty()) ChooseAction(0);
  }
}

TEST_F(FileClick, WithoutSelectionChangesNothing) {
  ChooseFile(0);
  Window().SelectListEntry(lstFileSet, -1);
  TakeViewLog();
  Window().Click(lstFileSet);
  EXPECT_TRUE(TakeViewLog().empty());
  EXPECT_EQ(Entries(lstAction).size(), 2u);
}

TEST_F(FileClick, UnreadableFileIsReportedAndLeavesTheListsAsFarAsTheyGot) {
  ChooseFile(0);
  std::filesystem::remove(std::filesystem::path(folder.Path()) / "c.xml");
  ChooseFile(2);
  EXPECT_EQ(OnlyMessage().text, "Laufzeitfehler 53: Datei nicht gefunden: " +
                                    (std::filesystem::path(folder.Path()) / "c.xml").string());
  EXPECT_EQ(OnlyMessage().title, "Fehler");
  EXPECT_TRUE(Entries(lstAction).empty());
  EXPECT_FALSE(Seen(fmeActions));
  ChooseFile(1);  // still usable
  EXPECT_EQ(Entries(lstAction).size(), 1u);
}

class ActionClick : public Browsing {};

TEST_F(ActionClick, HidesAndEmptiesInOrderThenListsTheDetailsAtTheEntrysPosition) {
  ChooseFile(0);
  TakeViewLog();
  ChooseAction(1);  // position 9, not the second line of the body
  EXPECT_THAT(TakeViewLog(),
              ElementsAre("Visible fmeDetails", "Visible fmeNextActions", "Cleared lstDetails",
                          "Visible fmeDetails", "Appended lstDetails", "Appended lstDetails",
                          "Visible fmeNextActions"));
  EXPECT_THAT(Entries(lstDetails), ElementsAre("ACTION: NEWRECORD", "RECORDID: 8"));
  ChooseAction(0);
  EXPECT_THAT(Entries(lstDetails),
              ElementsAre("ACTION: UPDATE", "FieldName: Name", "OldValue: Müller",
                          "NewValue: Meier", "RECORDID: 7"));
  ChooseFile(5);
  ChooseAction(0);
  EXPECT_EQ(Entries(lstDetails).at(2), "OldValue: ");  // an empty value
}

// The rows of the window's state after a click on an action: undo for an action of any
// log but an OFFLINE one, never for the error entry.
// Entries past index 32,767 are selected like the first: details and undo for every action.
TEST_F(FrontTest, TheLastOfFortyThousandActionsShowsItsDetailsAndOffersUndo) {
  std::vector<std::string> body;
  for (int id = 1; id <= 40000; ++id) {
    const auto action = UpdateAction(id, "Kunden", "Ort", "alt", "neu" + std::to_string(id));
    body.insert(body.end(), action.begin(), action.end());
  }
  folder.WriteLines("gross.xml", LogLines("db.mdb", "06.12.2026", body));
  Open();
  Load(folder.Path());
  ChooseFile(0);
  ASSERT_EQ(Entries(lstAction).size(), 40000u);
  ChooseAction(39999);
  EXPECT_EQ(Window().ListIndex(lstAction), 39999);
  EXPECT_THAT(Entries(lstDetails), ::testing::Contains("NewValue: neu40000"));
  EXPECT_TRUE(Seen(cmdUndo));
}

TEST_F(ActionClick, OffersUndoForActionsOfLogsThatAreNotOffline) {
  const struct {
    int file, action;
    std::string frames;
    std::vector<std::string> details;  // checked when given
  } rows[] = {
      {0, 0, "ADN", {}},
      {1, 0, "AD-", {}},  // OFFLINE
      {3, 0, "AD-", {"Satz gesperrt\nzweite Zeile"}},
      {4, 0, "ADN", {}},  // "offline" is another database
      {4, 1, "AD-", {"Zeitüberschreitung"}},
      {5, 0, "ADN", {}},  // no database
      {6,
       0,
       "ADN",
       {"ACTION: UPDATE", "FieldName: Ort", "OldValue: X", "NewValue: Y", "RECORDID: 6"}},
  };
  for (const auto& row : rows) {
    ChooseFile(row.file);
    ChooseAction(row.action);
    EXPECT_EQ(Frames(), row.frames) << row.file << "/" << row.action;
    if (!row.details.empty()) {
      EXPECT_EQ(Entries(lstDetails), row.details);
    }
    EXPECT_FALSE(Entries(lstDetails).empty());
  }
}

TEST_F(ActionClick, UndoButNeverRedoAndWithoutSelectionHidesDetailsAndUndoOnly) {
  ChooseFile(0);
  ChooseAction(0);
  EXPECT_TRUE(Seen(cmdUndo));
  EXPECT_FALSE(Seen(cmdRedo));
  EXPECT_FALSE(Seen(chkDoAll));
  Window().SelectListEntry(lstAction, -1);
  Window().Click(lstAction);
  EXPECT_EQ(Frames(), "A--");
  EXPECT_TRUE(Entries(lstDetails).empty());
}

TEST_F(ActionClick, SetEmptiedBehindTheWindowsBackIsReportedAndTheWindowStaysUsable) {
  ChooseFile(0);
  manager->FileSetManager()->EjectFileset();  // the host drives the same set
  ChooseAction(0);
  EXPECT_EQ(OnlyMessage().title, "Fehler");
  EXPECT_THAT(OnlyMessage().text, ::testing::StartsWith("Laufzeitfehler "));
  EXPECT_EQ(Frames(), "AD-");  // as far as the handler got
  EXPECT_TRUE(Entries(lstDetails).empty());

  Load(folder.Path());
  ChooseFile(0);
  ChooseAction(0);
  EXPECT_TRUE(Seen(fmeNextActions));
}

}  // namespace
}  // namespace tarvesk::test
