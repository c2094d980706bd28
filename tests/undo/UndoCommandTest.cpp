// logmanager undo on the example that make_example builds: the programs as a user runs
// them, with their exit status and what they leave in the database.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
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
  EXPECT_NE(noAction.output.find("Fehler 91"), std::string::npos);
  EXPECT_EQ(Logmanager("undo " + logs_ + " 1").status, 2);
  EXPECT_EQ(Logmanager("undo " + logs_ + " 1 x").status, 2);
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
