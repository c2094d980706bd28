// The viewer's commands: loading a folder through the picker, a click on a file lists its
// actions, a click on an action its details, and the undo command hands the selection to an
// ActionHandler (what the handler asks and tells is tested with the handler, tests/undo).
#include <filesystem>

#include "automation/Error.h"
#include "components/datalayer/DataLayer.h"
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
    Write(
        "a.xml", R"(\\srv\daten\kunden.mdb)", "06.12.2026 11:36:43",
        Concat(UpdateAction(7, "Kunden", "Name", "Müller", "Meier"), NewRecordAction(8, "Kunden")));
    Write("b.xml", "OFFLINE", "05.12.2026", UpdateAction(2, "Orte", "Ort", "A", "B"));
    Write("c.xml", "db.mdb", "04.12.2026", {});
    Write("d.xml", "db.mdb", "03.12.2026", {}, "Satz gesperrt\nzweite Zeile");
    Write("e.xml", "offline", "02.12.2026", UpdateAction(4, "Orte", "Ort", "C", "D"),
          "Zeitüberschreitung");
    Write("f.xml", "-", "01.12.2026", UpdateAction(5, "Orte", "Ort", "", "E"));
    auto g = UpdateAction(6, "Orte", "Ort", "X", "Y");
    g[1] = std::string("<TABLE>") + kErrors + "</TABLE>";
    Write("g.xml", "db.mdb", "01.01.2026", g);
    Open();
    Load(folder.Path());
    ASSERT_EQ(Entries(lstFileSet).size(), 7u);
  }
};

// A file click empties and hides in order, then lists what the file holds; an action click
// hides and empties in order, then lists the details of the entry's position. A click
// without a selection changes nothing, or drops the details and undo.
TEST_F(Browsing, ClicksEmptyAndHideInOrderThenListWhatWasChosen) {
  TakeViewLog();
  ChooseFile(0);
  EXPECT_THAT(TakeViewLog(),
              ElementsAre("Cleared lstAction", "Visible fmeActions", "Visible fmeDetails",
                          "Visible fmeNextActions", "Appended lstAction", "Appended lstAction",
                          "Visible fmeActions"));
  EXPECT_THAT(Entries(lstAction), ElementsAre(kKundenUpdate, kKundenNew));
  EXPECT_EQ(Window().ListIndex(lstAction), -1);
  ChooseAction(1);  // position 9, not the second line of the body
  EXPECT_THAT(TakeViewLog(),
              ElementsAre("Visible fmeDetails", "Visible fmeNextActions", "Cleared lstDetails",
                          "Visible fmeDetails", "Appended lstDetails", "Appended lstDetails",
                          "Visible fmeNextActions"));
  EXPECT_THAT(Entries(lstDetails), ElementsAre("ACTION: NEWRECORD", "RECORDID: 8"));
  Window().SelectListEntry(lstFileSet, -1);
  Window().Click(lstFileSet);
  EXPECT_TRUE(TakeViewLog().empty());
  Window().SelectListEntry(lstAction, -1);
  Window().Click(lstAction);
  EXPECT_EQ(Frames(), "A--");
  EXPECT_TRUE(Entries(lstDetails).empty());
  ChooseFile(2);  // after a chosen action: the old details and undo go
  EXPECT_EQ(Frames(), "---");
  EXPECT_TRUE(Entries(lstAction).empty());
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
      {6, 0, "ADN", {}},  // the error entry's text in an action
  };
  for (const auto& row : rows) {
    ChooseFile(row.file);
    ChooseAction(row.action);
    EXPECT_EQ(Frames(), row.frames) << row.file << "/" << row.action;
    EXPECT_FALSE(Entries(lstDetails).empty());
    EXPECT_TRUE(row.details.empty() || Entries(lstDetails) == row.details) << row.file;
    EXPECT_FALSE(Seen(cmdRedo) || Seen(chkDoAll));
  }
  EXPECT_EQ(Entries(lstDetails).at(1), "FieldName: Ort");
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
  EXPECT_EQ(TakeMessage(), "Fehler: Laufzeitfehler 53: Datei nicht gefunden: " + folder / "c.xml");
  EXPECT_TRUE(Entries(lstAction).empty());
  EXPECT_FALSE(Seen(fmeActions));
  ChooseFile(0);
  manager->FileSetManager()->EjectFileset();  // the host drives the same set
  ChooseAction(0);
  EXPECT_THAT(TakeMessage(), ::testing::StartsWith("Fehler: Laufzeitfehler "));
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
    body = Concat(std::move(body), UpdateAction(id, "K", "Ort", "alt", "neu" + std::to_string(id)));
  }
  Write("gross.xml", "db.mdb", "06.12.2026", body);
  Open();
  Load(folder.Path());
  ChooseFile(0);
  ChooseAction(39999);
  EXPECT_EQ(Window().ListIndex(lstAction), 39999);
  EXPECT_THAT(Entries(lstDetails), ::testing::Contains("NewValue: neu40000"));
  EXPECT_TRUE(Seen(cmdUndo));
}

class LoadCommand : public FrontTest {
 protected:
  void SetUp() override {
    Write("a.xml", R"(C:\Daten\kunden.mdb)", "06.12.2026 11:36:43",
          UpdateAction(7, "Kunden", "Name", "Müller", "Meier"));
    Write("b.xml", "OFFLINE", "05.12.2026 08:00:00", NewRecordAction(8, "Kunden"));
    Open();
  }
};

// One picker per command, its current path the next default; the set's files each once in
// its order, the name shown the file's, whatever FILENAME its header carries.
TEST_F(LoadCommand, AsksOnePickerPerCommandAndListsEveryLogFileOnceInSetOrder) {
  Load(folder.Path());
  EXPECT_THAT(picker.calls,
              ElementsAre("bolShowDirectoryOnly=True", "bolHideIcon=True", "strDefaultPath=",
                          "strFormCaption=Pfad für das oder die Logfiles auswählen",
                          "DisplayFileManager", "strResultFullPath"));
  EXPECT_EQ(Window().Text(txtPath), folder.Path());
  // a.xml holds the later session: the list keeps the set's order, not the time's.
  EXPECT_THAT(Entries(lstFileSet),
              ElementsAre(R"(06.12.2026 11:36:43: C:\Daten\kunden.mdb (a.xml))",
                          "05.12.2026 08:00:00: OFFLINE (b.xml)"));
  EXPECT_EQ(Window().ListIndex(lstFileSet), -1);
  ChooseFile(0);
  const auto cached = manager->FileSetManager()->LogContent(1);
  Lines ownName = LogLines("-", "-", NewRecordAction(3, "Orte"));
  ownName.insert(ownName.begin() + 3, "<FILENAME>eigener</FILENAME>");
  folder.WriteLines("a.xml", ownName);
  Load(folder.Path() + "/");
  EXPECT_EQ(picker.calls.at(8), "strDefaultPath=" + folder.Path());
  EXPECT_EQ(picker.created, 2);
  EXPECT_THAT(Entries(lstFileSet),
              ElementsAre(":  (a.xml)", "05.12.2026 08:00:00: OFFLINE (b.xml)"));
  ChooseFile(0);  // the reload dropped the logs cached for the old files
  EXPECT_NE(manager->FileSetManager()->LogContent(1), cached);
  EXPECT_THAT(Entries(lstAction), ElementsAre("1: NEWRECORD RECORDID=3 / TABLE: Orte "
                                              "(QueryString: SELECT * FROM Orte WHERE ID=3)"));
  TempFolder empty;  // no log at all: an empty list, no error
  Load(empty.Path());
  EXPECT_EQ(Window().Text(txtPath), empty.Path());
  EXPECT_TRUE(Entries(lstFileSet).empty());
  EXPECT_TRUE(messages.shown.empty());
}

// Cancel, a missing picker and a failed load leave nothing of the ejected set on the
// screen (a click there would reach a file set that is gone); the window stays usable.
TEST_F(LoadCommand, WhatEndsTheCommandLeavesNoListOfTheEjectedSet) {
  const struct {
    std::function<void()> command;
    std::string path;     // shown afterwards
    std::string message;  // title and start of the one message, "" for none
  } rows[] = {
      {[&] { Load(""); }, "", ""},
      {[&] { Load(folder.Path() + "/gone"); }, folder.Path() + "/gone",
       "Fehler: Laufzeitfehler 76: Pfad nicht gefunden"},
      {[&] {
         env.Components().Unregister(kFileManagerProgId);
         Window().Click(cmdFileManager);
       },
       folder.Path(), "Komponente nicht verfügbar!: "},
  };
  for (const auto& row : rows) {
    Load(folder.Path());
    const auto set = manager->FileSetManager();
    ChooseFile(0);
    ChooseAction(0);
    ASSERT_TRUE(Seen(cmdUndo));
    row.command();
    EXPECT_EQ(Window().Text(txtPath), row.path);
    EXPECT_EQ(manager->FileSetManager(), set);  // the same set, emptied
    EXPECT_EQ(set->FileCount(), 0);
    for (ControlId list : {lstFileSet, lstAction, lstDetails}) EXPECT_TRUE(Entries(list).empty());
    EXPECT_EQ(Frames(), "---");
    EXPECT_TRUE(Seen(fmeFileSet));
    if (row.message.empty()) {
      EXPECT_TRUE(messages.shown.empty());
    } else {
      EXPECT_THAT(TakeMessage(), ::testing::StartsWith(row.message));
    }
  }
}

// The real data layer, recording how the handler binds it; the logs name no real database.
class RecordingDataLayer : public DataLayer {
 public:
  RecordingDataLayer(Lines& calls, bool& fail) : calls_(calls), fail_(fail) {}
  void SetDatabaseByPath(const std::string& path) override {
    calls_.push_back("SetDatabaseByPath " + path);
    if (fail_) throw Error(kFileNotFound);
    DataLayer::SetDatabaseByPath(path);
  }
  Variant GetRecordset(std::string& query) override {
    calls_.push_back("GetRecordset " + query);
    return DataLayer::GetRecordset(query);
  }
  Variant FindRecord(const std::string& fieldName, int32_t& value) override {
    calls_.push_back("FindRecord " + fieldName + "=" + std::to_string(value));
    return DataLayer::FindRecord(fieldName, value);
  }

 private:
  Lines& calls_;
  bool& fail_;
};

// Undo binds the selected action of the selected file and changes nothing on screen; its
// errors are shown and the window stays usable.
TEST_F(FrontTest, TheUndoCommandUndoesTheSelectedActionAndShowsItsErrors) {
  Lines calls;
  bool fail = false;
  env.Components().Register<IDataLayer>(
      kDataLayerProgId, [&] { return std::make_unique<RecordingDataLayer>(calls, fail); });
  const std::string kunden = folder / "kunden.mdb", orte = folder / "orte.mdb";
  folder.WriteBytes("kunden.mdb", "");  // empty files: databases without the logs' tables
  folder.WriteBytes("orte.mdb", "");
  Write("a.xml", kunden, "06.12.2026",
        Concat(NewRecordAction(8, "Kunden"), UpdateAction(7, "Kunden", "Name", "Müller", "Meier")));
  Write("b.xml", orte, "07.12.2026", UpdateAction(3, "Orte", "Ort", "Bern", "Basel"));
  Open();
  Load(folder.Path());
  ChooseFile(1);
  ChooseAction(0);
  Window().Click(cmdUndo);
  ChooseFile(0);
  ChooseAction(1);  // the update at position 6
  const Lines files = Entries(lstFileSet), actions = Entries(lstAction),
              details = Entries(lstDetails);
  TakeViewLog();
  Window().Click(cmdUndo);
  EXPECT_THAT(calls,
              ElementsAre("SetDatabaseByPath " + orte, "GetRecordset SELECT * FROM Orte WHERE ID=3",
                          "FindRecord ID=3", "SetDatabaseByPath " + kunden,
                          "GetRecordset SELECT * FROM Kunden WHERE ID=7", "FindRecord ID=7"));
  EXPECT_EQ(messages.shown.size(), 4u);  // "not found" and its report, twice
  messages.shown.clear();
  EXPECT_TRUE(TakeViewLog().empty());
  EXPECT_EQ(Entries(lstFileSet), files);
  EXPECT_EQ(Entries(lstAction), actions);
  EXPECT_EQ(Entries(lstDetails), details);
  EXPECT_EQ(Window().ListIndex(lstAction), 1);
  fail = true;
  Window().Click(cmdUndo);
  EXPECT_EQ(TakeMessage(), "Fehler: Laufzeitfehler 53: Datei nicht gefunden");
  fail = false;
  calls.clear();
  Window().Click(cmdUndo);
  EXPECT_EQ(calls.size(), 3u);
  messages.shown.clear();
  calls.clear();
  Window().SelectListEntry(lstAction, -1);  // without a selected action: an invalid call
  Window().cmdUndo_Click();
  EXPECT_EQ(TakeMessage(),
            "Fehler: Laufzeitfehler 5: Unzulässiger Prozeduraufruf oder ungültiges Argument");
  EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace tarvesk::test
