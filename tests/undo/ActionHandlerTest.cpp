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
using testing::UndoTest;

constexpr auto Ok = MessageButtons::Ok;
constexpr auto YesNo = MessageButtons::YesNo;

// ---------------------------------------------------------------------------------------
using UpdateUndo = UndoTest;

TEST_F(UpdateUndo, ConfirmedWritesTheOldValueBack) {
  Update("Kunden", 1, "Ort", "Köln");
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

TEST_F(UpdateUndo, DeclinedWritesNothing) {
  Update("Kunden", 1, "Ort", "Köln");
  const std::string before = Bytes(db_);
  messages_.questionAnswer = MessageAnswer::No;
  Undo(1);
  ASSERT_EQ(messages_.shown.size(), 2u);
  ExpectMessage(messages_.shown[1], "Es wurde keine Aktion durchgeführt!", "Keine Aktion", Ok,
                MessageIcon::Information);
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(UpdateUndo, ANullCurrentValueShowsAsNothingAndIsOverwritten) {
  Update("Kunden", 1, "Rabatt", "");
  Undo(1);
  ASSERT_EQ(messages_.shown.size(), 2u);
  EXPECT_EQ(messages_.shown[0].text,
            "Sie möchten Sie die folgende Aktion durchführen:\r\n"
            "Aktueller Wert des Felds Rabatt: \r\n"
            "Überschreiben mit Wert: 0.05");
  EXPECT_EQ(Connection(db_).Dump("SELECT Rabatt FROM Kunden WHERE ID = 1"),
            "real:0.050000000000000003\n");
}

TEST_F(UpdateUndo, NumbersShowAsTheLocaleWritesThem) {
  Update("Kunden", 1, "Rabatt", "0.25");
  Undo(1);
  EXPECT_NE(messages_.shown[0].text.find("Felds Rabatt: 0,25\r\n"), std::string::npos);
}

TEST_F(UpdateUndo, AnEmptyOldValueWritesNull) {
  Update("Kunden", 2, "Rabatt", "0.5");  // it was NULL
  Undo(1);
  EXPECT_EQ(Connection(db_).Dump("SELECT Rabatt FROM Kunden WHERE ID = 2"), "null\n");
}

TEST_F(UpdateUndo, ErrorsOfTheWriteFollowTheSuccessMessage) {
  Update("Artikel", 1, "Bestand", "10");
  Connection(db_).Exec("UPDATE Artikel SET Bestand = 20 WHERE ID = 1");
  // The logged old value now breaks a rule of the table.
  Connection(db_).Exec(
      "CREATE TRIGGER nein BEFORE UPDATE ON Artikel BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
  const std::string before = Bytes(db_);
  Undo(1);
  ASSERT_EQ(messages_.Titles(),
            (std::vector<std::string>{"Aktion durchführen", "Aktion", "Fehler bei Ausführung"}));
  ExpectMessage(messages_.shown[2],
                "Folgende Fehler wurden gemeldet: \r\nDer Datensatz konnte nicht gespeichert "
                "werden: Eine Bedingung der Datenbank wurde verletzt (gesperrt).",
                "Fehler bei Ausführung", Ok, MessageIcon::Exclamation);
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

TEST_F(NewRecordUndo, ConfirmedDeletesTheRecord) {
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

TEST_F(NewRecordUndo, DeclinedDeletesNothing) {
  const std::string before = Bytes(db_);
  messages_.questionAnswer = MessageAnswer::No;
  Undo(1);
  EXPECT_EQ(messages_.Titles(), (std::vector<std::string>{"Datensatz löschen", "Keine Aktion"}));
  EXPECT_EQ(Bytes(db_), before);
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
class DeletedRecordRestore : public UndoTest {
 protected:
  void SetUp() override {
    UndoTest::SetUp();
    before_ = Content(db_);
    auto layer = Session();
    Load(*layer, "SELECT * FROM Kunden", 3);
    layer->RemoveRecord(true);
  }
  std::string before_;
};

TEST_F(DeletedRecordRestore, ConfirmedCreatesItAgainWithItsId) {
  Undo(1);
  ASSERT_EQ(messages_.shown.size(), 2u);
  ExpectMessage(messages_.shown[0],
                "Möchten Sie den folgenden gelöschten Datensatz wieder anlegen?\r\n\r\n"
                "ID: 3\r\nName: Øster\r\nVorname: \r\nOrt: Düsseldorf\r\n"
                "Geburtsdatum: 1988-12-24\r\nRabatt: 0.125\r\nPunkte: \r\n",
                "Datensatz wieder anlegen", YesNo, MessageIcon::Question);
  ExpectMessage(messages_.shown[1], "Der Datensatz wurde wieder angelegt. Neue ID ist: 3",
                "Datensatz angelegt", Ok, MessageIcon::Information);
  EXPECT_EQ(Content(db_), before_);
}

TEST_F(DeletedRecordRestore, DeclinedShowsNothingMore) {
  const std::string before = Bytes(db_);
  messages_.questionAnswer = MessageAnswer::No;
  Undo(1);
  EXPECT_EQ(messages_.Titles(), std::vector<std::string>{"Datensatz wieder anlegen"});
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(DeletedRecordRestore, AnIdTakenMeanwhileIsReportedAndNothingWritten) {
  Connection(db_).Exec("INSERT INTO Kunden (ID, Name) VALUES (3, 'Andere')");
  const std::string before = Bytes(db_);
  Undo(1);
  ASSERT_EQ(messages_.Titles(),
            (std::vector<std::string>{"Datensatz wieder anlegen", "Datensatz angelegt",
                                      "Fehler bei Ausführung"}));
  EXPECT_NE(messages_.shown[2].text.find("Eine Bedingung der Datenbank wurde verletzt"),
            std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
}

// ---------------------------------------------------------------------------------------
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

TEST_F(HandlerBinding, AFreshHandlerDoesNothing) {
  ActionHandler handler;
  EXPECT_EQ(handler.LogFileHandle(), 0);
  EXPECT_EQ(handler.ActionHandle(), 0);
  EXPECT_TRUE(handler.UndoAction().IsEmpty());
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(CountingDataLayer::made, 0);
}

TEST_F(HandlerBinding, ANullFileSetCountsAsAssignedAndFails) {
  ActionHandler handler;
  handler.SetFileSetObject(nullptr);
  try {
    handler.UndoAction();
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), kObjectNotSet);
  }
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
  EXPECT_EQ(messages_.Titles(), (std::vector<std::string>{"Aktion durchführen", "Keine Aktion",
                                                          "Aktion durchführen", "Keine Aktion"}));
}

TEST_F(HandlerBinding, AMissingDataLayerIsToldThenFails) {
  Update("Kunden", 1, "Ort", "Köln");
  Registry().Unregister(kDataLayerProgId);
  try {
    Undo(1);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), kObjectNotSet);
  }
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].title, "Komponente nicht verfügbar!");
}

TEST_F(HandlerBinding, AFileIndexOutsideTheSetFails) {
  Update("Kunden", 1, "Ort", "Köln");
  EXPECT_THROW(Undo(1, 2), Error);
  EXPECT_TRUE(messages_.shown.empty());
}

}  // namespace
}  // namespace tarvesk
