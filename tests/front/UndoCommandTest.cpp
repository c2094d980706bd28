#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "automation/Error.h"
#include "service/ComponentRegistry.h"
#include "service/modService.h"
#include "tests/front/FrontFixture.h"

namespace tarvesk::test {
namespace {

using enum ControlId;
using ::testing::ElementsAre;

// What the data layers made for the undo commands were asked; each record finds itself.
struct DataLayerScript {
  int created = 0;
  EventLog calls;
  bool failOnDatabase = false;
};

class FakeDataLayer : public IDataLayer {
 public:
  explicit FakeDataLayer(std::shared_ptr<DataLayerScript> script) : script_(std::move(script)) {}
  void SetDatabaseByPath(const std::string& path) override {
    script_->calls.push_back("SetDatabaseByPath " + path);
    if (script_->failOnDatabase) throw Error(kFileNotFound);
  }
  Variant GetRecordset(std::string& query) override {
    script_->calls.push_back("GetRecordset " + query);
    return {};
  }
  Variant FindRecord(const std::string& fieldName, int32_t& value) override {
    script_->calls.push_back("FindRecord " + fieldName + "=" + std::to_string(value));
    return true;
  }
  Variant FieldValue(const std::string& fieldName) override { return "aktuell"; }
  Variant SetFieldValue(const std::string& fieldName, const std::string& value) override {
    script_->calls.push_back("SetFieldValue " + fieldName + "=" + value);
    return {};
  }
  Variant Save() override {
    script_->calls.push_back("Save");
    return {};
  }
  Variant RemoveRecord(bool) override { return {}; }
  Variant AddNew() override { return {}; }
  Variant ActualPosition() override { return int32_t{1}; }
  // Only a new record's undo reads it; these tests undo updates.
  std::shared_ptr<IRecordset> GetOfflineRecordset() override { throw Error(kMemberNotSupported); }
  Variant errorstatus() override { return ""; }

 private:
  std::shared_ptr<DataLayerScript> script_;
};

class UndoCommand : public FrontTest {
 protected:
  void SetUp() override {
    FrontTest::SetUp();
    dataLayer = std::make_shared<DataLayerScript>();
    Registry().Register<IDataLayer>(kDataLayerProgId, [script = dataLayer] {
      ++script->created;
      return std::make_unique<FakeDataLayer>(script);
    });
    folder.Write("a.xml", LogLines("kunden.mdb", "06.12.2026",
                                   Concat({NewRecordAction(8, "Kunden"),
                                           UpdateAction(7, "Kunden", "Name", "Müller", "Meier")})));
    folder.Write("b.xml", LogLines("orte.mdb", "07.12.2026",
                                   UpdateAction(3, "Orte", "Ort", "Bern", "Basel")));
    Open();
    Load(folder.Path());
  }
  void TearDown() override {
    Registry().Unregister(kDataLayerProgId);
    FrontTest::TearDown();
  }
  void ChooseUndoable(int file, int action) {
    ChooseFile(file);
    ChooseAction(action);
    ASSERT_TRUE(Seen(cmdUndo));
  }

  std::shared_ptr<DataLayerScript> dataLayer;
};

TEST_F(UndoCommand, UndoesTheSelectedActionOfTheSelectedFile) {
  ChooseUndoable(0, 1);  // the update at position 6
  messages.answers = {MessageAnswer::Yes};
  Window().Click(cmdUndo);
  EXPECT_THAT(
      dataLayer->calls,
      ElementsAre("SetDatabaseByPath kunden.mdb", "GetRecordset SELECT * FROM Kunden WHERE ID=7",
                  "FindRecord ID=7", "SetFieldValue Name=Müller", "Save"));
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[1].text, "Die Aktion wurde durchgeführt!");
}

TEST_F(UndoCommand, SecondFileGivesItsOwnDatabaseAndAction) {
  ChooseUndoable(1, 0);
  Window().Click(cmdUndo);  // answered No
  EXPECT_THAT(dataLayer->calls,
              ElementsAre("SetDatabaseByPath orte.mdb",
                          "GetRecordset SELECT * FROM Orte WHERE ID=3", "FindRecord ID=3"));
}

TEST_F(UndoCommand, ChangesNoListAndNoFrame) {
  ChooseUndoable(0, 1);
  const auto files = Entries(lstFileSet);
  const auto actions = Entries(lstAction);
  const auto details = Entries(lstDetails);
  TakeViewLog();
  Window().Click(cmdUndo);
  EXPECT_TRUE(TakeViewLog().empty());
  EXPECT_EQ(Entries(lstFileSet), files);
  EXPECT_EQ(Entries(lstAction), actions);
  EXPECT_EQ(Entries(lstDetails), details);
  EXPECT_EQ(Window().ListIndex(lstAction), 1);
  EXPECT_TRUE(Seen(cmdUndo));
}

TEST_F(UndoCommand, TwoClicksAreTwoIndependentAttempts) {
  ChooseUndoable(0, 1);
  Window().Click(cmdUndo);
  Window().Click(cmdUndo);
  EXPECT_EQ(dataLayer->created, 2);
  ASSERT_EQ(messages.shown.size(), 4u);  // question and "nothing done", twice
  EXPECT_EQ(messages.shown[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(messages.shown[2].buttons, MessageButtons::YesNo);
}

TEST_F(UndoCommand, ErrorOfTheHandlerIsShownAndTheWindowStaysUsable) {
  ChooseUndoable(0, 1);
  dataLayer->failOnDatabase = true;
  Window().Click(cmdUndo);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Fehler");
  EXPECT_EQ(messages.shown[0].text, "Laufzeitfehler 53: Datei nicht gefunden");

  dataLayer->failOnDatabase = false;
  Window().Click(cmdUndo);
  EXPECT_EQ(dataLayer->created, 2);
}

TEST_F(UndoCommand, MissingDataLayerIsToldByTheFactoryThenReportedAsObjectNotSet) {
  ChooseUndoable(0, 1);
  Registry().Unregister(kDataLayerProgId);
  Window().Click(cmdUndo);
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0].title, "Komponente nicht verfügbar!");
  EXPECT_EQ(messages.shown[1].text,
            "Laufzeitfehler 91: Objektvariable oder With-Blockvariable nicht festgelegt");
}

TEST_F(UndoCommand, WithoutSelectedActionIsAnInvalidCall) {
  ChooseUndoable(0, 1);
  Window().SelectListEntry(lstAction, -1);
  Window().cmdUndo_Click();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text,
            "Laufzeitfehler 5: Unzulässiger Prozeduraufruf oder ungültiges Argument");
  EXPECT_EQ(dataLayer->created, 0);
}

TEST_F(UndoCommand, RedoDoesNothing) {
  ChooseUndoable(0, 1);
  TakeViewLog();
  Window().cmdRedo_Click();
  EXPECT_TRUE(TakeViewLog().empty());
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(dataLayer->created, 0);
}

}  // namespace
}  // namespace tarvesk::test
