// The undo of each kind of logged action with its questions and reports, what it refuses
// before asking, and a disk that fails under it.
#include <gtest/gtest.h>

#include <optional>

#include "service/modService.h"
#include "tests/undo/FaultyVfs.h"
#include "tests/undo/UndoFixtures.h"

namespace tarvesk {
namespace {

using test::ErrorNumberOf;
using testing::Bytes;
using testing::Connection;
using testing::Content;
using testing::FaultyVfs;
using testing::Titles;
using testing::UndoTest;

constexpr auto Ok = MessageButtons::Ok;
constexpr auto YesNo = MessageButtons::YesNo;
constexpr auto Information = MessageIcon::Information;

void ExpectMessage(const UserMessage& actual, const std::string& text, const std::string& title,
                   MessageButtons buttons, MessageIcon icon) {
  EXPECT_EQ(actual.text, text);
  EXPECT_EQ(actual.title, title);
  EXPECT_EQ(actual.buttons, buttons);
  EXPECT_EQ(actual.icon, icon);
  EXPECT_EQ(actual.defaultButton, 1);
}

size_t FilesIn(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

// Each kind of action, undone by one handler: declined, then confirmed, then once more.
TEST_F(UndoTest, EachKindIsUndoneOnceConfirmedWithItsQuestionAndReport) {
  const std::string start = Content(db_);
  ActionHandler handler(env);
  const auto declineThenConfirm = [&](const Titles& declined, const std::string& question,
                                      const std::string& questionText, const std::string& done,
                                      const std::string& doneText) {
    handler.SetLogFileHandle(1);
    handler.SetFileSetObject(Logs(logs_));
    handler.SetActionHandle(1);
    messages_.questionAnswer = MessageAnswer::No;
    const std::string before = Bytes(db_);
    handler.UndoAction();
    EXPECT_EQ(Bytes(db_), before);
    if (declined.size() == 2) {
      ExpectMessage(messages_.shown.back(), "Es wurde keine Aktion durchgeführt!", "Keine Aktion",
                    Ok, Information);
    }
    EXPECT_EQ(messages_.TakeTitles(), declined);
    messages_.questionAnswer = MessageAnswer::Yes;
    handler.UndoAction();
    ASSERT_EQ(messages_.shown.size(), 2u);
    ExpectMessage(messages_.shown[0], questionText, question, YesNo, MessageIcon::Question);
    ExpectMessage(messages_.shown[1], doneText, done, Ok, Information);
    EXPECT_EQ(Content(db_), start);
    messages_.shown.clear();
  };
  Change("Kunden", 1, {{"Ort", "Köln"}});
  declineThenConfirm({"Aktion durchführen", "Keine Aktion"}, "Aktion durchführen",
                     "Sie möchten Sie die folgende Aktion durchführen:\r\nAktueller Wert des "
                     "Felds Ort: Köln\r\nÜberschreiben mit Wert: München",
                     "Aktion", "Die Aktion wurde durchgeführt!");
  // Each call works in a data-layer session of its own: one change log per write.
  Connection(db_).Exec("UPDATE Kunden SET Ort = 'Köln' WHERE ID = 1");
  handler.UndoAction();
  EXPECT_EQ(messages_.TakeTitles(), (Titles{"Aktion durchführen", "Aktion"}));
  EXPECT_EQ(Content(db_), start);
  EXPECT_EQ(FilesIn(undoLogs_), 2u);

  FreshShop();
  Change("Kunden", 0, {{"Name", "Neu"}, {"Ort", "Ulm"}, {"Punkte", "7"}});
  declineThenConfirm({"Datensatz löschen", "Keine Aktion"}, "Datensatz löschen",
                     "Der folgende Datensatz wurde neu angelegt und soll jetzt gelöscht "
                     "werden:\r\n\r\nID: 4\r\nName: Neu\r\nVorname: \r\nOrt: Ulm\r\n"
                     "Geburtsdatum: \r\nRabatt: \r\nPunkte: 7\r\n\r\nMöchten Sie diesen "
                     "Datensatz wirklich löschen?",
                     "Aktion durchgeführt!", "Der Datensatz wurde gelöscht!");
  UndoKeepsTheBytes({"Aktion nicht möglich"});  // gone now, as if deleted meanwhile

  FreshShop();
  Change("Kunden", 3, {});
  declineThenConfirm({"Datensatz wieder anlegen"}, "Datensatz wieder anlegen",
                     "Möchten Sie den folgenden gelöschten Datensatz wieder anlegen?\r\n\r\n"
                     "ID: 3\r\nName: Øster\r\nVorname: \r\nOrt: Düsseldorf\r\n"
                     "Geburtsdatum: 1988-12-24\r\nRabatt: 0.125\r\nPunkte: \r\n",
                     "Datensatz angelegt", "Der Datensatz wurde wieder angelegt. Neue ID ist: 3");
  UndoKeepsTheBytes({"Datensatz wieder anlegen", "Fehler bei Ausführung"},
                    "Eine Bedingung der Datenbank wurde verletzt");  // the id is taken
}

// How the current value shows in the question, and what the logged old value writes.
TEST_F(UndoTest, AnUpdateShowsTheValueAsTheLocaleWritesItAndWritesEmptyAsNull) {
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
    FreshShop();
    Change("Kunden", row.id, {{"Rabatt", row.value}});
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

// Another program changes the record while the question is open: the undo writes only
// when the record still holds what the question showed, and raises error 5 otherwise.
TEST_F(UndoTest, WhatChangesWhileAskedIsNotOverwritten) {
  const struct {
    bool newRecord;  // the action undone: a new record (4) or the update of Kunden 1 Ort
    const char* change;
    bool refused;
  } cases[] = {{false, "UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1", true},
               {false, "UPDATE Kunden SET Ort = 'Köln' WHERE ID = 1", false},  // the same again
               {false, "UPDATE Kunden SET Punkte = 1 WHERE ID = 1", false},
               {true, "UPDATE Kunden SET Punkte = 1 WHERE ID = 4", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.change);
    FreshShop();
    messages_.shown.clear();
    c.newRecord ? Change("Kunden", 0, {{"Name", "Neu"}}) : Change("Kunden", 1, {{"Ort", "Köln"}});
    std::string changed;
    messages_.whileAsked = [&] {
      Connection(db_).Exec(c.change);
      changed = Content(db_);
    };
    EXPECT_EQ(ErrorNumberOf([&] { Undo(1); }), c.refused ? kInvalidProcedureCall : 0);
    EXPECT_EQ(Content(db_) == changed, c.refused);
    EXPECT_EQ(messages_.shown.size(), c.refused ? 1u : 2u);  // the question alone if refused
  }
}

// An offline deletion and an unknown kind show no dialog and write nothing; a fresh
// handler does nothing; a null file set, a file outside the set and a missing data layer
// fail (the last told first).
TEST_F(UndoTest, WhatTheHandlerLeavesAloneOrFailsOn) {
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
  EXPECT_THROW(Undo(1, 2), Error);
  ActionHandler handler(env);
  EXPECT_TRUE(handler.UndoAction().IsEmpty());
  handler.SetFileSetObject(nullptr);  // counts as assigned
  EXPECT_EQ(ErrorNumberOf([&] { handler.UndoAction(); }), kObjectNotSet);
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(Bytes(db_), before);
  env.Components().Unregister(kDataLayerProgId);
  EXPECT_EQ(ErrorNumberOf([&] { Undo(1); }), kObjectNotSet);
  EXPECT_EQ(messages_.TakeTitles(), Titles{"Komponente nicht verfügbar!"});
}

// Blocks of a hand-written log, their lines joined by CR LF.
std::string UpdateBlock(const std::string& id, const std::string& query,
                        const std::string& field = "Ort") {
  return "<ACTION Info=\"UPDATE RECORDID=" + id + "\">\r\n<TABLE>Kunden</TABLE>\r\n<QueryString>" +
         query + "</QueryString>\r\n<TIME>t</TIME>\r\n<FieldName>" + field +
         "</FieldName>\r\n<OldValue>Bonn</OldValue>\r\n<NewValue>x</NewValue>\r\n</ACTION>";
}

std::string RestoreBlock(const std::string& fields) {
  return "<ACTION Info=\"DELETE_inDB RECORDID=9\">\r\n<TABLE>Kunden</TABLE>\r\n<QueryString>"
         "SELECT * FROM Kunden WHERE ID = 9</QueryString>\r\n<TIME>t</TIME>\r\n" +
         fields +
         "\r\n<USER>u</USER>\r\n<COMPUTER>c</COMPUTER>\r\n<APPLICATION>a</APPLICATION>"
         "\r\n<ROWSAFFECTED>1</ROWSAFFECTED>\r\n</ACTION>";
}

// What the undo refuses before it asks anything: an error with its number and a German
// text, no message box, the database byte for byte as it was and no file created.
TEST_F(UndoTest, RefusalsComeBeforeAnyQuestionAndLeaveTheDatabaseAlone) {
  const std::string one = "SELECT * FROM Kunden WHERE ID = 1";
  const struct {
    std::string database;  // "@" stands for the shop's path
    std::string body;
    int32_t position;
    int32_t number;
    const char* part;
  } cases[] = {// The database the log names.
               {"@.weg", UpdateBlock("1", one), 1, kFileNotFound, "nicht gefunden"},
               {"@.weg", RestoreBlock("<Name>Neu</Name>"), 1, kFileNotFound, "nicht gefunden"},
               {"shop.db", UpdateBlock("1", one), 1, kBadFileName, "kein vollständiger Pfad"},
               {"@&#0;.alt", UpdateBlock("1", one), 1, kBadFileName, "Steuerzeichen"},
               // The query (the data layer's guard, with one record at most for the undo).
               {"@", UpdateBlock("4711", "SELECT * FROM Kunden"), 1, kInvalidProcedureCall,
                "mehr als einen Datensatz"},
               {"@",
                UpdateBlock("1",
                            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                            "SELECT * FROM Kunden WHERE ID IN (SELECT i FROM n)"),
                1, kInvalidProcedureCall, "rekursive"},
               {"@", UpdateBlock("1", "SELECT ID, Ort AS Name FROM Kunden WHERE ID = 1", "Name"), 1,
                kInvalidProcedureCall, "nicht unverändert als Spalte"},
               {"@", UpdateBlock("1", one, "Ort&quot; &#61; 'x', &quot;Name"), 1,
                kInvalidProcedureCall, "ist keine Spalte der Tabelle \"Kunden\""},
               {"@", RestoreBlock("<Name>Neu</Name>\r\n<Telefon>0221</Telefon>"), 1,
                kInvalidProcedureCall, "\"Telefon\" ist keine Spalte"},
               {"@", UpdateBlock("99999999999", one), 1, kOverflow, ""},
               // The position.
               {"@", UpdateBlock("1", one), 2, kSubscriptOutOfRange,
                "an der Position 2 des Logfiles beginnt keine Aktion"},
               {"@", UpdateBlock("1", one), 99, kSubscriptOutOfRange, ""}};
  const std::string before = Bytes(db_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body + " " + c.database);
    std::string database = c.database;
    if (const size_t at = database.find('@'); at != std::string::npos) database.replace(at, 1, db_);
    HandLog(database, {c.body});
    const size_t files = FilesIn(folder_.Path());
    try {
      Undo(c.position);
      ADD_FAILURE() << "not refused";
    } catch (const Error& error) {
      EXPECT_EQ(error.Number(), c.number);
      EXPECT_NE(error.Description().find(c.part), std::string::npos) << error.Description();
    }
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(Bytes(db_), before);
    EXPECT_EQ(FilesIn(folder_.Path()), files);
  }
}

// A write the database refuses, a database that is locked, read-only or has lost the
// record or table since the log was written: the undo reports it and the database keeps
// its bytes.
TEST_F(UndoTest, AFailedWriteOrAStaleLockedOrReadOnlyDatabaseIsReported) {
  const Titles notFoundThenReport = {"Aktion nicht möglich", "Fehler bei Ausführung"};
  const Titles askedThenReport = {"Aktion durchführen", "Fehler bei Ausführung"};
  std::optional<Connection> other;
  const struct {
    const char* table;  // the session sets field of record id of table to value
    int32_t id;
    const char *field, *value;
    std::string arrange;  // SQL run after the session, before the undo
    Titles titles;
    const char* part;
  } scenes[] = {
      {"Artikel", 1, "Bestand", "10",
       "UPDATE Artikel SET Bestand = 20 WHERE ID = 1; CREATE TRIGGER nein BEFORE UPDATE ON "
       "Artikel BEGIN SELECT RAISE(ABORT, 'gesperrt'); END",
       askedThenReport,
       "Folgende Fehler wurden gemeldet: \r\nDer Datensatz konnte nicht gespeichert werden: Eine "
       "Bedingung der Datenbank wurde verletzt (gesperrt)."},
      {"Kunden",
       3,
       "Ort",
       "Essen",
       "DELETE FROM Kunden WHERE ID = 3",
       {"Aktion nicht möglich"},
       "Aktion nicht möglich, da der Datensatz nicht gefunden werden konnte! Vielleicht wurde "
       "der Datensatz in der Zwischenzeit gelöscht und dann müssen Sie zuerst diese Aktion "
       "rückgängig machen."},
      {"Bestellungen", 2, "Menge", "1", "DROP TABLE Bestellungen", notFoundThenReport,
       "no such table"},
      {"Kunden", 1, "Ort", "Köln", "locked", notFoundThenReport, "ist gesperrt"},
      {"Kunden", 1, "Ort", "Bonn", "read-only", askedThenReport, "schreibgeschützt"},
  };
  for (const auto& scene : scenes) {
    SCOPED_TRACE(scene.arrange);
    FreshShop();
    Change(scene.table, scene.id, {{scene.field, scene.value}});
    if (scene.arrange == "locked") {  // waited out for the busy time
      other.emplace(db_), other->Exec("BEGIN EXCLUSIVE");
    } else if (scene.arrange == "read-only") {
      std::filesystem::permissions(db_, std::filesystem::perms::owner_read);
    } else {
      Connection(db_).Exec(scene.arrange);
    }
    UndoKeepsTheBytes(scene.titles, scene.part);
    other.reset();
  }
}

// A disk that fails: every kind of undo with its n-th write, then its n-th sync failing, for
// n = 1, 2, ... until the undo gets through without meeting the fault. Each failure leaves
// the database as it was and shows no success.
TEST_F(UndoTest, AFailedWriteOrSyncLeavesTheDatabaseAsItWasAndShowsNoSuccess) {
  Change("Kunden", 1, {{"Ort", "Bonn"}});
  Change("Bestellungen", 0, {{"Menge", "7"}});
  Change("Artikel", 2, {});
  const std::string before = Bytes(db_);
  const std::string success[] = {"Aktion", "Aktion durchgeführt!", "Datensatz angelegt"};
  const struct {
    FaultyVfs::Fault fault;
    int code;
    std::string reason;
  } faults[] = {{FaultyVfs::Fault::Write, SQLITE_FULL, "Der Datenträger ist voll"},
                {FaultyVfs::Fault::Write, SQLITE_IOERR_WRITE, ""},
                {FaultyVfs::Fault::Sync, SQLITE_IOERR_FSYNC, ""}};
  FaultyVfs vfs;
  for (int32_t file = 1; file <= 3; ++file) {
    for (const auto& fault : faults) {
      int n = 1;
      for (;; ++n) {
        ASSERT_LT(n, 40) << "the fault never stops striking";
        testing::WriteBytes(db_, before);
        vfs.Arm(fault.fault, n, fault.code);
        Undo(1, file);
        vfs.Disarm();
        if (!vfs.Fired()) break;
        SCOPED_TRACE("file " + std::to_string(file) + ", code " + std::to_string(fault.code) +
                     ", n " + std::to_string(n));
        ASSERT_FALSE(messages_.shown.empty());
        const UserMessage report = messages_.shown.back();
        EXPECT_EQ(report.title, "Fehler bei Ausführung");
        EXPECT_NE(report.text.find("konnte nicht"), std::string::npos) << report.text;
        EXPECT_NE(report.text.find(fault.reason), std::string::npos) << report.text;
        const Titles titles = messages_.TakeTitles();
        EXPECT_EQ(std::count(titles.begin(), titles.end(), success[file - 1]), 0);
        EXPECT_EQ(Bytes(db_), before);
      }
      // Unhindered, the same undo succeeds and writes: the faults above were met by it.
      EXPECT_GT(n, 1);
      EXPECT_EQ(messages_.TakeTitles().back(), success[file - 1]);
      EXPECT_NE(Bytes(db_), before);
    }
  }
}

}  // namespace
}  // namespace tarvesk
