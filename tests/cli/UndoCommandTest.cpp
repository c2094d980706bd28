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

// The lines of an UPDATE of record 1 in Kunden, as a log holds them.
std::vector<std::string> Update(const std::string& query, const std::string& field,
                                const std::string& old) {
  return {"<ACTION Info=\"UPDATE RECORDID=1\">",
          "<TABLE>Kunden</TABLE>",
          "<QueryString>" + query + "</QueryString>",
          "<TIME>t</TIME>",
          "<FieldName>" + field + "</FieldName>",
          "<OldValue>" + old + "</OldValue>",
          "<NewValue>x</NewValue>",
          "</ACTION>"};
}

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

// Hand-written logs against the example's database, undone with --yes: what cannot be shown
// as it would be written is refused before the question (exit 1, the database byte for byte
// as it was); what is written is exactly what the log holds.
TEST_F(UndoCommand, HandWrittenLogsAreRefusedOrWrittenExactly) {
  const std::string kAfter =
      "SELECT Ort, typeof(Rabatt) || ':' || Rabatt, typeof(Notiz) || ':' || hex(Notiz) "
      "FROM Kunden WHERE ID IN (1, 9) ORDER BY ID";
  // Relative to the folder the tool runs in, where it exists: still refused.
  const std::string relative = std::filesystem::relative(db_).string();
  const struct {
    const char* what;
    std::string database;
    std::vector<std::string> action;
    int status;
    std::string output;
    std::string after;  // the dump of kAfter afterwards (in turn); "" when the bytes stay
  } cases[] = {
      {"recursive query", db_,
       Update("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
              "SELECT * FROM Kunden WHERE ID IN (SELECT i FROM n)",
              "Ort", "Bonn"),
       1, "Fehler 5: Die Abfrage", ""},
      {"aliased field", db_, Update("SELECT ID, Ort AS Name FROM Kunden WHERE ID = 1", "Name", "B"),
       1, "nicht unverändert als Spalte", ""},
      {"relative path", relative, Update("SELECT * FROM Kunden WHERE ID = 1", "Ort", "B"), 1,
       "Fehler 52: Der Datenbankpfad \"" + relative + "\"", ""},
      {"NUL in the path", db_ + "&#0;x", Update("SELECT * FROM Kunden WHERE ID = 1", "Ort", "B"), 1,
       "Fehler 52: Der Datenbankpfad des Logfiles enthält Steuerzeichen.", ""},
      {"decimal comma", db_, Update("SELECT * FROM Kunden WHERE ID = 1", "Rabatt", "19,95"), 0,
       "Überschreiben mit Wert: 19,95", "text:Köln|text:real:19.95|text:null:\n"},
      {"a restored BLOB",
       db_,
       {"<ACTION Info=\"DELETE_inDB RECORDID=9\">", "<TABLE>Kunden</TABLE>",
        "<QueryString>SELECT * FROM Kunden WHERE ID = 9</QueryString>", "<TIME>t</TIME>",
        "<ID>9</ID>", "<Name>Neu</Name>", "<Ort>&#0;T</Ort>", "<Rabatt>0,5</Rabatt>",
        "<Notiz>&#0;B00FF</Notiz>", "<USER>u</USER>", "<COMPUTER>c</COMPUTER>",
        "<APPLICATION>a</APPLICATION>", "<ROWSAFFECTED>1</ROWSAFFECTED>", "</ACTION>"},
       0,
       "Notiz: X'00FF'",
       "text:Köln|text:real:19.95|text:null:\ntext:|text:real:0.5|text:blob:00FF\n"},
  };
  for (const auto& c : cases) {
    TempFolder hand;
    std::string text = "<?xml version=\"1.0\"?>\r\n<TarveskDataLayerLog>\r\n<HEAD>\r\n<DATABASE>" +
                       c.database + "</DATABASE>\r\n</HEAD>\r\n<LOGDATA>\r\n";
    for (const auto& line : c.action) text += line + "\r\n";
    testing::WriteBytes(hand / "hand.xml", text + "</LOGDATA>\r\n</TarveskDataLayerLog>\r\n");
    const std::string bytes = Bytes(db_);
    const RunResult run = test::RunProgram({LOGMANAGER_EXE, "--yes", "undo", hand.Path(), "1", "1"},
                                           {.env = {"TARVESK_DATALAYER_LOGDIR"}});
    EXPECT_EQ(run.status, c.status) << c.what << ": " << run.err;
    EXPECT_TRUE(Has(run.err, c.output)) << c.what << ": " << run.err;
    if (c.after.empty()) {
      EXPECT_EQ(Bytes(db_), bytes) << c.what;
    } else {
      EXPECT_EQ(Connection(db_).Dump(kAfter), c.after) << c.what;
    }
  }
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

// A record that is gone, errors the data layer reports and a missing database end with 1.
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

  std::filesystem::remove(db_);
  const RunResult missing = Undo("1", "9", {}, {"-y"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Has(missing.err, "Fehler 53: Datei nicht gefunden: Die Datenbank \"" + db_));
  EXPECT_FALSE(Has(missing.err, "Aktion nicht möglich"));
  EXPECT_FALSE(std::filesystem::exists(db_));
}

}  // namespace
}  // namespace tarvesk
