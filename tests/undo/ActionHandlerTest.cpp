#include <gtest/gtest.h>

#include "automation/Error.h"
#include "service/modService.h"
#include "tests/support/TestEnvironment.h"
#include "tests/undo/UndoFixtures.h"
#include "undo/ActionHandler.h"

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

TEST_F(UpdateUndo, AFailedWriteShowsItsErrorsAndNoSuccess) {
  Update("Artikel", 1, "Bestand", "10");
  Connection(db_).Exec("UPDATE Artikel SET Bestand = 20 WHERE ID = 1");
  // The logged old value now breaks a rule of the table.
  Connection(db_).Exec(
      "CREATE TRIGGER nein BEFORE UPDATE ON Artikel BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
  const std::string before = Bytes(db_);
  Undo(1);
  ASSERT_EQ(messages_.shown.size(), 2u);
  ExpectMessage(messages_.shown[1],
                "Folgende Fehler wurden gemeldet: \r\nDer Datensatz konnte nicht gespeichert "
                "werden: Eine Bedingung der Datenbank wurde verletzt (gesperrt).",
                "Fehler bei Ausführung", Ok, MessageIcon::Exclamation);
  EXPECT_EQ(messages_.TakeTitles(), (Titles{"Aktion durchführen", "Fehler bei Ausführung"}));
  EXPECT_EQ(Bytes(db_), before);
}

// ---------------------------------------------------------------------------------------
using NewRecordUndo = UndoTest;

TEST_F(NewRecordUndo, DeletesTheRecordOnceConfirmedAndThenReportsItGone) {
  const std::string start = Content(db_);
  auto layer = Session();
  std::string query = "SELECT * FROM Kunden WHERE ID = 0";
  layer->GetRecordset(query);
  layer->AddNew();
  for (const auto& [field, value] : {std::pair{"Name", "Neu"}, {"Ort", "Ulm"}, {"Punkte", "7"}}) {
    layer->SetFieldValue(field, value);
  }
  layer->Save();

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
  EXPECT_EQ(Content(db_), start);

  // Gone now, as if deleted meanwhile.
  messages_.shown.clear();
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
  UndoKeepsTheBytes({"Datensatz wieder anlegen", "Fehler bei Ausführung"},
                    "Eine Bedingung der Datenbank wurde verletzt");
}

// Another program changes the record while the question is open: the undo writes only
// when the record still holds what the question showed, and raises error 5 otherwise.
struct MeanwhileChange {
  const char* what;
  bool newRecord;  // the action undone: a new record (4) or the update of Kunden 1 Ort
  const char* change;
  bool refused;
};

class UndoMeanwhile : public UndoTest, public ::testing::WithParamInterface<MeanwhileChange> {};

TEST_P(UndoMeanwhile, WritesOnlyWhatTheQuestionShowed) {
  const MeanwhileChange& c = GetParam();
  if (c.newRecord) {
    auto layer = Session();
    std::string query = "SELECT * FROM Kunden WHERE ID = 0";
    layer->GetRecordset(query);
    layer->AddNew();
    layer->SetFieldValue("Name", "Neu");
    layer->Save();
  } else {
    Update("Kunden", 1, "Ort", "Köln");
  }
  std::string changed;
  messages_.whileAsked = [&] {
    Connection(db_).Exec(c.change);
    changed = Content(db_);
  };
  const int32_t number = ErrorNumberOf([&] { Undo(1); });
  if (c.refused) {
    EXPECT_EQ(number, kInvalidProcedureCall) << c.what;
    EXPECT_EQ(Content(db_), changed) << c.what;
    EXPECT_EQ(messages_.shown.size(), 1u) << c.what;  // the question alone
  } else {
    EXPECT_EQ(number, 0) << c.what;
    EXPECT_NE(Content(db_), changed) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UndoMeanwhile,
    ::testing::Values(MeanwhileChange{"the field shown", false,
                                      "UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1", true},
                      MeanwhileChange{"the same value again", false,
                                      "UPDATE Kunden SET Ort = 'Köln' WHERE ID = 1", false},
                      MeanwhileChange{"another field", false,
                                      "UPDATE Kunden SET Punkte = 1 WHERE ID = 1", false},
                      MeanwhileChange{"a new record's field", true,
                                      "UPDATE Kunden SET Punkte = 1 WHERE ID = 4", true}));

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
    env.Components().Register<IDataLayer>(kDataLayerProgId,
                                          [] { return std::make_unique<CountingDataLayer>(); });
  }
};

TEST_F(HandlerBinding, AFreshHandlerDoesNothingAndANullFileSetFails) {
  ActionHandler handler(env);
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
  ActionHandler handler(env);
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
  env.Components().Unregister(kDataLayerProgId);
  EXPECT_EQ(ErrorNumberOf([&] { Undo(1); }), kObjectNotSet);
  EXPECT_EQ(messages_.TakeTitles(), Titles{"Komponente nicht verfügbar!"});
}

// ---------------------------------------------------------------------------------------
// Undo against input that is wrong or has gone stale: each ends in the handler's message
// or the error-status report, or in an error to the caller, and the database keeps its
// bytes unless the user confirmed a write that succeeded.
const Titles kNotFoundThenReport = {"Aktion nicht möglich", "Fehler bei Ausführung"};
const Titles kAskedThenReport = {"Aktion durchführen", "Fehler bei Ausführung"};

std::vector<std::string> UpdateBlock(const std::string& recordId, const std::string& query,
                                     const std::string& field = "Ort") {
  return {"<ACTION Info=\"UPDATE RECORDID=" + recordId + "\">",
          "<TABLE>Kunden</TABLE>",
          "<QueryString>" + query + "</QueryString>",
          "<TIME>06.12.2026 11:40:02</TIME>",
          "<FieldName>" + field + "</FieldName>",
          "<OldValue>Bonn</OldValue>",
          "<NewValue>x</NewValue>",
          "</ACTION>"};
}

using UndoBadInput = UndoTest;

std::vector<std::string> RestoreBlock(const std::vector<std::string>& fields) {
  std::vector<std::string> block = {
      "<ACTION Info=\"DELETE_inDB RECORDID=9\">", "<TABLE>Kunden</TABLE>",
      "<QueryString>SELECT * FROM Kunden WHERE ID = 9</QueryString>", "<TIME>t</TIME>"};
  block.insert(block.end(), fields.begin(), fields.end());
  for (const char* tail :
       {"<USER>u</USER>", "<COMPUTER>c</COMPUTER>", "<APPLICATION>a</APPLICATION>",
        "<ROWSAFFECTED>1</ROWSAFFECTED>", "</ACTION>"}) {
    block.push_back(tail);
  }
  return block;
}

// What the undo refuses before it asks anything: an error with its number and a German
// text, no message box, the database byte for byte as it was and no file created.
struct Refusal {
  const char* what;
  std::string database;  // "" for the shop; "@" stands for the shop's path
  std::vector<std::string> body;
  int32_t position;
  int32_t number;
  const char* part;
};

const std::string kOne = "SELECT * FROM Kunden WHERE ID = 1";

class UndoRefusal : public UndoTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(UndoRefusal, RaisesAnErrorBeforeAnyQuestionAndLeavesTheDatabaseAlone) {
  const Refusal& refusal = GetParam();
  std::string database = refusal.database.empty() ? db_ : refusal.database;
  if (const size_t at = database.find('@'); at != std::string::npos) database.replace(at, 1, db_);
  HandLog(database, refusal.body);
  const auto filesBefore = std::distance(std::filesystem::directory_iterator(folder_.Path()), {});
  const std::string before = Bytes(db_);
  try {
    Undo(refusal.position);
    ADD_FAILURE() << refusal.what << ": not refused";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), refusal.number) << refusal.what;
    EXPECT_NE(error.Description().find(refusal.part), std::string::npos)
        << refusal.what << ": " << error.Description();
  }
  EXPECT_TRUE(messages_.shown.empty()) << refusal.what;
  EXPECT_EQ(Bytes(db_), before) << refusal.what;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.Path()), {}), filesBefore)
      << refusal.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UndoRefusal,
    ::testing::Values(
        // The database the log names.
        Refusal{"missing", "@.weg", UpdateBlock("1", kOne), 1, kFileNotFound, "nicht gefunden"},
        Refusal{"missing, restore", "@.weg", RestoreBlock({"<Name>Neu</Name>"}), 1, kFileNotFound,
                "nicht gefunden"},
        Refusal{"relative", "shop.db", UpdateBlock("1", kOne), 1, kBadFileName,
                "kein vollständiger Pfad"},
        Refusal{"NUL", "@&#0;.alt", UpdateBlock("1", kOne), 1, kBadFileName, "Steuerzeichen"},
        Refusal{"control", "@&#9;", UpdateBlock("1", kOne), 1, kBadFileName, "Steuerzeichen"},
        // The query.
        Refusal{"two statements", "", UpdateBlock("1", kOne + "; DROP TABLE Kunden"), 1,
                kInvalidProcedureCall, "weiterer Text"},
        Refusal{"no select", "", UpdateBlock("1", "UPDATE Kunden SET Ort = 'Bonn'"), 1,
                kInvalidProcedureCall, "nur eine lesende SELECT-Abfrage"},
        Refusal{"several records", "", UpdateBlock("4711", "SELECT * FROM Kunden"), 1,
                kInvalidProcedureCall, "mehr als einen Datensatz"},
        Refusal{"recursive", "",
                UpdateBlock("1",
                            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                            "SELECT * FROM Kunden WHERE ID IN (SELECT i FROM n)"),
                1, kInvalidProcedureCall, "rekursive"},
        Refusal{"huge value", "",
                UpdateBlock("1", "SELECT *, randomblob(2000000000) AS r FROM Kunden WHERE ID = 1"),
                1, kInvalidProcedureCall, "zu langen Wert"},
        // What would be written.
        Refusal{"aliased", "",
                UpdateBlock("1", "SELECT ID, Ort AS Name FROM Kunden WHERE ID = 1", "Name"), 1,
                kInvalidProcedureCall, "nicht unverändert als Spalte"},
        Refusal{"not selected", "", UpdateBlock("1", "SELECT ID, Name FROM Kunden WHERE ID = 1"), 1,
                kInvalidProcedureCall, "nicht unverändert als Spalte"},
        Refusal{"no column", "", UpdateBlock("1", kOne, "Ort&quot; &#61; 'x', &quot;Name"), 1,
                kInvalidProcedureCall, "ist keine Spalte der Tabelle \"Kunden\""},
        Refusal{"no number", "", UpdateBlock("1", kOne, "Punkte"), 1, kInvalidProcedureCall,
                "\"Bonn\" passt nicht in die Spalte \"Punkte\""},
        Refusal{"restore, gone column", "",
                RestoreBlock({"<Name>Neu</Name>", "<Telefon>0221</Telefon>"}), 1,
                kInvalidProcedureCall, "\"Telefon\" ist keine Spalte"},
        // The position.
        Refusal{"field line", "", UpdateBlock("1", kOne), 2, kSubscriptOutOfRange,
                "an der Position 2 des Logfiles beginnt keine Aktion"},
        Refusal{"beyond the log", "", UpdateBlock("1", kOne), 99, kSubscriptOutOfRange, ""}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST_F(UndoBadInput, AnIdBeyondTheIntegerRangeFails) {
  const std::string before = testing::Bytes(db_);
  HandLog(db_, UpdateBlock("99999999999", kOne));
  EXPECT_EQ(ErrorNumberOf([&] { Undo(1); }), kOverflow);
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(testing::Bytes(db_), before);
}

TEST_F(UndoBadInput, ALockedDatabase) {
  Update("Kunden", 1, "Ort", "Köln");
  Connection other(db_);
  other.Exec("BEGIN EXCLUSIVE");
  UndoKeepsTheBytes(kNotFoundThenReport, "ist gesperrt");  // after waiting out the busy time
  other.Exec("ROLLBACK");
}

TEST_F(UndoBadInput, ARecordOrTableGoneSinceTheLogWasWritten) {
  Update("Kunden", 3, "Ort", "Essen");
  Connection(db_).Exec("DELETE FROM Kunden WHERE ID = 3");
  UndoKeepsTheBytes({"Aktion nicht möglich"});
  FreshLogs();
  Update("Artikel", 2, "Preis", "0.15");
  Connection(db_).Exec("DROP TABLE Artikel");
  UndoKeepsTheBytes(kNotFoundThenReport, "no such table");
}

TEST_F(UndoBadInput, AReadOnlyDatabase) {
  Update("Kunden", 1, "Ort", "Köln");
  std::filesystem::permissions(db_, std::filesystem::perms::owner_read);
  UndoKeepsTheBytes(kAskedThenReport, "schreibgeschützt");
}

}  // namespace
}  // namespace tarvesk
