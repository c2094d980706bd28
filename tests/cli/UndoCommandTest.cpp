// logmanager undo on the example that make_example builds, on a terminal of its own where
// the terminal matters: the one question, its default, where it is shown, the exit status,
// the undo's own log and what is left in the database.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/datalayer/SqliteFixtures.h"
#include "tests/support/Process.h"

namespace tarvesk {
namespace {

using test::RunOptions;
using test::RunResult;
using testing::Bytes;
using testing::Connection;
using testing::TempFolder;
using testing::WriteBytes;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class UndoCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    const RunResult made = test::RunProgram({MAKE_EXAMPLE_EXE, folder_.Path()});
    ASSERT_EQ(made.status, 0) << made.err;
  }
  // undo FILE POS, with the options before it; the log folder left to the tool.
  RunResult Undo(const std::string& file, const std::string& position, RunOptions options = {},
                 std::vector<std::string> flags = {}) {
    std::vector<std::string> args = {LOGMANAGER_EXE};
    args.insert(args.end(), flags.begin(), flags.end());
    args.insert(args.end(), {"undo", logs_, file, position});
    options.env.push_back("TARVESK_DATALAYER_LOGDIR");
    return test::RunProgram(args, options);
  }
  size_t LogCount() {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(logs_))
      count += entry.is_regular_file();
    return count;
  }

  TempFolder folder_;
  std::string db_ = folder_ / "shop.db";
  std::string logs_ = folder_ / "logs";
};

// Enter, Nein, the end of the input and --no decline: exit 3, nothing written, nothing
// logged. Every kind of action asks exactly one question (else the run would wait).
TEST_F(UndoCommand, AnythingButJaDeclines) {
  const std::string before = Bytes(db_);
  const struct {
    const char* file;
    const char* position;
    RunOptions options;
    std::vector<std::string> flags;
  } cases[] = {
      {"1", "9", {.input = "\n", .onTerminal = true}, {}},              // UPDATE
      {"2", "1", {.input = "nein\n", .onTerminal = true}, {}},          // NEWRECORD
      {"3", "1", {.input = "vielleicht\n\n", .onTerminal = true}, {}},  // DELETE_inDB
      {"1", "9", {.input = "\x04", .onTerminal = true}, {}},            // end of input
      {"1", "9", {}, {}},                                               // no input at all
      {"1", "9", {.input = "j\n"}, {"-n"}},
  };
  for (const auto& [file, position, options, flags] : cases) {
    const RunResult run = Undo(file, position, options, flags);
    EXPECT_EQ(run.status, 3) << file << " " << position << run.terminal << run.err;
    EXPECT_TRUE(Has(run.terminal + run.err, "[j/N]? ")) << run.terminal << run.err;
  }
  EXPECT_EQ(Bytes(db_), before);
  EXPECT_EQ(LogCount(), 3u);
  const RunResult again = Undo("3", "1", {.input = "x\n\n", .onTerminal = true});
  EXPECT_TRUE(Has(again.terminal, "Bitte j (Ja) oder n (Nein) eingeben, Eingabetaste für Nein: "));
}

// The question names database, table, record id and log file, shows an empty value as
// (leer) and reaches the terminal also when stdout is redirected.
TEST_F(UndoCommand, JaOnTheTerminalUndoesAndTheUndoIsLoggedBesideTheLogs) {
  const RunResult run =
      Undo("1", "41", {.input = "j\n", .onTerminal = true, .redirectStdout = true});
  EXPECT_EQ(run.status, 0) << run.terminal;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(Has(run.terminal, "UPDATE Kunden ID 4\n  Logdatei: DataLayer_")) << run.terminal;
  EXPECT_TRUE(
      Has(run.terminal, "  Datenbank: " + db_ + "\n  Tabelle: Kunden\n  Datensatz-ID: 4\n"));
  EXPECT_TRUE(
      Has(run.terminal, "Aktueller Wert des Felds Rabatt: (leer)\nÜberschreiben mit Wert: 0\n"));
  EXPECT_TRUE(
      Has(run.terminal, "[j/N]? === Aktion (Hinweis) ===\nDie Aktion wurde durchgeführt!\n"));
  EXPECT_TRUE(Has(run.terminal, "Protokoll dieser Rückgängig-Aktion: " + logs_ + "/DataLayer_"));
  EXPECT_EQ(Connection(db_).Dump("SELECT Rabatt FROM Kunden WHERE ID = 4"), "real:0\n");
  ASSERT_EQ(LogCount(), 4u);
  const RunResult logged = test::RunProgram({LOGMANAGER_EXE, "actions", logs_, "4"});
  EXPECT_TRUE(Has(logged.out, "UPDATE Kunden ID 4, Rabatt: (leer) → 0")) << logged.out;
}

TEST_F(UndoCommand, TheLogFolderOfTheEnvironmentWinsAndJsonTellsTheOutcome) {
  TempFolder elsewhere;
  const RunResult run = test::RunProgram({LOGMANAGER_EXE, "--json", "-y", "undo", logs_, "1", "9"},
                                         {.env = {"TARVESK_DATALAYER_LOGDIR=" + elsewhere.Path()}});
  EXPECT_EQ(run.status, 0) << run.err;
  const auto result = nlohmann::json::parse(run.out);
  EXPECT_EQ(result["outcome"], "done");
  EXPECT_EQ(result["action"]["field"], "Ort");
  EXPECT_TRUE(Has(result["logFile"].get<std::string>(), elsewhere.Path() + "/DataLayer_"));
  EXPECT_TRUE(Has(run.err, "Protokoll dieser Rückgängig-Aktion: " + elsewhere.Path()));
  EXPECT_EQ(LogCount(), 3u);
  const auto declined = nlohmann::json::parse(Undo("1", "1", {}, {"--json", "--no"}).out);
  EXPECT_EQ(declined["outcome"], "declined");
  EXPECT_EQ(declined["messages"][0]["answer"], "Nein");
}

// The record changes between the question and the answer: nothing is written, exit 1.
TEST_F(UndoCommand, ARecordChangedWhileAskedIsNotOverwritten) {
  const RunResult run = Undo(
      "1", "9", {.input = "j\n", .onTerminal = true, .inputAfter = "[j/N]? ", .meanwhile = [this] {
                   Connection(db_).Exec("UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1");
                 }});
  EXPECT_EQ(run.status, 1) << run.terminal;
  EXPECT_TRUE(Has(run.terminal, "Aktueller Wert des Felds Ort: Köln")) << run.terminal;
  EXPECT_TRUE(Has(run.terminal, "Fehler 5: Der Datensatz wurde in der Zwischenzeit geändert"))
      << run.terminal;
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort FROM Kunden WHERE ID = 1"), "text:Bonn\n");
}

// A record that is gone, errors the data layer reports, a refused action and a missing
// database end with 1.
TEST_F(UndoCommand, FailuresEndWithOneAndTheDatabaseAsItWas) {
  EXPECT_EQ(Undo("2", "1", {}, {"-y"}).status, 0);   // deletes the new order 5
  EXPECT_EQ(Undo("3", "25", {}, {"-y"}).status, 0);  // restores customer 3
  const std::string before = Bytes(db_);
  const RunResult gone = Undo("2", "1", {}, {"-y"});
  EXPECT_EQ(gone.status, 1);
  EXPECT_TRUE(Has(gone.err, "=== Aktion nicht möglich (Fehler) ==="));
  const RunResult taken = Undo("3", "25", {}, {"-y"});  // its id is taken now
  EXPECT_EQ(taken.status, 1);
  EXPECT_TRUE(Has(taken.err, "=== Fehler bei Ausführung (Warnung) ==="));
  EXPECT_EQ(Bytes(db_), before);
  // What the handler refuses before its question (tests/undo has every refusal).
  TempFolder hand;
  WriteBytes(hand / "hand.xml",
             "<?xml version=\"1.0\"?>\r\n<TarveskDataLayerLog>\r\n<HEAD>\r\n<DATABASE>" + db_ +
                 "</DATABASE>\r\n</HEAD>\r\n<LOGDATA>\r\n<ACTION Info=\"UPDATE RECORDID=1\">\r\n"
                 "<TABLE>Kunden</TABLE>\r\n<QueryString>SELECT ID, Ort AS Name FROM Kunden WHERE "
                 "ID = 1</QueryString>\r\n<TIME>t</TIME>\r\n<FieldName>Name</FieldName>\r\n"
                 "<OldValue>B</OldValue>\r\n<NewValue>K\xF6ln</NewValue>\r\n</ACTION>\r\n</"
                 "LOGDATA>\r\n</TarveskDataLayerLog>\r\n");
  const RunResult refused = test::RunProgram({LOGMANAGER_EXE, "-y", "undo", hand.Path(), "1", "1"},
                                             {.env = {"TARVESK_DATALAYER_LOGDIR"}});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(Has(refused.err, "nicht unverändert als Spalte")) << refused.err;
  EXPECT_EQ(Bytes(db_), before);

  std::filesystem::remove(db_);
  const RunResult missing = Undo("1", "9", {}, {"-y"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Has(missing.err, "Fehler 53: Datei nicht gefunden: Die Datenbank \"" + db_));
  EXPECT_FALSE(Has(missing.err, "Aktion nicht möglich"));
  EXPECT_FALSE(std::filesystem::exists(db_));
}

// The database's pages laid out afresh: equal for equal content, whatever the writes that
// led there (SQLite counts every commit in the file's header).
std::string Compacted(const std::string& db, const std::string& into) {
  std::filesystem::remove(into);
  Connection(db).Exec("VACUUM INTO '" + into + "'");
  return Bytes(into);
}

class ReplayCommand : public UndoCommand {
 protected:
  RunResult Run(std::vector<std::string> words, RunOptions options = {}) {
    words.insert(words.begin(), LOGMANAGER_EXE);
    options.env.push_back("TARVESK_DATALAYER_LOGDIR");
    return test::RunProgram(words, options);
  }
  // A whole log undone or redone with --yes; the name of the log the run wrote.
  std::string All(const char* command, const std::string& file) {
    const RunResult run = Run({"--json", "-y", command, logs_, file, "--all"});
    EXPECT_EQ(run.status, 0) << command << " " << file << run.err;
    const auto result = nlohmann::json::parse(run.out);
    EXPECT_EQ(result["outcome"], "done");
    return std::filesystem::path(result["logFile"].get<std::string>()).filename().string();
  }
};

// A dry run prints every statement with its values quoted and escaped for the terminal,
// asks nothing (no input given) and leaves database and log folder alone.
TEST_F(ReplayCommand, DryRunShowsTheStatementsAndWritesNothing) {
  Connection(db_).Exec("UPDATE Kunden SET Ort = 'Ku''damm' WHERE ID = 1");
  const std::string before = Bytes(db_);
  const struct {
    std::vector<std::string> words;
    std::vector<std::string> lines;
  } cases[] = {
      {{"undo", logs_, "1", "1", "--dry-run"},
       {"UPDATE \"Kunden\" SET \"PLZ\" = '80331' WHERE \"ID\" = 1;\n"}},
      {{"undo", logs_, "1", "--all", "--dry-run"},
       {"-- Position 41 (UPDATE Kunden ID 4, Rabatt)\nUPDATE \"Kunden\" SET \"Rabatt\" = '0' "
        "WHERE \"ID\" = 4;\n",
        "-- Achtung: Feld Ort seit der protokollierten Änderung geändert: protokolliert "
        "\"Köln\", jetzt \"Ku'damm\"\nUPDATE \"Kunden\" SET \"Ort\" = 'München' WHERE \"ID\" = "
        "1;\n"}},
      {{"redo", logs_, "1", "33", "--dry-run"},
       {"SET \"Notiz\" = 'Zahlt per Lastschrift\\x0D\\x0ANeue Bankverbindung seit 12/2026' "}},
      {{"undo", logs_, "3", "--all", "--dry-run"},
       {"INSERT INTO \"Kunden\" (\"ID\", \"Name\", \"Vorname\", \"Strasse\", \"PLZ\", \"Ort\", "
        "\"Geburtsdatum\", \"Rabatt\", \"Kundenseit\", \"Notiz\") VALUES ('3', 'Øster', 'Søren', "
        "'Königsallee 1', '40212', 'Düsseldorf', '1988-12-24', '0.125', '2021-09-30', "
        "'Rückruf erbeten <dringend>');\n"}},
      {{"undo", logs_, "2", "--all", "--dry-run"},
       {"-- Position 21 (NEWRECORD Bestellungen ID 6)\nDELETE FROM \"Bestellungen\" WHERE \"ID\" "
        "= 6;\n-- Position 13"}},
  };
  for (const auto& [words, lines] : cases) {
    const RunResult run = Run(words);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(Has(run.out + run.err, "[j/N]"));
    for (const auto& line : lines) EXPECT_TRUE(Has(run.out, line)) << run.out << "\nlacks " << line;
  }
  EXPECT_EQ(Bytes(db_), before);
  EXPECT_EQ(LogCount(), 3u);
}

// A field changed since the logged update: the question names both values; --yes alone
// refuses (single and whole log), --yes --force and a Ja on the terminal go on.
TEST_F(ReplayCommand, AConflictIsToldAndYesAloneDoesNotOverrideIt) {
  Connection(db_).Exec("UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1");
  const std::string before = Bytes(db_);
  const std::string conflict =
      "Feld Ort seit der protokollierten Änderung geändert: "
      "protokolliert \"Köln\", jetzt \"Bonn\"";
  for (const auto& words : {std::vector<std::string>{"-y", "undo", logs_, "1", "9"},
                            std::vector<std::string>{"-y", "undo", logs_, "1", "--all"}}) {
    const RunResult refused = Run(words);
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_TRUE(Has(refused.err, conflict)) << refused.err;
    EXPECT_TRUE(Has(refused.err, "--yes allein überschreibt das nicht")) << refused.err;
  }
  EXPECT_EQ(Bytes(db_), before);
  EXPECT_EQ(LogCount(), 3u);

  const RunResult asked = Run({"undo", logs_, "1", "9"}, {.input = "n\n", .onTerminal = true});
  EXPECT_EQ(asked.status, 3);
  EXPECT_TRUE(Has(asked.terminal, "  Achtung: " + conflict + "\n")) << asked.terminal;
  EXPECT_EQ(Run({"-y", "--force", "undo", logs_, "1", "9"}).status, 0);
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort FROM Kunden WHERE ID = 1"), "text:München\n");
}

// Every session undone in reverse order, then the undo's logs undone in turn: the content
// is the start's, page for page. Redo of a session that was undone gives its end again.
TEST_F(ReplayCommand, UndoingTheUndosLogsRestoresTheDatabaseAndRedoReplaysASession) {
  const std::string start = Compacted(db_, folder_ / "start.db");
  const std::string afterShop = Compacted(db_, folder_ / "shop-end.db");
  std::vector<std::string> undoLogs;
  for (const char* file : {"3", "2", "1"}) undoLogs.push_back(All("undo", file));
  EXPECT_EQ(Connection(db_).Dump("SELECT count(*) FROM Bestellungen"), "int:4\n");
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort, Rabatt FROM Kunden WHERE ID = 1"),
            "text:München|real:0.050000000000000003\n");
  // The undo's log names what it did: a deleted record created again as a NEWRECORD with
  // its values.
  const RunResult shown = Run({"show", logs_, undoLogs[0], "1"});
  EXPECT_TRUE(Has(shown.out, "NEWRECORD Kunden ID 3\n")) << shown.out;
  EXPECT_TRUE(Has(shown.out, "ID: 3\nName: Øster\nVorname: Søren\n")) << shown.out;

  const std::string undone = Compacted(db_, folder_ / "undone.db");
  for (auto log = undoLogs.rbegin(); log != undoLogs.rend(); ++log) All("undo", *log);
  EXPECT_EQ(Compacted(db_, folder_ / "end.db"), start);

  // Back to the start of the shop's sessions, then the second session redone.
  for (const char* file : {"3", "2", "1"}) All("undo", file);
  EXPECT_EQ(Compacted(db_, folder_ / "again.db"), undone);
  All("redo", "1");
  All("redo", "2");
  EXPECT_EQ(Connection(db_).Dump("SELECT ID, Menge, Bemerkung FROM Bestellungen WHERE ID > 4"),
            "int:5|int:1|text:Geschenkverpackung „Weihnachten“\nint:6|int:500|null\n");
  All("redo", "3");
  EXPECT_EQ(Compacted(db_, folder_ / "redone.db"), afterShop);
}

// The last step of a whole log fails (a trigger refuses it): the database keeps its bytes,
// no log is left, and the error names the action. Other refusals end with 1 as well.
TEST_F(ReplayCommand, AFailingStepLeavesTheDatabaseByteIdenticalAndRefusalsWriteNothing) {
  Connection(db_).Exec(
      "CREATE TRIGGER Sperre BEFORE INSERT ON Bestellungen WHEN NEW.ID = 3 "
      "BEGIN SELECT RAISE(ABORT, 'Bestellung 3 gesperrt'); END");
  WriteBytes(logs_ + "/Z_alt.xml",
             "<?xml version=\"1.0\"?>\r\n<TarveskDataLayerLog>\r\n<HEAD>\r\n<DATABASE>" + db_ +
                 "</DATABASE>\r\n<SESSIONTIME>01.12.2026 08:30:12</SESSIONTIME>\r\n</HEAD>"
                 "\r\n<LOGDATA>\r\n<ACTION Info=\"NEWRECORD RECORDID=9\">\r\n<TABLE>Bestel"
                 "lungen</TABLE>\r\n<QueryString>SELECT * FROM Bestellungen WHERE ID = 9"
                 "</QueryString>\r\n<TIME>01.12.2026 08:35:02</TIME>\r\n</ACTION>\r\n"
                 "</LOGDATA>\r\n</TarveskDataLayerLog>\r\n");
  const std::string before = Bytes(db_);
  const struct {
    std::vector<std::string> words;
    const char* says;
  } cases[] = {
      {{"-y", "undo", logs_, "3", "--all"},
       "Position 1 (DELETE_inDB Bestellungen ID 3) der Logdatei DataLayer_"},
      {{"-y", "redo", logs_, "Z_alt.xml", "1"}, "ohne seine Feldwerte protokolliert"},
      {{"-y", "redo", logs_, "2", "1"},
       "Den Datensatz gibt es bereits (Tabelle Bestellungen, ID 5)"},
      {{"-y", "redo", logs_, "3", "--all"}, "Der Datensatz ist nicht (mehr) vorhanden"},
  };
  for (const auto& [words, says] : cases) {
    const RunResult run = Run(words);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(Has(run.err, says)) << run.err;
  }
  EXPECT_TRUE(Has(Run(cases[0].words).err, "Bestellung 3 gesperrt"));
  EXPECT_EQ(Bytes(db_), before);
  EXPECT_EQ(LogCount(), 4u);

  WriteBytes(db_, "keine Datenbank");
  const RunResult broken = Run({"undo", logs_, "1", "--all", "--dry-run"});
  EXPECT_EQ(broken.status, 1);
  EXPECT_TRUE(Has(broken.err, "ist keine Datenbank")) << broken.err;
}

// history finds a record's actions across the logs, oldest first; actions filters; JSON.
TEST_F(ReplayCommand, HistoryAndFiltersFindTheActionsOfARecord) {
  const std::string undoLog = All("undo", "3");
  const RunResult history = Run({"history", logs_, "--table", "kunden", "--id", "3"});
  EXPECT_EQ(history.status, 0) << history.err;
  const size_t deleted = history.out.find("DELETE_inDB Kunden ID 3\n  Sitzung ");
  const size_t created = history.out.find("NEWRECORD Kunden ID 3\n  Sitzung ");
  EXPECT_LT(deleted, created) << history.out;
  EXPECT_TRUE(Has(history.out, ", Logdatei " + undoLog + " (4), Position 1\n")) << history.out;
  const auto json = nlohmann::json::parse(
      Run({"--json", "history", logs_, "--table", "Artikel", "--id", "1"}).out);
  ASSERT_EQ(json["actions"].size(), 2u);
  EXPECT_EQ(json["actions"][0]["field"], "Preis");
  EXPECT_EQ(json["actions"][0]["file"]["index"], 2);
  EXPECT_EQ(json["actions"][1]["newValue"], 4500);

  const struct {
    std::vector<std::string> filter;
    std::vector<int> positions;
  } cases[] = {
      {{"--kind", "NEWRECORD"}, {1, 21}},
      {{"--table", "artikel", "--kind", "UPDATE"}, {13, 33, 41}},
      {{"--until", "1.1.2000"}, {}},
      {{"--since", "2000-01-01", "--until", "31.12.2999"}, {1, 13, 21, 33, 41}},
  };
  for (const auto& [filter, positions] : cases) {
    std::vector<std::string> words = {"--json", "actions", logs_, "2"};
    words.insert(words.end(), filter.begin(), filter.end());
    std::vector<int> found;
    const RunResult run = Run(words);
    const auto listed = nlohmann::json::parse(run.out);
    for (const auto& action : listed["actions"]) {
      found.push_back(action["position"]);
    }
    EXPECT_EQ(found, positions) << filter[0] << run.out;
  }
  for (const auto& words : {std::vector<std::string>{"actions", logs_, "2", "--kind", "update"},
                            {"actions", logs_, "2", "--since", "gestern"},
                            {"history", logs_, "--table", "Kunden"},
                            {"undo", logs_, "1", "9", "--all"},
                            {"redo", logs_, "1"},
                            {"undo", logs_, "1", "9", "--force"}}) {
    EXPECT_EQ(Run(words).status, 2) << words[0] << " " << words.back();
  }
}

}  // namespace
}  // namespace tarvesk
