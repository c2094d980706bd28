// The undo of each kind of logged action: questions, reports, refusals and a failing disk.
#include <gtest/gtest.h>

#include "service/modService.h"
#include "tests/undo/FaultyVfs.h"
#include "tests/undo/UndoFixtures.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // rows leave defaults out
namespace tarvesk {
namespace {

using test::EntriesIn;
using test::ErrorNumberOf;
using testing::Bytes;
using testing::UndoTest;

const std::string kAsk =
    "Sie möchten Sie die folgende Aktion durchführen:\r\nAktueller Wert des Felds ";
const std::string kNotFound =
    "Aktion nicht möglich, da der Datensatz nicht gefunden werden konnte! Vielleicht wurde der "
    "Datensatz in der Zwischenzeit gelöscht und dann müssen Sie zuerst diese Aktion rückgängig "
    "machen.";
const std::string kUpdated = "Aktion durchführen, Aktion";
constexpr auto No = MessageAnswer::No, Yes = MessageAnswer::Yes;

// The database after the undo: as created, as when the question was answered, or else.
enum class After { Restored, Kept, Written };

// A session makes change, arrange runs, the log's first action is undone with answer.
struct Scene {
  std::string change;   // as UndoTest::Change; "": as the scene before left them
  std::string arrange;  // SQL run before the undo
  MessageAnswer answer = Yes;
  std::string titles;  // of the messages shown, in order
  std::string first;   // the text of the first message ("": not checked)
  std::string last;    // a part of the text of the last message
  After after = After::Restored;
  std::string whileAsked;
  int32_t error = 0;  // the number of the error the undo raises
};

const Scene kScenes[] = {
    // Each kind declined, then confirmed; a new and a deleted record once more.
    {"Kunden 1 Ort=Köln", "", No, "Aktion durchführen, Keine Aktion",
     kAsk + "Ort: Köln\r\nÜberschreiben mit Wert: München", "Es wurde keine Aktion durchgeführt!",
     After::Kept},
    {"", "", Yes, kUpdated, "", "Die Aktion wurde durchgeführt!"},
    {"Kunden 0 Name=Neu Ort=Ulm Punkte=7", "", No, "Datensatz löschen, Keine Aktion",
     "Der folgende Datensatz wurde neu angelegt und soll jetzt gelöscht werden:\r\n\r\nID: 4\r\n"
     "Name: Neu\r\nVorname: \r\nOrt: Ulm\r\nGeburtsdatum: \r\nRabatt: \r\nPunkte: 7\r\n\r\n"
     "Möchten Sie diesen Datensatz wirklich löschen?",
     "", After::Kept},
    {"", "", Yes, "Datensatz löschen, Aktion durchgeführt!", "", "Der Datensatz wurde gelöscht!"},
    {"", "", Yes, "Aktion nicht möglich", kNotFound, "", After::Kept},
    {"Kunden 3", "", No, "Datensatz wieder anlegen",
     "Möchten Sie den folgenden gelöschten Datensatz wieder anlegen?\r\n\r\nID: 3\r\nName: Øster"
     "\r\nVorname: \r\nOrt: Düsseldorf\r\nGeburtsdatum: 1988-12-24\r\nRabatt: 0.125\r\nPunkte: "
     "\r\n",
     "", After::Kept},
    {"", "", Yes, "Datensatz wieder anlegen, Datensatz angelegt", "",
     "Der Datensatz wurde wieder angelegt. Neue ID ist: 3"},
    {"", "", Yes, "Datensatz wieder anlegen, Fehler bei Ausführung", "",
     "Eine Bedingung der Datenbank wurde verletzt", After::Kept},  // the id is taken
    // The current value as the locale writes it (NULL as nothing); an empty old value writes NULL.
    {"Kunden 1 Rabatt=", "", Yes, kUpdated, kAsk + "Rabatt: \r\nÜberschreiben mit Wert: 0.05"},
    {"Kunden 1 Rabatt=0.25", "", Yes, kUpdated,
     kAsk + "Rabatt: 0,25\r\nÜberschreiben mit Wert: 0.05"},
    {"Kunden 2 Rabatt=0.5", "", Yes, kUpdated, kAsk + "Rabatt: 0,5\r\nÜberschreiben mit Wert: "},
    // A write the database refuses; a database that has lost the record or table since.
    {"Artikel 1 Bestand=10",
     "UPDATE Artikel SET Bestand = 20 WHERE ID = 1; CREATE TRIGGER nein BEFORE UPDATE ON "
     "Artikel BEGIN SELECT RAISE(ABORT, 'gesperrt'); END",
     Yes, "Aktion durchführen, Fehler bei Ausführung", "",
     "Folgende Fehler wurden gemeldet: \r\nDer Datensatz konnte nicht gespeichert werden: Eine "
     "Bedingung der Datenbank wurde verletzt (gesperrt).",
     After::Kept},
    {"Kunden 3 Ort=Essen", "DELETE FROM Kunden WHERE ID = 3", Yes, "Aktion nicht möglich",
     kNotFound, "", After::Kept},
    {"Bestellungen 2 Menge=1", "DROP TABLE Bestellungen", Yes,
     "Aktion nicht möglich, Fehler bei Ausführung", "", "no such table", After::Kept},
    // Changed while asked: written only over what the question showed, else error 5.
    {"Kunden 1 Ort=Köln", "", Yes, "Aktion durchführen", "", "", After::Kept,
     "UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1", kInvalidProcedureCall},
    {"Kunden 1 Ort=Köln", "", Yes, kUpdated, "", "", After::Restored,
     "UPDATE Kunden SET Ort = 'Köln' WHERE ID = 1"},  // the same again
    {"Kunden 1 Ort=Köln", "", Yes, kUpdated, "", "", After::Written,
     "UPDATE Kunden SET Punkte = 1 WHERE ID = 1"},
    {"Kunden 0 Name=Neu", "", Yes, "Datensatz löschen", "", "", After::Kept,
     "UPDATE Kunden SET Punkte = 1 WHERE ID = 4", kInvalidProcedureCall},
};

TEST_F(UndoTest, EachSceneAsksReportsAndWritesAsItShould) {
  const std::string start = testing::Content(db_);
  ActionHandler handler(env);  // one for all scenes: each undo binds anew
  size_t writes = 0;
  for (const Scene& s : kScenes) {
    SCOPED_TRACE(&s - kScenes);  // the index of the scene
    if (!s.change.empty()) FreshShop(), Change(s.change);
    if (!s.arrange.empty()) testing::Connection(db_).Exec(s.arrange);
    std::string before = Bytes(db_);
    messages_.questionAnswer = s.answer;
    messages_.whileAsked = [&] {
      if (!s.whileAsked.empty()) testing::Connection(db_).Exec(s.whileAsked), before = Bytes(db_);
    };
    handler.SetLogFileHandle(1);
    handler.SetFileSetObject(Logs(logs_));
    handler.SetActionHandle(1);
    EXPECT_EQ(ErrorNumberOf([&] { handler.UndoAction(); }), s.error);
    ASSERT_FALSE(messages_.shown.empty());
    EXPECT_TRUE(s.first.empty() || messages_.shown.front().text == s.first)
        << messages_.shown.front().text;
    EXPECT_NE(messages_.shown.back().text.find(s.last), std::string::npos)
        << messages_.shown.back().text;
    EXPECT_EQ(Seen(), s.titles);
    EXPECT_TRUE(s.after == After::Restored ? testing::Content(db_) == start
                                           : (Bytes(db_) == before) == (s.after == After::Kept));
    writes += s.after != After::Kept || s.titles.ends_with("Fehler bei Ausführung");
  }
  // Each write, done or failed, in a data-layer session of its own with a log of its own.
  EXPECT_EQ(EntriesIn(undoLogs_), writes);
}

// Blocks of a hand-written log, their lines joined by CR LF.
const std::string kOne = "SELECT * FROM Kunden WHERE ID = 1";
std::string Block(const std::string& info, const std::string& query, const std::string& details) {
  return "<ACTION Info=\"" + info + "\">\r\n<TABLE>Kunden</TABLE>\r\n<QueryString>" + query +
         "</QueryString>\r\n<TIME>t</TIME>\r\n" + details + "\r\n</ACTION>";
}
std::string UpdateBlock(const std::string& id = "1", const std::string& query = kOne,
                        const std::string& field = "Ort") {
  return Block("UPDATE RECORDID=" + id, query,
               "<FieldName>" + field +
                   "</FieldName>\r\n<OldValue>Bonn</OldValue>\r\n<NewValue>x</NewValue>");
}

// No dialog for an offline deletion or an unknown kind; missing objects fail.
TEST_F(UndoTest, WhatTheHandlerLeavesAloneOrFailsOn) {
  const std::string before = Bytes(db_);
  HandLog(db_, {Block("DELETE_OFFLINE RECORDID=1", kOne, "<ID>1</ID>"),
                Block("update RECORDID=1", kOne,
                      "<FieldName>Ort</FieldName>\r\n<OldValue>Bonn</OldValue>")});
  Undo(1), Undo(7);  // no dialog, nothing written
  EXPECT_THROW(Undo(1, 2), Error);
  ActionHandler handler(env);
  EXPECT_TRUE(handler.UndoAction().IsEmpty());
  handler.SetFileSetObject(nullptr);  // counts as assigned
  EXPECT_EQ(ErrorNumberOf([&] { handler.UndoAction(); }), kObjectNotSet);
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(Bytes(db_), before);
  env.Components().Unregister(kDataLayerProgId);
  EXPECT_EQ(ErrorNumberOf([&] { Undo(1); }), kObjectNotSet);
  EXPECT_EQ(Seen(), "Komponente nicht verfügbar!");
}

// Refusals come before any question: an error, no message, no byte or file written.
TEST_F(UndoTest, RefusalsComeBeforeAnyQuestionAndLeaveTheDatabaseAlone) {
  const struct {
    std::string database;
    std::string body;
    int32_t number;
    const char* part;
    int32_t position = 1;
  } cases[] = {// The database the log names.
               {db_ + ".weg", UpdateBlock(), kFileNotFound, "nicht gefunden"},
               {"shop.db", UpdateBlock(), kBadFileName, "kein vollständiger Pfad"},
               {db_ + "&#0;.alt", UpdateBlock(), kBadFileName, "Steuerzeichen"},
               // The query (the data layer's guard, with one record at most for the undo).
               {db_, UpdateBlock("4711", "SELECT * FROM Kunden"), kInvalidProcedureCall,
                "mehr als einen Datensatz"},
               {db_, UpdateBlock("1", "SELECT ID, Ort AS Name FROM Kunden WHERE ID = 1", "Name"),
                kInvalidProcedureCall, "nicht unverändert als Spalte"},
               {db_, UpdateBlock("1", kOne, "Ort&quot; &#61; 'x', &quot;Name"),
                kInvalidProcedureCall, "ist keine Spalte der Tabelle \"Kunden\""},
               {db_,
                Block("DELETE_inDB RECORDID=9", "SELECT * FROM Kunden WHERE ID = 9",
                      "<Name>Neu</Name>\r\n<Telefon>0221</Telefon>\r\n<USER>u</USER>\r\n"
                      "<COMPUTER>c</COMPUTER>\r\n<APPLICATION>a</APPLICATION>\r\n"
                      "<ROWSAFFECTED>1</ROWSAFFECTED>"),
                kInvalidProcedureCall, "\"Telefon\" ist keine Spalte"},
               {db_, UpdateBlock("99999999999"), kOverflow, ""},
               // The position.
               {db_, UpdateBlock(), kSubscriptOutOfRange,
                "an der Position 2 des Logfiles beginnt keine Aktion", 2},
               {db_, UpdateBlock(), kSubscriptOutOfRange, "", 99}};
  const std::string before = Bytes(db_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body + " " + c.database);
    HandLog(c.database, {c.body});
    const size_t files = EntriesIn(folder_.Path());
    EXPECT_EQ(ErrorNumberOf([&] { Undo(c.position); }), c.number);
    const std::string text = test::ErrorTextOf([&] { Undo(c.position); });
    EXPECT_NE(text.find(c.part), std::string::npos) << text;
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(Bytes(db_), before);
    EXPECT_EQ(EntriesIn(folder_.Path()), files);
  }
}

// Every undo with its n-th write failing, n = 1, 2, ... until it succeeds: nothing written.
TEST_F(UndoTest, AFailedWriteLeavesTheDatabaseAsItWasAndShowsNoSuccess) {
  Change("Kunden 1 Ort=Bonn");
  Change("Bestellungen 0 Menge=7");
  Change("Artikel 2");
  const std::string before = Bytes(db_);
  const std::string asked[] = {"Aktion durchführen", "Datensatz löschen",
                               "Datensatz wieder anlegen"};
  const std::string success[] = {"Aktion", "Aktion durchgeführt!", "Datensatz angelegt"};
  testing::FaultyVfs vfs;
  for (int32_t file = 1; file <= 3; ++file) {
    for (const auto& [code, reason] :
         {std::pair(SQLITE_FULL, "Der Datenträger ist voll"), std::pair(SQLITE_IOERR_WRITE, "")}) {
      int n = 1;
      for (;; ++n) {
        ASSERT_LT(n, 40) << "the fault never stops striking";
        folder_.WriteBytes("shop.db", before);
        vfs.Arm(n, code);
        Undo(1, file);
        if (!vfs.Disarm()) break;
        SCOPED_TRACE("file " + std::to_string(file) + ", code " + std::to_string(code) + ", n " +
                     std::to_string(n));
        ASSERT_FALSE(messages_.shown.empty());
        const std::string report = messages_.shown.back().text;
        EXPECT_NE(report.find("konnte nicht"), std::string::npos) << report;
        EXPECT_NE(report.find(reason), std::string::npos) << report;
        EXPECT_EQ(Seen(), asked[file - 1] + ", Fehler bei Ausführung");
        EXPECT_EQ(Bytes(db_), before);
      }
      // Unhindered, the same undo succeeds and writes: the faults above were met by it.
      EXPECT_GT(n, 1);
      EXPECT_EQ(Seen(), asked[file - 1] + ", " + success[file - 1]);
      EXPECT_NE(Bytes(db_), before);
    }
  }
}

}  // namespace
}  // namespace tarvesk
