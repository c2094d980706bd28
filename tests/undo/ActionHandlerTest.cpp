// The undo of each kind of logged action with its questions and reports, what it refuses
// before asking, and a disk that fails under it.
#include <gtest/gtest.h>

#include <optional>

#include "service/ComponentRegistry.h"
#include "service/modService.h"
#include "tests/undo/FaultyVfs.h"
#include "tests/undo/UndoFixtures.h"
#include "undo/ActionHandler.h"

namespace tarvesk {
namespace {

using test::ErrorNumberOf;
using testing::Bytes;
using testing::Connection;
using testing::Content;
using testing::ExpectMessage;
using testing::FaultyVfs;
using testing::Titles;
using testing::UndoTest;

constexpr auto Ok = MessageButtons::Ok;
constexpr auto YesNo = MessageButtons::YesNo;

// ---------------------------------------------------------------------------------------
using UpdateUndo = UndoTest;

TEST_F(UpdateUndo, DeclinedWritesNothingAndConfirmedWritesTheOldValueBackAlone) {
  const std::string start = Content(db_);
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
  EXPECT_EQ(Content(db_), start);
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
  Insert("Kunden", {{"Name", "Neu"}, {"Ort", "Ulm"}, {"Punkte", "7"}});

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
  Remove("Kunden", 3);

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
  c.newRecord ? Insert("Kunden", {{"Name", "Neu"}}) : Update("Kunden", 1, "Ort", "Köln");
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
using HandlerBinding = UndoTest;

TEST_F(HandlerBinding, AFreshHandlerDoesNothingAndANullFileSetFails) {
  ActionHandler handler(env);
  EXPECT_TRUE(handler.UndoAction().IsEmpty());
  handler.SetFileSetObject(nullptr);  // counts as assigned
  EXPECT_EQ(ErrorNumberOf([&] { handler.UndoAction(); }), kObjectNotSet);
  EXPECT_TRUE(messages_.shown.empty());
}

// Each call works in a data-layer session of its own: one change log per undo written.
TEST_F(HandlerBinding, EveryUndoBindsAnew) {
  Update("Kunden", 1, "Ort", "Köln");
  ActionHandler handler(env);
  handler.SetLogFileHandle(1);
  handler.SetFileSetObject(Logs(logs_));
  handler.SetActionHandle(1);
  handler.UndoAction();
  Connection(db_).Exec("UPDATE Kunden SET Ort = 'Köln' WHERE ID = 1");
  handler.UndoAction();
  EXPECT_EQ(messages_.TakeTitles(),
            (Titles{"Aktion durchführen", "Aktion", "Aktion durchführen", "Aktion"}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(undoLogs_), {}), 2);
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
        // The query (the data layer's guard, with one record at most for the undo).
        Refusal{"several records", "", UpdateBlock("4711", "SELECT * FROM Kunden"), 1,
                kInvalidProcedureCall, "mehr als einen Datensatz"},
        Refusal{"recursive", "",
                UpdateBlock("1",
                            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                            "SELECT * FROM Kunden WHERE ID IN (SELECT i FROM n)"),
                1, kInvalidProcedureCall, "rekursive"},
        Refusal{"aliased", "",
                UpdateBlock("1", "SELECT ID, Ort AS Name FROM Kunden WHERE ID = 1", "Name"), 1,
                kInvalidProcedureCall, "nicht unverändert als Spalte"},
        Refusal{"no column", "", UpdateBlock("1", kOne, "Ort&quot; &#61; 'x', &quot;Name"), 1,
                kInvalidProcedureCall, "ist keine Spalte der Tabelle \"Kunden\""},
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

// A database that is locked, read-only or has lost the record or table since the log was
// written: the undo reports it and the database keeps its bytes.
TEST_F(UndoBadInput, AStaleLockedOrReadOnlyDatabase) {
  std::optional<Connection> other;
  const struct {
    const char* what;
    const char* table;  // the session sets field of record id of table to value
    int32_t id;
    const char *field, *value;
    std::function<void()> arrange;  // after the session, before the undo
    Titles titles;
    const char* part;
  } scenes[] = {
      {"record gone",
       "Kunden",
       3,
       "Ort",
       "Essen",
       [&] { Connection(db_).Exec("DELETE FROM Kunden WHERE ID = 3"); },
       {"Aktion nicht möglich"},
       ""},
      {"table gone", "Bestellungen", 2, "Menge", "1",
       [&] { Connection(db_).Exec("DROP TABLE Bestellungen"); }, kNotFoundThenReport,
       "no such table"},
      {"locked", "Kunden", 1, "Ort", "Köln",
       [&] { other.emplace(db_), other->Exec("BEGIN EXCLUSIVE"); }, kNotFoundThenReport,
       "ist gesperrt"},  // after waiting out the busy time
      {"read-only", "Kunden", 1, "Ort", "Bonn",
       [&] { std::filesystem::permissions(db_, std::filesystem::perms::owner_read); },
       kAskedThenReport, "schreibgeschützt"},
  };
  for (const auto& scene : scenes) {
    SCOPED_TRACE(scene.what);
    FreshLogs();
    Update(scene.table, scene.id, scene.field, scene.value);
    scene.arrange();
    UndoKeepsTheBytes(scene.titles, scene.part);
    other.reset();
  }
}

// A disk that fails: every kind of undo with its n-th write, then its n-th sync failing, for
// n = 1, 2, ... until the undo gets through without meeting the fault. Each failure leaves
// the database as it was and shows no success.
using FaultInjection = UndoTest;

TEST_F(FaultInjection, AFailedWriteOrSyncLeavesTheDatabaseAsItWasAndShowsNoSuccess) {
  Update("Kunden", 1, "Ort", "Bonn");
  Insert("Bestellungen", {{"Menge", "7"}});
  Remove("Artikel", 2);
  const std::string before = Bytes(db_);
  const struct {
    int32_t file;
    std::string success;  // the title of its success message
  } kinds[] = {{1, "Aktion"}, {2, "Aktion durchgeführt!"}, {3, "Datensatz angelegt"}};
  const struct {
    FaultyVfs::Fault fault;
    int code;
    std::string reason;
  } faults[] = {{FaultyVfs::Fault::Write, SQLITE_FULL, "Der Datenträger ist voll"},
                {FaultyVfs::Fault::Write, SQLITE_IOERR_WRITE, ""},
                {FaultyVfs::Fault::Sync, SQLITE_IOERR_FSYNC, ""}};
  FaultyVfs vfs;
  for (const auto& kind : kinds) {
    for (const auto& fault : faults) {
      int n = 1;
      for (;; ++n) {
        ASSERT_LT(n, 40) << "the fault never stops striking";
        testing::WriteBytes(db_, before);
        vfs.Arm(fault.fault, n, fault.code);
        Undo(1, kind.file);
        vfs.Disarm();
        if (!vfs.Fired()) break;
        SCOPED_TRACE("file " + std::to_string(kind.file) + ", code " + std::to_string(fault.code) +
                     ", n " + std::to_string(n));
        ASSERT_FALSE(messages_.shown.empty());
        const UserMessage report = messages_.shown.back();
        EXPECT_EQ(report.title, "Fehler bei Ausführung");
        EXPECT_NE(report.text.find("konnte nicht"), std::string::npos) << report.text;
        EXPECT_NE(report.text.find(fault.reason), std::string::npos) << report.text;
        const Titles titles = messages_.TakeTitles();
        EXPECT_EQ(std::count(titles.begin(), titles.end(), kind.success), 0);
        EXPECT_EQ(Bytes(db_), before);
      }
      // Unhindered, the same undo succeeds and writes: the faults above were met by it.
      EXPECT_GT(n, 1);
      EXPECT_EQ(messages_.TakeTitles().back(), kind.success);
      EXPECT_NE(Bytes(db_), before);
    }
  }
}

}  // namespace
}  // namespace tarvesk
