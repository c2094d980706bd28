// logmanager undo and redo on the example that make_example builds, on a terminal of its own
// where the terminal matters: what the command adds to the handler's questions (where and
// how it asks, its answers, the exit status, the undo's own log), and the replay of whole
// logs with dry run, conflicts, failing steps and the history of a record.
#include <filesystem>

#include "tests/cli/CliSupport.h"
#include "tests/datalayer/SqliteFixtures.h"

namespace tarvesk::test {
namespace {

using testing::Bytes;
using testing::Connection;

class UndoCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    const RunResult made = RunProgram({MAKE_EXAMPLE_EXE, folder_.Path()});
    ASSERT_EQ(made.status, 0) << made.err;
  }
  RunResult Run(const std::string& words, const RunOptions& options = {}) {
    return Logmanager(words, logs_, options);
  }
  size_t LogCount() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(logs_), {}));
  }
  // A whole log undone or redone with --yes; the name of the log the run wrote.
  std::string All(const std::string& command, const std::string& file) {
    const auto result = Json("-y " + command + " @ " + file + " --all", logs_);
    EXPECT_EQ(result["outcome"], "done") << command << " " << file;
    return std::filesystem::path(result["logFile"].get<std::string>()).filename().string();
  }
  // The database's pages laid out afresh: equal for equal content, whatever the writes that
  // led there (SQLite counts every commit in the file's header).
  std::string Compacted(const std::string& name) {
    Connection(db_).Exec("VACUUM INTO '" + folder_ / name + "'");
    return Bytes(folder_ / name);
  }

  TempFolder folder_;
  std::string db_ = folder_ / "shop.db";
  std::string logs_ = folder_ / "logs";
};

// Enter, Nein, the end of the input, no input and --no decline: exit 3, nothing written,
// nothing logged. Every kind of action asks exactly one question (else the run would wait).
TEST_F(UndoCommand, AnythingButJaDeclines) {
  const std::string before = Bytes(db_);
  const struct {
    std::string words;
    RunOptions options;
  } cases[] = {
      {"undo @ 1 9", {.input = "\n", .onTerminal = true}},              // UPDATE
      {"undo @ 2 1", {.input = "nein\n", .onTerminal = true}},          // NEWRECORD
      {"undo @ 3 1", {.input = "vielleicht\n\n", .onTerminal = true}},  // DELETE_inDB
      {"undo @ 1 9", {.input = "\x04", .onTerminal = true}},            // end of input
      {"undo @ 1 9", {}},
      {"-n undo @ 1 9", {.input = "j\n"}},
  };
  for (const auto& [words, options] : cases) {
    const RunResult run = Run(words, options);
    EXPECT_EQ(run.status, 3) << words << run.terminal << run.err;
    EXPECT_TRUE(Has(run.terminal + run.err, "[j/N]? ")) << run.terminal << run.err;
  }
  EXPECT_EQ(Bytes(db_), before);
  EXPECT_EQ(LogCount(), 3u);
  const RunResult again = Run("undo @ 3 1", {.input = "x\n\n", .onTerminal = true});
  EXPECT_TRUE(Has(again.terminal, "Bitte j (Ja) oder n (Nein) eingeben, Eingabetaste für Nein: "));
}

// The question names database, table, record id and log file, shows an empty value as
// (leer) and reaches the terminal also when stdout is redirected; the undo is logged
// beside the logs, or where the environment says, and JSON tells the outcome.
TEST_F(UndoCommand, JaOnTheTerminalUndoesAndTheUndoIsLogged) {
  const RunResult run =
      Run("undo @ 1 41", {.input = "j\n", .onTerminal = true, .redirectStdout = true});
  EXPECT_EQ(run.status, 0) << run.terminal;
  EXPECT_EQ(run.out, "");
  for (const std::string& part :
       {std::string("UPDATE Kunden ID 4\n  Logdatei: DataLayer_"),
        "  Datenbank: " + db_ + "\n  Tabelle: Kunden\n  Datensatz-ID: 4\n",
        std::string("Aktueller Wert des Felds Rabatt: (leer)\nÜberschreiben mit Wert: 0\n"),
        std::string("[j/N]? === Aktion (Hinweis) ===\nDie Aktion wurde durchgeführt!\n"),
        "Protokoll dieser Rückgängig-Aktion: " + logs_ + "/DataLayer_"}) {
    EXPECT_TRUE(Has(run.terminal, part)) << run.terminal << "\nlacks " << part;
  }
  EXPECT_EQ(Connection(db_).Dump("SELECT Rabatt FROM Kunden WHERE ID = 4"), "real:0\n");
  ASSERT_EQ(LogCount(), 4u);
  EXPECT_TRUE(Has(Run("actions @ 4").out, "UPDATE Kunden ID 4, Rabatt: (leer) → 0"));

  TempFolder elsewhere;
  const RunResult moved = RunProgram({LOGMANAGER_EXE, "--json", "-y", "undo", logs_, "1", "9"},
                                     {.env = {"TARVESK_DATALAYER_LOGDIR=" + elsewhere.Path()}});
  EXPECT_EQ(moved.status, 0) << moved.err;
  const auto result = nlohmann::json::parse(moved.out);
  EXPECT_EQ(result["outcome"], "done");
  EXPECT_EQ(result["action"]["field"], "Ort");
  EXPECT_TRUE(Has(result["logFile"], elsewhere.Path() + "/DataLayer_"));
  EXPECT_TRUE(Has(moved.err, "Protokoll dieser Rückgängig-Aktion: " + elsewhere.Path()));
  EXPECT_EQ(LogCount(), 4u);
  const auto declined = nlohmann::json::parse(Run("--json --no undo @ 1 1").out);
  EXPECT_EQ(declined["outcome"], "declined");
  EXPECT_EQ(declined["messages"][0]["answer"], "Nein");
}

// A record that is gone, errors the data layer reports and an error the handler raises
// end with 1 and the database as it was.
TEST_F(UndoCommand, FailuresEndWithOneAndTheDatabaseAsItWas) {
  EXPECT_EQ(Run("-y undo @ 2 1").status, 0);   // deletes the new order 5
  EXPECT_EQ(Run("-y undo @ 3 25").status, 0);  // restores customer 3
  const std::string before = Bytes(db_);
  const RunResult gone = Run("-y undo @ 2 1");
  EXPECT_EQ(gone.status, 1);
  EXPECT_TRUE(Has(gone.err, "=== Aktion nicht möglich (Fehler) ==="));
  const RunResult taken = Run("-y undo @ 3 25");  // its id is taken now
  EXPECT_EQ(taken.status, 1);
  EXPECT_TRUE(Has(taken.err, "=== Fehler bei Ausführung (Warnung) ==="));
  // The handler refuses an aliased column before its question (tests/undo has every refusal).
  TempFolder hand;
  hand.WriteLines("hand.xml",
                  LogLines(db_, "-",
                           {"<ACTION Info=\"UPDATE RECORDID=1\">", "<TABLE>Kunden</TABLE>",
                            "<QueryString>SELECT ID, Ort AS Name FROM Kunden WHERE ID = 1"
                            "</QueryString>",
                            "<TIME>t</TIME>", "<FieldName>Name</FieldName>",
                            "<OldValue>B</OldValue>", "<NewValue>Köln</NewValue>", "</ACTION>"}));
  const RunResult refused = Logmanager("-y undo @ 1 1", hand.Path());
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(Has(refused.err, "nicht unverändert als Spalte")) << refused.err;
  EXPECT_EQ(Bytes(db_), before);
}

// A dry run prints every statement with its values quoted and escaped for the terminal,
// asks nothing (no input given) and leaves database and log folder alone.
TEST_F(UndoCommand, DryRunShowsTheStatementsAndWritesNothing) {
  Connection(db_).Exec("UPDATE Kunden SET Ort = 'Ku''damm' WHERE ID = 1");
  const std::string before = Bytes(db_);
  const struct {
    std::string words;
    std::vector<std::string> lines;
  } cases[] = {
      {"undo @ 1 1 --dry-run", {"UPDATE \"Kunden\" SET \"PLZ\" = '80331' WHERE \"ID\" = 1;\n"}},
      {"undo @ 1 --all --dry-run",
       {"-- Position 41 (UPDATE Kunden ID 4, Rabatt)\nUPDATE \"Kunden\" SET \"Rabatt\" = '0' "
        "WHERE \"ID\" = 4;\n",
        "-- Achtung: Feld Ort seit der protokollierten Änderung geändert: protokolliert "
        "\"Köln\", jetzt \"Ku'damm\"\nUPDATE \"Kunden\" SET \"Ort\" = 'München' WHERE \"ID\" = "
        "1;\n"}},
      {"redo @ 1 33 --dry-run",
       {"SET \"Notiz\" = 'Zahlt per Lastschrift\\x0D\\x0ANeue Bankverbindung seit 12/2026' "}},
      {"undo @ 3 --all --dry-run",
       {"INSERT INTO \"Kunden\" (\"ID\", \"Name\", \"Vorname\", \"Strasse\", \"PLZ\", \"Ort\", "
        "\"Geburtsdatum\", \"Rabatt\", \"Kundenseit\", \"Notiz\") VALUES ('3', 'Øster', 'Søren', "
        "'Königsallee 1', '40212', 'Düsseldorf', '1988-12-24', '0.125', '2021-09-30', "
        "'Rückruf erbeten <dringend>');\n"}},
      {"undo @ 2 --all --dry-run",
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
TEST_F(UndoCommand, AConflictIsToldAndYesAloneDoesNotOverrideIt) {
  Connection(db_).Exec("UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1");
  const std::string before = Bytes(db_);
  const std::string conflict =
      "Feld Ort seit der protokollierten Änderung geändert: protokolliert \"Köln\", jetzt \"Bonn\"";
  for (const char* words : {"-y undo @ 1 9", "-y undo @ 1 --all"}) {
    const RunResult refused = Run(words);
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_TRUE(Has(refused.err, conflict)) << refused.err;
    EXPECT_TRUE(Has(refused.err, "--yes allein überschreibt das nicht")) << refused.err;
  }
  EXPECT_EQ(Bytes(db_), before);
  EXPECT_EQ(LogCount(), 3u);
  const RunResult asked = Run("undo @ 1 9", {.input = "n\n", .onTerminal = true});
  EXPECT_EQ(asked.status, 3);
  EXPECT_TRUE(Has(asked.terminal, "  Achtung: " + conflict + "\n")) << asked.terminal;
  EXPECT_EQ(Run("-y --force undo @ 1 9").status, 0);
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort FROM Kunden WHERE ID = 1"), "text:München\n");
}

// Every session undone in reverse order, then the undo's logs undone in turn: the content
// is the start's, page for page. Redo of a session that was undone gives its end again.
TEST_F(UndoCommand, UndoingTheUndosLogsRestoresTheDatabaseAndRedoReplaysASession) {
  const std::string start = Compacted("start.db");
  std::vector<std::string> undoLogs;
  for (const char* file : {"3", "2", "1"}) undoLogs.push_back(All("undo", file));
  EXPECT_EQ(Connection(db_).Dump("SELECT count(*) FROM Bestellungen"), "int:4\n");
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort, Rabatt FROM Kunden WHERE ID = 1"),
            "text:München|real:0.050000000000000003\n");
  // The undo's log names what it did: a deleted record created again, with its values.
  const RunResult shown = Run("show @ " + undoLogs[0] + " 1");
  EXPECT_TRUE(Has(shown.out, "NEWRECORD Kunden ID 3\n")) << shown.out;
  EXPECT_TRUE(Has(shown.out, "ID: 3\nName: Øster\nVorname: Søren\n")) << shown.out;

  const std::string undone = Compacted("undone.db");
  for (auto log = undoLogs.rbegin(); log != undoLogs.rend(); ++log) All("undo", *log);
  EXPECT_EQ(Compacted("end.db"), start);

  // Back to the start of the shop's sessions, then the sessions redone.
  for (const char* file : {"3", "2", "1"}) All("undo", file);
  EXPECT_EQ(Compacted("again.db"), undone);
  All("redo", "1");
  All("redo", "2");
  EXPECT_EQ(Connection(db_).Dump("SELECT ID, Menge, Bemerkung FROM Bestellungen WHERE ID > 4"),
            "int:5|int:1|text:Geschenkverpackung „Weihnachten“\nint:6|int:500|null\n");
  All("redo", "3");
  EXPECT_EQ(Compacted("redone.db"), start);
}

// The last step of a whole log fails (a trigger refuses it): the database keeps its bytes,
// no log is left, and the error names the action. Other refusals end with 1 as well.
TEST_F(UndoCommand, AFailingStepLeavesTheDatabaseByteIdenticalAndRefusalsWriteNothing) {
  Connection(db_).Exec(
      "CREATE TRIGGER Sperre BEFORE INSERT ON Bestellungen WHEN NEW.ID = 3 "
      "BEGIN SELECT RAISE(ABORT, 'Bestellung 3 gesperrt'); END");
  std::string log;
  for (const std::string& line :
       LogLines(db_, "01.12.2026 08:30:12",
                {"<ACTION Info=\"NEWRECORD RECORDID=9\">", "<TABLE>Bestellungen</TABLE>",
                 "<QueryString>SELECT * FROM Bestellungen WHERE ID = 9</QueryString>",
                 "<TIME>01.12.2026 08:35:02</TIME>", "</ACTION>"})) {
    log += line + "\r\n";
  }
  testing::WriteBytes(logs_ + "/Z_alt.xml", log);
  const std::string before = Bytes(db_);
  const struct {
    std::string words;
    const char* says;
  } cases[] = {
      {"-y undo @ 3 --all", "Position 1 (DELETE_inDB Bestellungen ID 3) der Logdatei DataLayer_"},
      {"-y undo @ 3 --all", "Bestellung 3 gesperrt"},
      {"-y redo @ Z_alt.xml 1", "ohne seine Feldwerte protokolliert"},
      {"-y redo @ 2 1", "Den Datensatz gibt es bereits (Tabelle Bestellungen, ID 5)"},
      {"-y redo @ 3 --all", "Der Datensatz ist nicht (mehr) vorhanden"},
  };
  for (const auto& [words, says] : cases) {
    const RunResult run = Run(words);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(Has(run.err, says)) << run.err;
  }
  EXPECT_EQ(Bytes(db_), before);
  EXPECT_EQ(LogCount(), 4u);

  testing::WriteBytes(db_, "keine Datenbank");
  const RunResult broken = Run("undo @ 1 --all --dry-run");
  EXPECT_EQ(broken.status, 1);
  EXPECT_TRUE(Has(broken.err, "ist keine Datenbank")) << broken.err;
}

// history finds a record's actions across the logs, oldest first; actions filters; JSON.
TEST_F(UndoCommand, HistoryAndFiltersFindTheActionsOfARecord) {
  const std::string undoLog = All("undo", "3");
  const RunResult history = Run("history @ --table kunden --id 3");
  EXPECT_EQ(history.status, 0) << history.err;
  const size_t deleted = history.out.find("DELETE_inDB Kunden ID 3\n  Sitzung ");
  const size_t created = history.out.find("NEWRECORD Kunden ID 3\n  Sitzung ");
  EXPECT_LT(deleted, created) << history.out;
  EXPECT_TRUE(Has(history.out, ", Logdatei " + undoLog + " (4), Position 1\n")) << history.out;
  const auto json = Json("history @ --table Artikel --id 1", logs_);
  ASSERT_EQ(json["actions"].size(), 2u);
  ExpectFields(json["actions"][0], R"({"field": "Preis"})");
  EXPECT_EQ(json["actions"][0]["file"]["index"], 2);
  EXPECT_EQ(json["actions"][1]["newValue"], 4500);

  const struct {
    std::string filter;
    std::vector<int> positions;
  } cases[] = {
      {"--kind NEWRECORD", {1, 21}},
      {"--table artikel --kind UPDATE", {13, 33, 41}},
      {"--until 1.1.2000", {}},
      {"--since 2000-01-01 --until 31.12.2999", {1, 13, 21, 33, 41}},
  };
  for (const auto& [filter, positions] : cases) {
    std::vector<int> found;
    const auto listed = Json("actions @ 2 " + filter, logs_);
    for (const auto& action : listed["actions"]) {
      found.push_back(action["position"]);
    }
    EXPECT_EQ(found, positions) << filter;
  }
  for (const char* words :
       {"actions @ 2 --kind update", "actions @ 2 --since gestern", "history @ --table Kunden",
        "undo @ 1 9 --all", "redo @ 1", "undo @ 1 9 --force"}) {
    EXPECT_EQ(Run(words).status, 2) << words;
  }
}

}  // namespace
}  // namespace tarvesk::test
