// The window's undo command hands the selection to an ActionHandler and reports its
// errors; what the handler asks and tells is tested with the handler (tests/undo).
#include "automation/Error.h"
#include "components/datalayer/DataLayer.h"
#include "tests/front/FrontFixture.h"

namespace tarvesk::test {
namespace {

// The real data layer, recording how the handler binds it; the logs name no real database.
class RecordingDataLayer : public DataLayer {
 public:
  RecordingDataLayer(EventLog& calls, bool& fail) : calls_(calls), fail_(fail) {}
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
  EventLog& calls_;
  bool& fail_;
};

class UndoCommand : public FrontTest {
 protected:
  void SetUp() override {
    env.Components().Register<IDataLayer>(
        kDataLayerProgId, [this] { return std::make_unique<RecordingDataLayer>(calls, fail); });
    Write("kunden.mdb", {});  // empty files: databases without the logs' tables
    Write("orte.mdb", {});
    Write("a.xml", LogFile(kunden, "06.12.2026",
                           Concat(NewRecordAction(8, "Kunden"),
                                  UpdateAction(7, "Kunden", "Name", "Müller", "Meier"))));
    Write("b.xml", LogFile(orte, "07.12.2026", UpdateAction(3, "Orte", "Ort", "Bern", "Basel")));
    Open();
    Load(folder.Path());
  }
  void ChooseUndoable(int file, int action) {
    ChooseFile(file);
    ChooseAction(action);
    ASSERT_TRUE(Seen(cmdUndo));
  }

  EventLog calls;
  bool fail = false;
  std::string kunden = (folder / "kunden.mdb");
  std::string orte = (folder / "orte.mdb");
};

TEST_F(UndoCommand, UndoesTheSelectedActionOfTheSelectedFileAndChangesNothingOnScreen) {
  ChooseUndoable(1, 0);
  Window().Click(cmdUndo);
  ChooseUndoable(0, 1);  // the update at position 6
  const auto files = Entries(lstFileSet);
  const auto actions = Entries(lstAction);
  const auto details = Entries(lstDetails);
  TakeViewLog();
  Window().Click(cmdUndo);
  EXPECT_THAT(calls,
              ElementsAre("SetDatabaseByPath " + orte, "GetRecordset SELECT * FROM Orte WHERE ID=3",
                          "FindRecord ID=3", "SetDatabaseByPath " + kunden,
                          "GetRecordset SELECT * FROM Kunden WHERE ID=7", "FindRecord ID=7"));
  EXPECT_EQ(messages.shown.size(), 4u);  // "not found" and its report, twice
  EXPECT_TRUE(TakeViewLog().empty());
  EXPECT_EQ(Entries(lstFileSet), files);
  EXPECT_EQ(Entries(lstAction), actions);
  EXPECT_EQ(Entries(lstDetails), details);
  EXPECT_EQ(Window().ListIndex(lstAction), 1);
  EXPECT_TRUE(Seen(cmdUndo));
}

TEST_F(UndoCommand, ErrorsAreShownAndTheWindowStaysUsable) {
  ChooseUndoable(0, 1);
  fail = true;
  Window().Click(cmdUndo);
  EXPECT_EQ(OnlyMessage().title, "Fehler");
  EXPECT_EQ(OnlyMessage().text, "Laufzeitfehler 53: Datei nicht gefunden");

  fail = false;
  calls.clear();
  Window().Click(cmdUndo);
  EXPECT_EQ(calls.size(), 3u);

  // Without a selected action the command is an invalid call.
  messages.shown.clear();
  calls.clear();
  Window().SelectListEntry(lstAction, -1);
  Window().cmdUndo_Click();
  EXPECT_EQ(OnlyMessage().text,
            "Laufzeitfehler 5: Unzulässiger Prozeduraufruf oder ungültiges Argument");
  EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace tarvesk::test
