#include <gtest/gtest.h>

#include "automation/Error.h"
#include "service/ComponentRegistry.h"
#include "service/modService.h"
#include "undo/ActionHandler.h"
#include "undo/UndoFixtures.h"

namespace tarvesk {
namespace {

using testing::Bytes;
using testing::Connection;
using testing::Content;
using testing::ExpectMessage;
using testing::Titles;
using testing::UndoTest;

constexpr auto Ok = MessageButtons::Ok;
constexpr auto YesNo = MessageButtons::YesNo;

// ---------------------------------------------------------------------------------------
using UpdateUndo = UndoTest;

TEST_F(UpdateUndo, DeclinedWritesNothingAndConfirmedWritesTheOldValueBack) {
  Update("Kunden", 1, "Ort", "Köln");
  messages_.questionAnswer = MessageAnswer::No;
  const std::string before = Bytes(db_);
  Undo(1);
  ASSERT_EQ(messages_.shown.size(), 2u);
  ExpectMessage(messages_.shown[1], "Es wurde keine Aktion durchgeführt!", "Keine Aktion", Ok,
                MessageIcon::Information);
  EXPECT_EQ(Bytes(db_), before);

  messages_.shown.clear();
  messages_.questionAnswer = MessageAnswer::Yes;
  Undo(1);
  ASSERT_EQ(messages_.shown.size(), 2u);
  ExpectMessage(messages_.shown[0],
                "Sie möchten Sie die folgende Aktion durchführen:\r\n"
                "Aktueller Wert des Felds Ort: Köln\r\n"
                "Überschreiben mit Wert: München",
                "Aktion durchführen", YesNo, MessageIcon::Question);
  ExpectMessage(messages_.shown[1], "Die Aktion wurde durchgeführt!", "Aktion", Ok,
                MessageIcon::Information);
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort FROM Kunden WHERE ID = 1"), "text:München\n");
}

// How the current value shows in the question, and what the logged old value writes.
TEST_F(UpdateUndo, ShowsTheCurrentValueAsTheLocaleWritesItAndWritesEmptyAsNull) {
  const struct {
    int32_t id;
    const char* value;  // set in the session, then undone
    const char* shown;
    const char* after;  // Rabatt of the record after the undo
  } rows[] = {
      {1, "", "Rabatt: \r\n", "real:0.050000000000000003\n"},  // NULL shows as nothing
      {1, "0.25", "Rabatt: 0,25\r\n", "real:0.050000000000000003\n"},
      {2, "0.5", "Rabatt: 0,5\r\n", "null\n"},  // it was NULL
  };
  for (const auto& row : rows) {
    FreshLogs();
    Update("Kunden", row.id, "Rabatt", row.value);
    messages_.shown.clear();
    Undo(1);
    ASSERT_EQ(messages_.shown.size(), 2u) << row.value;
    EXPECT_EQ(messages_.shown[0].text,
              std::string("Sie möchten Sie die folgende Aktion durchführen:\r\n"
                          "Aktueller Wert des Felds ") +
                  row.shown + "Überschreiben mit Wert: " + (row.id == 1 ? "0.05" : ""));
    EXPECT_EQ(
        Connection(db_).Dump("SELECT Rabatt FROM Kunden WHERE ID = " + std::to_string(row.id)),
        row.after);
  }
}

TEST_F(UpdateUndo, ErrorsOfTheWriteFollowTheSuccessMessage) {
  Update("Artikel", 1, "Bestand", "10");
  Connection(db_).Exec("UPDATE Artikel SET Bestand = 20 WHERE ID = 1");
  // The logged old value now breaks a rule of the table.
  Connection(db_).Exec(
      "CREATE TRIGGER nein BEFORE UPDATE ON Artikel BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
  const std::string before = Bytes(db_);
  Undo(1);
  ASSERT_EQ(messages_.shown.size(), 3u);
  ExpectMessage(messages_.shown[2],
                "Folgende Fehler wurden gemeldet: \r\nDer Datensatz konnte nicht gespeichert "
                "werden: Eine Bedingung der Datenbank wurde verletzt (gesperrt).",
                "Fehler bei Ausführung", Ok, MessageIcon::Exclamation);
  EXPECT_EQ(messages_.TakeTitles(),
            (Titles{"Aktion durchführen", "Aktion", "Fehler bei Ausführung"}));
  EXPECT_EQ(Bytes(db_), before);
}

// ---------------------------------------------------------------------------------------
class NewRecordUndo : public UndoTest {
 protected:
  void SetUp() override {
    UndoTest::SetUp();
    before_ = Content(db_);
    auto layer = Session();
    std::string query = "SELECT * FROM Kunden WHERE ID = 0";
    layer->GetRecordset(query);
    layer->AddNew();
    layer->SetFieldValue("Name", "Neu");
    layer->SetFieldValue("Ort", "Ulm");
    layer->SetFieldValue("Punkte", "7");
    layer->Save();
  }
  std::string before_;
};

TEST_F(NewRecordUndo, DeclinedDeletesNothingAndConfirmedDeletesTheRecord) {
  messages_.questionAnswer = MessageAnswer::No;
  UndoKeepsTheBytes({"Datensatz löschen", "Keine Aktion"});

  messages_.questionAnswer = MessageAnswer::Yes;
  Undo(1);
  ASSERT_EQ(messages_.shown.size(), 2u);
  ExpectMessage(messages_.shown[0],
                "Der folgende Datensatz wurde neu angelegt und soll jetzt gelöscht werden:\r\n\r\n"
                "ID: 4\r\nName: Neu\r\nVorname: \r\nOrt: Ulm\r\nGeburtsdatum: \r\nRabatt: \r\n"
                "Punkte: 7\r\n\r\nMöchten Sie diesen Datensatz wirklich löschen?",
                "Datensatz löschen", YesNo, MessageIcon::Question);
  ExpectMessage(messages_.shown[1], "Der Datensatz wurde gelöscht!", "Aktion durchgeführt!", Ok,
                MessageIcon::Information);
  EXPECT_EQ(Content(db_), before_);
}

TEST_F(NewRecordUndo, ARecordGoneMeanwhileIsReported) {
  Connection(db_).Exec("DELETE FROM Kunden WHERE ID = 4");
  const std::string before = Bytes(db_);
  Undo(1);
  ASSERT_EQ(messages_.shown.size(), 1u);
  ExpectMessage(messages_.shown[0],
                "Aktion nicht möglich, da der Datensatz nicht gefunden werden konnte! Vielleicht "
                "wurde der Datensatz in der Zwischenzeit gelöscht und dann müssen Sie zuerst "
                "diese Aktion rückgängig machen.",
                "Aktion nicht möglich", Ok, MessageIcon::Critical);
  EXPECT_EQ(Bytes(db_), before);
}

// ---------------------------------------------------------------------------------------
using DeletedRecordRestore = UndoTest;

TEST_F(DeletedRecordRestore, IsRestoredWithItsIdOnceConfirmedAndOnlyWhileTheIdIsFree) {
  const std::string start = Content(db_);
  auto layer = Session();
  Load(*layer, "SELECT * FROM Kunden", 3);
  layer->RemoveRecord(true);
  layer.reset();

  messages_.questionAnswer = MessageAnswer::No;
  UndoKeepsTheBytes({"Datensatz wieder anlegen"});

  messages_.questionAnswer = MessageAnswer::Yes;
  Undo(1);
  ASSERT_EQ(messages_.shown.size(), 2u);
  ExpectMessage(messages_.shown[0],
                "Möchten Sie den folgenden gelöschten Datensatz wieder anlegen?\r\n\r\n"
                "ID: 3\r\nName: Øster\r\nVorname: \r\nOrt: Düsseldorf\r\n"
                "Geburtsdatum: 1988-12-24\r\nRabatt: 0.125\r\nPunkte: \r\n",
                "Datensatz wieder anlegen", YesNo, MessageIcon::Question);
  ExpectMessage(messages_.shown[1], "Der Datensatz wurde wieder angelegt. Neue ID ist: 3",
                "Datensatz angelegt", Ok, MessageIcon::Information);
  EXPECT_EQ(Content(db_), start);

  messages_.shown.clear();
  UndoKeepsTheBytes({"Datensatz wieder anlegen", "Datensatz angelegt", "Fehler bei Ausführung"},
                    "Eine Bedingung der Datenbank wurde verletzt");
}

using KindChoice = UndoTest;

TEST_F(KindChoice, OfflineDeletesAndUnknownKindsShowNoDialog) {
  const std::string before = Bytes(db_);
  HandLog(db_, {"<ACTION Info=\"DELETE_OFFLINE RECORDID=1\">", "<TABLE>Kunden</TABLE>",
                "<QueryString>SELECT * FROM Kunden WHERE ID = 1</QueryString>", "<TIME>x</TIME>",
                "<ID>1</ID>", "<USER>u</USER>", "<COMPUTER>c</COMPUTER>",
                "<APPLICATION>a</APPLICATION>", "<ROWSAFFECTED>1</ROWSAFFECTED>", "</ACTION>",
                "<ACTION Info=\"update RECORDID=1\">", "<TABLE>Kunden</TABLE>",
                "<QueryString>SELECT * FROM Kunden WHERE ID = 1</QueryString>", "<TIME>x</TIME>",
                "<FieldName>Ort</FieldName>", "<OldValue>Bonn</OldValue>", "</ACTION>"});
  Undo(1);
  Undo(11);
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(Bytes(db_), before);
}

// ---------------------------------------------------------------------------------------
// Counts the data layers made and the bindings they get; forwards to the real one.
class CountingDataLayer : public DataLayer {
 public:
  static inline int made = 0, opened = 0, loaded = 0;
  CountingDataLayer() { ++made; }
  void SetDatabaseByPath(const std::string& path) override {
    ++opened;
    DataLayer::SetDatabaseByPath(path);
  }
  Variant GetRecordset(std::string& query) override {
    ++loaded;
    return DataLayer::GetRecordset(query);
  }
};

class HandlerBinding : public UndoTest {
 protected:
  void SetUp() override {
    UndoTest::SetUp();
    CountingDataLayer::made = CountingDataLayer::opened = CountingDataLayer::loaded = 0;
    Registry().Register<IDataLayer>(kDataLayerProgId,
                                    [] { return std::make_unique<CountingDataLayer>(); });
  }
  void TearDown() override {
    RegisterReferenceComponents();
    UndoTest::TearDown();
  }
};

TEST_F(HandlerBinding, AFreshHandlerDoesNothingAndANullFileSetFails) {
  ActionHandler handler;
  EXPECT_EQ(handler.LogFileHandle(), 0);
  EXPECT_EQ(handler.ActionHandle(), 0);
  EXPECT_TRUE(handler.UndoAction().IsEmpty());
  EXPECT_EQ(CountingDataLayer::made, 0);
  handler.SetFileSetObject(nullptr);  // counts as assigned
  EXPECT_EQ(ErrorNumberOf([&] { handler.UndoAction(); }), kObjectNotSet);
  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(HandlerBinding, EveryUndoBindsAnew) {
  Update("Kunden", 1, "Ort", "Köln");
  messages_.questionAnswer = MessageAnswer::No;
  CountingDataLayer::made = 0;
  ActionHandler handler;
  handler.SetLogFileHandle(1);
  handler.SetFileSetObject(Logs(logs_));
  handler.SetActionHandle(1);
  handler.UndoAction();
  handler.UndoAction();
  EXPECT_EQ(CountingDataLayer::made, 2);
  EXPECT_EQ(CountingDataLayer::opened, 2);
  EXPECT_EQ(CountingDataLayer::loaded, 2);
  EXPECT_EQ(messages_.TakeTitles(),
            (Titles{"Aktion durchführen", "Keine Aktion", "Aktion durchführen", "Keine Aktion"}));
}

TEST_F(HandlerBinding, AFileOutsideTheSetFailsAndAMissingDataLayerIsToldThenFails) {
  Update("Kunden", 1, "Ort", "Köln");
  EXPECT_THROW(Undo(1, 2), Error);
  EXPECT_TRUE(messages_.shown.empty());
  Registry().Unregister(kDataLayerProgId);
  EXPECT_EQ(ErrorNumberOf([&] { Undo(1); }), kObjectNotSet);
  EXPECT_EQ(messages_.TakeTitles(), Titles{"Komponente nicht verfügbar!"});
}

}  // namespace
}  // namespace tarvesk
