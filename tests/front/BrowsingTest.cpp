// Browsing a loaded set: a click on a file lists its actions, a click on an action its
// details, and the undo command is offered for actions of logs that have a database.
#include <filesystem>

#include "tests/front/FrontFixture.h"

namespace tarvesk::test {
namespace {

constexpr const char* kKundenUpdate =
    "1: UPDATE RECORDID=7 / TABLE: Kunden (QueryString: SELECT * FROM Kunden WHERE ID=7)";
constexpr const char* kKundenNew =
    "9: NEWRECORD RECORDID=8 / TABLE: Kunden (QueryString: SELECT * FROM Kunden WHERE ID=8)";
constexpr const char* kErrors = "Errors were recorded in this Logfile";

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
    Write("a.xml", LogFile(R"(\\srv\daten\kunden.mdb)", "06.12.2026 11:36:43",
                           Concat(UpdateAction(7, "Kunden", "Name", "Müller", "Meier"),
                                  NewRecordAction(8, "Kunden"))));
    Write("b.xml", LogFile("OFFLINE", "05.12.2026", UpdateAction(2, "Orte", "Ort", "A", "B")));
    Write("c.xml", LogFile("db.mdb", "04.12.2026", {}));
    Write("d.xml", LogFile("db.mdb", "03.12.2026", {}, "Satz gesperrt\nzweite Zeile"));
    Write("e.xml", LogFile("offline", "02.12.2026", UpdateAction(4, "Orte", "Ort", "C", "D"),
                           "Zeitüberschreitung"));
    Write("f.xml", LogFile("-", "01.12.2026", UpdateAction(5, "Orte", "Ort", "", "E")));
    auto g = UpdateAction(6, "Orte", "Ort", "X", "Y");
    g[1] = std::string("<TABLE>") + kErrors + "</TABLE>";
    Write("g.xml", LogFile("db.mdb", "01.01.2026", g));
    Open();
    Load(folder.Path());
    ASSERT_EQ(Entries(lstFileSet).size(), 7u);
  }
};

// Each file after another whose action was chosen: the old details and undo go away; a
// click without a selection changes nothing.
TEST_F(Browsing, AFileClickEmptiesAndHidesInOrderThenListsWhatTheFileHolds) {
  const struct {
    int file;
    Lines actions;
    std::string frames;
  } rows[] = {
      {0, {kKundenUpdate, kKundenNew}, "A--"},
      {2, {}, "---"},
      {3, {kErrors}, "A--"},
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
  Window().SelectListEntry(lstFileSet, -1);
  TakeViewLog();
  Window().Click(lstFileSet);
  EXPECT_TRUE(TakeViewLog().empty());
  EXPECT_EQ(Entries(lstAction).size(), 2u);
}

TEST_F(Browsing, AnActionClickHidesAndEmptiesInOrderThenListsTheDetailsAtTheEntrysPosition) {
  ChooseFile(0);
  TakeViewLog();
  ChooseAction(1);  // position 9, not the second line of the body
  EXPECT_THAT(TakeViewLog(),
              ElementsAre("Visible fmeDetails", "Visible fmeNextActions", "Cleared lstDetails",
                          "Visible fmeDetails", "Appended lstDetails", "Appended lstDetails",
                          "Visible fmeNextActions"));
  EXPECT_THAT(Entries(lstDetails), ElementsAre("ACTION: NEWRECORD", "RECORDID: 8"));
  Window().SelectListEntry(lstAction, -1);  // without a selection: details and undo go
  Window().Click(lstAction);
  EXPECT_EQ(Frames(), "A--");
  EXPECT_TRUE(Entries(lstDetails).empty());
}

// Undo for an action of any log but an OFFLINE one, never for the error entry.
TEST_F(Browsing, OffersUndoForActionsOfLogsThatAreNotOffline) {
  const struct {
    int file, action;
    std::string frames;
    Lines details;
  } rows[] = {
      {0,
       0,
       "ADN",
       {"ACTION: UPDATE", "FieldName: Name", "OldValue: Müller", "NewValue: Meier", "RECORDID: 7"}},
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
    EXPECT_FALSE(Entries(lstDetails).empty());
    EXPECT_TRUE(row.details.empty() || Entries(lstDetails) == row.details) << row.file;
    EXPECT_FALSE(Seen(cmdRedo) || Seen(chkDoAll));
  }
  ChooseFile(5);
  ChooseAction(0);
  EXPECT_EQ(Entries(lstDetails).at(2), "OldValue: ");  // an empty value
}

// A file gone or a set emptied behind the window's back is reported; the lists stay as
// far as the handler got, and the window stays usable.
TEST_F(Browsing, ErrorsOfAClickAreReportedAndTheWindowStaysUsable) {
  ChooseFile(0);
  std::filesystem::remove(folder / "c.xml");
  ChooseFile(2);
  EXPECT_EQ(OnlyMessage().text,
            "Laufzeitfehler 53: Datei nicht gefunden: " + (folder / "c.xml"));
  EXPECT_EQ(OnlyMessage().title, "Fehler");
  EXPECT_TRUE(Entries(lstAction).empty());
  EXPECT_FALSE(Seen(fmeActions));
  messages.shown.clear();

  ChooseFile(0);
  manager->FileSetManager()->EjectFileset();  // the host drives the same set
  ChooseAction(0);
  EXPECT_THAT(OnlyMessage().text, ::testing::StartsWith("Laufzeitfehler "));
  EXPECT_EQ(Frames(), "AD-");
  EXPECT_TRUE(Entries(lstDetails).empty());
  Load(folder.Path());
  ChooseFile(0);
  ChooseAction(0);
  EXPECT_TRUE(Seen(fmeNextActions));
}

// Entries past index 32,767 are selected like the first: details and undo for every action.
TEST_F(FrontTest, TheLastOfFortyThousandActionsShowsItsDetailsAndOffersUndo) {
  Lines body;
  for (int id = 1; id <= 40000; ++id) {
    body = Concat(std::move(body),
                  UpdateAction(id, "Kunden", "Ort", "alt", "neu" + std::to_string(id)));
  }
  Write("gross.xml", LogFile("db.mdb", "06.12.2026", body));
  Open();
  Load(folder.Path());
  ChooseFile(0);
  ASSERT_EQ(Entries(lstAction).size(), 40000u);
  ChooseAction(39999);
  EXPECT_EQ(Window().ListIndex(lstAction), 39999);
  EXPECT_THAT(Entries(lstDetails), ::testing::Contains("NewValue: neu40000"));
  EXPECT_TRUE(Seen(cmdUndo));
}

}  // namespace
}  // namespace tarvesk::test
