// logmanager undo on the example that make_example builds: the programs as a user runs
// them, with their exit status and what they leave in the database.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "datalayer/SqliteFixtures.h"

namespace tarvesk {
namespace {

using testing::Bytes;
using testing::Connection;
using testing::TempFolder;

struct Outcome {
  int status;
  std::string output;
};

Outcome Execute(const std::string& command) {
  Outcome run{-1, ""};
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    run.output.append(buffer.data(), got);
  }
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class UndoCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    const Outcome made = Execute(std::string(MAKE_EXAMPLE_EXE) + " " + folder_.Path());
    ASSERT_EQ(made.status, 0) << made.output;
  }
  Outcome Logmanager(const std::string& arguments, const std::string& input = "") {
    return Execute("printf '" + input + "' | " + LOGMANAGER_EXE + " " + arguments);
  }
  // The action positions of log file n, from the actions command.
  std::vector<std::string> Actions(int file) {
    const Outcome run = Logmanager("actions " + logs_ + " " + std::to_string(file));
    EXPECT_EQ(run.status, 0) << run.output;
    std::vector<std::string> positions;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
      if (line.find(": ") != std::string::npos && std::isdigit(line[0])) {
        positions.push_back(line.substr(0, line.find(':')));
      }
    }
    return positions;
  }

  TempFolder folder_;
  std::string db_ = folder_ / "shop.db";
  std::string logs_ = folder_ / "logs";
};

TEST_F(UndoCommand, TheExampleHasThreeLogsOneWithErrors) {
  const Outcome files = Logmanager("files " + logs_);
  EXPECT_EQ(files.status, 0);
  EXPECT_EQ(Actions(1).size(), 6u);
  EXPECT_EQ(Actions(2).size(), 5u);
  EXPECT_EQ(Actions(3).size(), 3u);
  EXPECT_NE(Logmanager("actions " + logs_ + " 3").output.find("Errors were recorded"),
            std::string::npos);
}

// The undo's own data layer logs where the environment says.
TEST_F(UndoCommand, YesUndoesAnUpdateAndTheUndoIsLogged) {
  // One Save logs its fields in table order: PLZ, then Ort.
  const Outcome run = Execute("TARVESK_DATALAYER_LOGDIR=" + logs_ + " " + LOGMANAGER_EXE +
                              " --yes undo " + logs_ + " 1 " + Actions(1)[1]);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Aktueller Wert des Felds Ort: Köln"), std::string::npos);
  EXPECT_NE(run.output.find("Die Aktion wurde durchgeführt!"), std::string::npos);
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort FROM Kunden WHERE ID = 1"), "text:München\n");
  ASSERT_EQ(Actions(4).size(), 1u);
  EXPECT_NE(Logmanager("actions " + logs_ + " 4").output.find("UPDATE RECORDID=1"),
            std::string::npos);
}

TEST_F(UndoCommand, NoTypedAtThePromptOrGivenAsOptionWritesNothing) {
  const std::string before = Bytes(db_);
  const Outcome run = Logmanager("undo " + logs_ + " 1 " + Actions(1)[0], "n\\n\\n");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Es wurde keine Aktion durchgeführt!"), std::string::npos);
  for (const auto& position : Actions(2)) {
    EXPECT_EQ(Logmanager("--no undo " + logs_ + " 2 " + position).status, 0);
  }
  EXPECT_EQ(Bytes(db_), before);
}

// Reported errors and errors of the undo end with status 1, wrong usage with 2.
TEST_F(UndoCommand, ExitStatusOfErrors) {
  // Restoring customer 3 twice: the second time its id is taken.
  const std::string position = Actions(3).back();
  EXPECT_EQ(Logmanager("--yes undo " + logs_ + " 3 " + position).status, 0);
  const std::string before = Bytes(db_);
  const Outcome again = Logmanager("--yes undo " + logs_ + " 3 " + position);
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("=== Fehler bei Ausführung (Warnung) ==="), std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
  const Outcome noAction = Logmanager("--yes undo " + logs_ + " 1 2");
  EXPECT_EQ(noAction.status, 1);
  EXPECT_NE(noAction.output.find("Fehler 9: Index außerhalb des gültigen Bereichs: an der "
                                 "Position 2 des Logfiles beginnt keine Aktion."),
            std::string::npos)
      << noAction.output;
  EXPECT_EQ(Logmanager("undo " + logs_ + " 1").status, 2);
  EXPECT_EQ(Logmanager("undo " + logs_ + " 1 x").status, 2);
}

// Hand-written logs against the example's database, undone with --yes.
struct HandUndo {
  const char* what;
  std::string database;  // "@" stands for the example's database
  std::vector<std::string> action;
  int status;
  const char* output;  // a part of what the command prints
  const char* after;   // the dump of the query below afterwards; "" when unchanged
};

const char* const kAfterQuery =
    "SELECT Ort, typeof(Rabatt) || ':' || Rabatt, typeof(Notiz) || ':' || hex(Notiz) "
    "FROM Kunden WHERE ID IN (1, 9) ORDER BY ID";

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

class UndoCommandHandLog : public UndoCommand, public ::testing::WithParamInterface<HandUndo> {};

TEST_P(UndoCommandHandLog, RefusesOrWritesExactly) {
  const HandUndo& c = GetParam();
  const std::string folder = folder_ / "hand";
  std::filesystem::create_directory(folder);
  std::string database = c.database;
  if (const size_t at = database.find('@'); at != std::string::npos) database.replace(at, 1, db_);
  std::string text = "<?xml version=\"1.0\"?>\r\n<TarveskDataLayerLog>\r\n<HEAD>\r\n<DATABASE>" +
                     database + "</DATABASE>\r\n</HEAD>\r\n<LOGDATA>\r\n";
  for (const auto& line : c.action) text += line + "\r\n";
  testing::WriteBytes(folder + "/hand.xml", text + "</LOGDATA>\r\n</TarveskDataLayerLog>\r\n");
  const std::string before = Connection(db_).Dump(kAfterQuery);
  const std::string bytes = Bytes(db_);
  const Outcome run = Logmanager("--yes undo " + folder + " 1 1");
  EXPECT_EQ(run.status, c.status) << c.what << ": " << run.output;
  EXPECT_NE(run.output.find(c.output), std::string::npos) << c.what << ": " << run.output;
  if (*c.after) {
    EXPECT_EQ(Connection(db_).Dump(kAfterQuery), c.after) << c.what;
  } else {
    EXPECT_EQ(Bytes(db_), bytes) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UndoCommandHandLog,
    ::testing::Values(
        HandUndo{"recursive query", "@",
                 Update("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                        "SELECT * FROM Kunden WHERE ID IN (SELECT i FROM n)",
                        "Ort", "Bonn"),
                 1, "Fehler 5: Die Abfrage", ""},
        HandUndo{"aliased field", "@",
                 Update("SELECT ID, Ort AS Name FROM Kunden WHERE ID = 1", "Name", "Bonn"), 1,
                 "nicht unverändert als Spalte", ""},
        HandUndo{"relative path", "shop.db",
                 Update("SELECT * FROM Kunden WHERE ID = 1", "Ort", "B"), 1,
                 "Fehler 52: Der Datenbankpfad \"shop.db\"", ""},
        HandUndo{"NUL in the path", "@&#0;x",
                 Update("SELECT * FROM Kunden WHERE ID = 1", "Ort", "B"), 1,
                 "Fehler 52: Der Datenbankpfad des Logfiles enthält Steuerzeichen.", ""},
        HandUndo{"decimal comma", "@",
                 Update("SELECT * FROM Kunden WHERE ID = 1", "Rabatt", "19,95"), 0,
                 "Überschreiben mit Wert: 19,95", "text:Köln|text:real:19.95|text:null:\n"},
        HandUndo{"a restored BLOB",
                 "@",
                 {"<ACTION Info=\"DELETE_inDB RECORDID=9\">", "<TABLE>Kunden</TABLE>",
                  "<QueryString>SELECT * FROM Kunden WHERE ID = 9</QueryString>", "<TIME>t</TIME>",
                  "<ID>9</ID>", "<Name>Neu</Name>", "<Ort>&#0;T</Ort>", "<Rabatt>0,5</Rabatt>",
                  "<Notiz>&#0;B00FF</Notiz>", "<USER>u</USER>", "<COMPUTER>c</COMPUTER>",
                  "<APPLICATION>a</APPLICATION>", "<ROWSAFFECTED>1</ROWSAFFECTED>", "</ACTION>"},
                 0,
                 "Notiz: X'00FF'",
                 "text:Köln|text:real:0.075|text:null:\ntext:|text:real:0.5|text:blob:00FF\n"}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

// The record changes between the question and the answer: nothing is written.
TEST_F(UndoCommand, ARecordChangedWhileAskedIsNotOverwritten) {
  const std::string output = folder_ / "output.txt";
  std::FILE* input = popen((std::string(LOGMANAGER_EXE) + " undo " + logs_ + " 1 " + Actions(1)[1] +
                            " >" + output + " 2>&1")
                               .c_str(),
                           "w");
  ASSERT_NE(input, nullptr);
  for (int i = 0; i < 500 && Bytes(output).find("Überschreiben mit Wert") == std::string::npos;
       ++i) {
    usleep(10000);
  }
  Connection(db_).Exec("UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1");
  std::fputs("j\n", input);
  const int status = pclose(input);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(Bytes(output).find("Fehler 5: Der Datensatz wurde in der Zwischenzeit geändert"),
            std::string::npos)
      << Bytes(output);
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort FROM Kunden WHERE ID = 1"), "text:Bonn\n");
}

TEST_F(UndoCommand, JsonListsTheDialogs) {
  const Outcome run = Execute(std::string(LOGMANAGER_EXE) + " --json --no undo " + logs_ + " 1 " +
                              Actions(1)[0] + " 2>/dev/null");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("\"title\": \"Aktion durchführen\""), std::string::npos);
  EXPECT_NE(run.output.find("\"answer\": \"Nein\""), std::string::npos);
  EXPECT_NE(run.output.find("\"failed\": false"), std::string::npos);
}

}  // namespace
}  // namespace tarvesk
