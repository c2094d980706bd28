// The viewer's commands: load, list actions and details, undo (the handler: tests/undo).
#include <filesystem>

#include "components/datalayer/DataLayer.h"
#include "logdata/LogData.h"
#include "tests/front/FrontFixture.h"

namespace tarvesk::test {
namespace {

constexpr const char* kErrors = "Errors were recorded in this Logfile";

// a: 2 actions; b: OFFLINE; c: none; d: "offline", errors; e: no DATABASE; f: error-like; g: 40,000
class Browsing : public FrontTest {
 protected:
  void SetUp() override {
    Write("a.xml", R"(\\srv\daten\kunden.mdb)", "06.12.2026 11:36:43",
          Concat({Action(7, "Kunden", "Name", "Müller", "Meier"), Action(8, "Kunden")}));
    Write("b.xml", "OFFLINE", "05.12.2026", Action(2, "Orte", "Ort", "A", "B"));
    Write("c.xml", "db.mdb", "04.12.2026", {});
    Write("d.xml", "offline", "02.12.2026", Action(4, "Orte", "Ort", "C", "D"),
          "Zeitüberschreitung");
    Write("e.xml", "-", "01.12.2026", Action(5, "Orte", "Ort", "", "E"));
    auto f = Action(6, "Orte", "Ort", "X", "Y");
    f[1] = std::string("<TABLE>") + kErrors + "</TABLE>";
    Write("f.xml", "db.mdb", "01.01.2026", f);
    Lines many;  // entries past index 32,767 are selected like the first
    for (int id = 1; id <= 40000; ++id) {
      const Lines action = Action(id, "K", "Ort", "alt", "neu" + std::to_string(id));
      many.insert(many.end(), action.begin(), action.end());
    }
    Write("g.xml", "db.mdb", "06.12.2026", many);
    Open();
    Load(folder.Path());
    ASSERT_EQ(Entries(lstFileSet).size(), 7u);
  }
};

// Clicks empty and hide in order, then list; a file gone behind the window's back is reported.
TEST_F(Browsing, ClicksEmptyAndHideInOrderThenListWhatWasChosen) {
  TakeViewLog();
  Choose(lstFileSet, 0);
  EXPECT_THAT(TakeViewLog(),
              ElementsAre("Cleared lstAction", "Visible fmeActions", "Visible fmeDetails",
                          "Visible fmeNextActions", "Appended lstAction", "Appended lstAction",
                          "Visible fmeActions"));
  Choose(lstAction, 1);  // position 9, not the second line of the body
  EXPECT_THAT(TakeViewLog(),
              ElementsAre("Visible fmeDetails", "Visible fmeNextActions", "Cleared lstDetails",
                          "Visible fmeDetails", "Appended lstDetails", "Appended lstDetails",
                          "Visible fmeNextActions"));
  EXPECT_THAT(Entries(lstDetails), ElementsAre("ACTION: NEWRECORD", "RECORDID: 8"));
  Choose(lstFileSet, -1);
  Choose(lstAction, -1);
  EXPECT_EQ(Frames(), "A--");
  Choose(lstFileSet, 2);  // after a chosen action: the old details and undo go
  EXPECT_EQ(Frames(), "---");
  Choose(lstFileSet, 0);  // a file gone behind the window's back is reported
  std::filesystem::remove(folder / "e.xml");
  Choose(lstFileSet, 4);
  EXPECT_EQ(TakeMessage(), "Fehler: Laufzeitfehler 53: Datei nicht gefunden: " + folder / "e.xml");
  EXPECT_FALSE(Seen(fmeActions));
}

// Undo for actions of logs not OFFLINE; the error entry's details are the error information.
TEST_F(Browsing, OffersUndoForActionsOfLogsThatAreNotOffline) {
  const struct {
    int file, action;
    std::string frames, detail;
  } rows[] = {{0, 0, "ADN", "OldValue: Müller"},   {1, 0, "AD-", "RECORDID: 2"},
              {3, 0, "ADN", "RECORDID: 4"},        {5, 0, "ADN", "RECORDID: 6"},
              {3, 1, "AD-", "Zeitüberschreitung"}, {6, 39999, "ADN", "NewValue: neu40000"}};
  for (const auto& row : rows) {
    Choose(lstFileSet, row.file);
    Choose(lstAction, row.action);
    EXPECT_EQ(Frames(), row.frames) << row.file << "/" << row.action;
    EXPECT_THAT(Entries(lstDetails), ::testing::Contains(row.detail));
    EXPECT_FALSE(Seen(cmdRedo) || Seen(chkDoAll));
  }
}

// The real data layer, noting the queries it loads.
class NotingDataLayer : public DataLayer {
 public:
  explicit NotingDataLayer(Lines& queries) : queries_(queries) {}
  Variant GetRecordset(std::string& query) override {
    queries_.push_back(query);
    return DataLayer::GetRecordset(query);
  }

 private:
  Lines& queries_;
};

// A picker per load, its path the next default; set order, own names; undo takes the selected
// action, the screen unchanged, none selected is 5; after any load end no old list stays.
TEST_F(FrontTest, TheLoadAndUndoCommands) {
  Lines queries;
  env.Components().Register<IDataLayer>(kDataLayerProgId,
                                        [&] { return std::make_unique<NotingDataLayer>(queries); });
  folder.WriteBytes("kunden.mdb", "");  // an empty file: a database without the log's tables
  Write("a.xml", folder / "kunden.mdb", "06.12.2026 11:36:43",
        Concat({Action(8, "Kunden"), Action(7, "Kunden", "Name", "Müller", "Meier")}));
  Write("b.xml", "OFFLINE", "05.12.2026 08:00:00", Action(8, "Kunden"));
  Open();
  Load(folder.Path());
  EXPECT_THAT(picker.calls,
              ElementsAre("bolShowDirectoryOnly=True", "bolHideIcon=True", "strDefaultPath=",
                          "strFormCaption=Pfad für das oder die Logfiles auswählen",
                          "DisplayFileManager", "strResultFullPath"));
  // a.xml holds the later session: the list keeps the set's order, not the time's.
  EXPECT_THAT(Entries(lstFileSet),
              ElementsAre("06.12.2026 11:36:43: " + folder / "kunden.mdb" + " (a.xml)",
                          "05.12.2026 08:00:00: OFFLINE (b.xml)"));
  Choose(lstFileSet, 0);
  Choose(lstAction, 1);  // the update at position 6
  TakeViewLog();
  Window().Click(cmdUndo);
  EXPECT_THAT(queries, ElementsAre("SELECT * FROM Kunden WHERE ID=7"));
  EXPECT_EQ(messages.shown.size(), 2u);  // "not found" and its report
  messages.shown.clear();
  EXPECT_TRUE(TakeViewLog().empty());  // every change of a control reaches the view
  Window().SelectListEntry(lstAction, -1);
  Window().cmdUndo_Click();
  EXPECT_EQ(TakeMessage(),
            "Fehler: Laufzeitfehler 5: Unzulässiger Prozeduraufruf oder ungültiges Argument");
  Lines ownName = LogLines("-", "-", Action(3, "Orte"));
  ownName.insert(ownName.begin() + 3, "<FILENAME>eigener</FILENAME>");
  folder.WriteLines("a.xml", ownName);
  Load(folder.Path() + "/");
  EXPECT_EQ(picker.calls.at(8), "strDefaultPath=" + folder.Path());
  EXPECT_EQ(picker.created, 2);
  EXPECT_THAT(Entries(lstFileSet),
              ElementsAre(":  (a.xml)", "05.12.2026 08:00:00: OFFLINE (b.xml)"));
  Choose(lstFileSet, 0);  // the reload dropped the log cached for the old file
  EXPECT_THAT(Entries(lstAction), ElementsAre(StartsWith("1: NEWRECORD RECORDID=3")));
  TempFolder empty;  // no log at all: an empty list, no error
  Load(empty.Path());
  EXPECT_TRUE(messages.shown.empty());
  const struct {
    std::function<void()> command;
    std::string path;     // shown afterwards
    std::string message;  // title and start of the one message, "" for none
  } rows[] = {
      {[&] { Load(""); }, "", ""},
      {[&] {
         env.Components().Unregister(kFileManagerProgId);
         Window().Click(cmdFileManager);
       },
       folder.Path(), "Komponente nicht verfügbar!: "},
  };
  for (const auto& row : rows) {
    Load(folder.Path());
    const auto set = manager->FileSetManager();
    Choose(lstFileSet, 0);
    Choose(lstAction, 0);
    ASSERT_TRUE(Seen(cmdUndo));
    row.command();
    EXPECT_EQ(Window().Text(txtPath), row.path);
    EXPECT_EQ(manager->FileSetManager(), set);  // the same set, emptied
    EXPECT_EQ(set->FileCount(), 0);
    for (ControlId list : {lstFileSet, lstAction, lstDetails}) EXPECT_TRUE(Entries(list).empty());
    EXPECT_EQ(Frames(), "---");
    EXPECT_THAT(row.message.empty() ? "" : TakeMessage(), StartsWith(row.message));
    EXPECT_TRUE(messages.shown.empty());
  }
}

}  // namespace
}  // namespace tarvesk::test
