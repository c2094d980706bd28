// logmanager undo and redo on the example that make_example builds.
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/cli/CliSupport.h"
#include "tests/datalayer/SqliteFixtures.h"

namespace tarvesk::test {
namespace {

using testing::Bytes;
using testing::Connection;

constexpr int Db = 1, Log = 2;  // what a run leaves: a changed database, a log beside the logs

class UndoCommand : public ::testing::Test {
 protected:
  // Logs are named by their second: runs start in a new one, after the example's logs 1 to 3.
  void SetUp() override {
    ASSERT_EQ(RunProgram({MAKE_EXAMPLE_EXE, folder_.Path()}).status, 0);
    const auto now = std::chrono::system_clock::now();
    std::this_thread::sleep_until(std::chrono::ceil<std::chrono::seconds>(now));
  }
  void Expect(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      const std::string before = Bytes(db_);
      const size_t logs = EntriesIn(logs_);
      ExpectRun(row, logs_);
      EXPECT_EQ(Bytes(db_) != before, (row.leaves & Db) != 0) << row.words;
      EXPECT_EQ(EntriesIn(logs_), logs + ((row.leaves & Log) != 0)) << row.words;
    }
  }
  // A whole log undone or redone with --yes; the name of the log the run wrote.
  std::string All(const std::string& command, const std::string& file) {
    const auto result = Json("-y " + command + " @ " + file + " --all", logs_);
    EXPECT_EQ(result["outcome"], "done") << command << " " << file;
    return std::filesystem::path(result["logFile"].get<std::string>()).filename().string();
  }
  // The pages laid out afresh: equal for equal content (the header counts every commit).
  std::string Compacted(const std::string& name) {
    Connection(db_).Exec("VACUUM INTO '" + folder_ / name + "'");
    return Bytes(folder_ / name);
  }

  TempFolder folder_;
  std::string db_ = folder_ / "shop.db";
  std::string logs_ = folder_ / "logs";
};

// Anything but Ja declines with exit 3 (one question per kind); Ja undoes and logs the undo.
TEST_F(UndoCommand, AnswersOnTheTerminalAndTheUndosLog) {
  TempFolder elsewhere;
  Expect({
      {"undo @ 1 9", "\n", 3, "[j/N]? === Keine Aktion"},      // UPDATE
      {"undo @ 2 1", "nein\n", 3, "[j/N]? === Keine Aktion"},  // NEWRECORD
      {"undo @ 3 1", "vielleicht\n\n", 3,                      // DELETE_inDB
       "[j/N]? Bitte j (Ja) oder n (Nein) eingeben, Eingabetaste für Nein: "},
      {"undo @ 1 9", "\x04", 3, "[j/N]? "},  // end of input
      {"-n undo @ 1 9", "j\n", 3, "[j/N]? "},
      {"--json --no undo @ 1 1", "", 3, "\"answer\": \"Nein\"|\"outcome\": \"declined\""},
      {"undo @ 1 41", "j\n", 0,
       "UPDATE Kunden ID 4\n  Logdatei: DataLayer_|  Datenbank: " + db_ +
           "\n  Tabelle: Kunden\n  Datensatz-ID: 4\n|Aktueller Wert des Felds Rabatt: (leer)\n"
           "Überschreiben mit Wert: 0\n|[j/N]? === Aktion (Hinweis) ===\nDie Aktion wurde "
           "durchgeführt!\n|Protokoll dieser Rückgängig-Aktion: " +
           logs_ + "/DataLayer_",
       Db | Log},
  });
  const RunResult moved = Logmanager("--json -y undo @ 1 9", logs_,
                                     {.env = {"TARVESK_DATALAYER_LOGDIR=" + elsewhere.Path()}});
  EXPECT_TRUE(Has(moved.out, "\"logFile\": \"" + elsewhere.Path() + "/DataLayer_")) << moved.out;
  EXPECT_TRUE(Has(moved.out, "\"field\": \"Ort\"") && Has(moved.out, "\"outcome\": \"done\""));
}

// Dry runs, conflicts (--yes refuses, --force goes on), failing steps and refusals: exit 1.
TEST_F(UndoCommand, DryRunsConflictsAndFailures) {
  Connection(db_).Exec(
      "UPDATE Kunden SET Ort = 'Ku''damm' WHERE ID = 1; CREATE TRIGGER Sperre BEFORE INSERT ON "
      "Bestellungen WHEN NEW.ID = 3 BEGIN SELECT RAISE(ABORT, 'Bestellung 3 gesperrt'); END");
  folder_.WriteLines(
      "logs/Z_alt.xml",
      LogLines(db_, "01.12.2026 08:30:12",
               {"<ACTION Info=\"NEWRECORD RECORDID=9\">\r\n<TABLE>Bestellungen</TABLE>\r\n<Query"
                "String>SELECT * FROM Bestellungen WHERE ID = 9</QueryString>\r\n<TIME>t</TIME>",
                "</ACTION>"}));
  const std::string conflict =
      "Feld Ort seit der protokollierten Änderung geändert: protokolliert \"Köln\", jetzt "
      "\"Ku'damm\"";
  Expect({
      {"undo @ 1 --all --dry-run", "", 0,
       "-- Position 41 (UPDATE Kunden ID 4, Rabatt)\nUPDATE \"Kunden\" SET \"Rabatt\" = '0' "
       "WHERE \"ID\" = 4;\n|-- Achtung: " +
           conflict + "\nUPDATE \"Kunden\" SET \"Ort\" = 'München' WHERE \"ID\" = 1;\n"},
      {"redo @ 1 33 --dry-run", "", 0,
       "SET \"Notiz\" = 'Zahlt per Lastschrift\\x0D\\x0ANeue Bankverbindung seit 12/2026' "},
      {"undo @ 3 --all --dry-run", "", 0,
       "INSERT INTO \"Kunden\" (\"ID\", \"Name\", \"Vorname\", \"Strasse\", \"PLZ\", \"Ort\", "
       "\"Geburtsdatum\", \"Rabatt\", \"Kundenseit\", \"Notiz\") VALUES ('3', 'Øster', 'Søren', "
       "'Königsallee 1', '40212', 'Düsseldorf', '1988-12-24', '0.125', '2021-09-30', "
       "'Rückruf erbeten <dringend>');\n"},
      {"undo @ 2 --all --dry-run", "", 0, "DELETE FROM \"Bestellungen\" WHERE \"ID\" = 6;\n"},
      {"-y undo @ 1 9", "", 1, conflict + "|--yes allein überschreibt das nicht"},
      {"-y undo @ 1 --all", "", 1, conflict + "|--yes allein überschreibt das nicht"},
      {"undo @ 1 9", "n\n", 3, "  Achtung: " + conflict + "\n"},
      {"-y undo @ 3 --all", "", 1,
       "Position 1 (DELETE_inDB Bestellungen ID 3) der Logdatei DataLayer_|Bestellung 3 gesperrt"},
      {"-y redo @ Z_alt.xml 1", "", 1, "ohne seine Feldwerte protokolliert"},
      {"-y redo @ 2 1", "", 1, "Den Datensatz gibt es bereits (Tabelle Bestellungen, ID 5)"},
      {"-y redo @ 3 --all", "", 1, "Der Datensatz ist nicht (mehr) vorhanden"},
      {"-y --force undo @ 1 9", "", 0, "", Db | Log},
      {"-y undo @ 2 1", "", 0, "", Db | Log},   // deletes the new order 5
      {"-y undo @ 3 25", "", 0, "", Db | Log},  // restores customer 3
      {"-y undo @ 2 1", "", 1, "=== Aktion nicht möglich (Fehler) ==="},
      {"-y undo @ 3 25", "", 1,  // id taken
       "=== Fehler bei Ausführung (Warnung) ===\nFolgende Fehler wurden gemeldet: \nDer", Log},
      {"actions @ 2 --kind update", "", 2},
      {"actions @ 2 --since gestern", "", 2},
      {"history @ --table Kunden", "", 2},
      {"undo @ 1 9 --all", "", 2},
      {"redo @ 1", "", 2},
      {"undo @ 1 9 --force", "", 2},
  });
  folder_.WriteBytes("shop.db", "keine Datenbank");
  Expect({{"undo @ 1 --all --dry-run", "", 1, "ist keine Datenbank"}});
}

// Undoing all, then the undos' logs, gives the start page for page; redo, history, filters.
TEST_F(UndoCommand, UndoingTheUndosLogsRedoHistoryAndFilters) {
  const std::string start = Compacted("start.db");
  std::vector<std::string> undoLogs = {All("undo", "3")};
  const RunResult history = ExpectRun({"history @ --table kunden --id 3", "", 0,
                                       ", Logdatei " + undoLogs[0] + " (4), Position 1\n"},
                                      logs_);
  EXPECT_LT(history.out.find("DELETE_inDB Kunden ID 3\n  Sitzung "),
            history.out.find("NEWRECORD Kunden ID 3\n  Sitzung "));
  const auto json = Json("history @ --table Artikel --id 1", logs_);
  ASSERT_EQ(json["actions"].size(), 2u);
  EXPECT_EQ(json["actions"][0]["file"]["index"], 2);
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
    for (const auto& action : listed["actions"]) found.push_back(action["position"]);
    EXPECT_EQ(found, positions) << filter;
  }

  for (const char* file : {"2", "1"}) undoLogs.push_back(All("undo", file));
  EXPECT_EQ(Connection(db_).Dump("SELECT count(*) FROM Bestellungen"), "int:4\n");
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort, Rabatt FROM Kunden WHERE ID = 1"),
            "text:München|real:0.050000000000000003\n");
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

}  // namespace
}  // namespace tarvesk::test
