#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

struct Outcome {
  int status;
  std::string out;
};

// Runs logmanager with the arguments (each quoted); stderr goes to stdout when asked.
Outcome Logmanager(const std::vector<std::string>& args, bool withStderr = false) {
  std::string command = LOGMANAGER_EXE;
  for (const auto& arg : args) command += " '" + arg + "'";
  command += withStderr ? " 2>&1" : " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, got);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

const std::string kExamples = std::string(TARVESK_SOURCE_DIR) + "/examples/logs";

TEST(CommandLine, ListsTheExampleFolderLikeTheViewer) {
  const Outcome run = Logmanager({"files", kExamples});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "01.12.2026 08:30:12: C:\\Daten\\Warenwirtschaft\\shop.db "
            "(DataLayer_20261201_083012.xml)\n"
            "03.12.2026 14:15:00: C:\\Daten\\Warenwirtschaft\\shop.db "
            "(DataLayer_20261203_141500.xml)\n"
            "05.12.2026 17:02:45: OFFLINE (DataLayer_20261205_170245.xml)\n");
}

TEST(CommandLine, ShowsActionsDetailsAndErrors) {
  const Outcome actions = Logmanager({"actions", kExamples, "2"});
  EXPECT_EQ(actions.status, 0);
  EXPECT_EQ(actions.out.substr(actions.out.rfind('\n', actions.out.size() - 2) + 1),
            "Errors were recorded in this Logfile\n");
  const Outcome show = Logmanager({"show", kExamples, "DataLayer_20261201_083012.xml", "30"});
  EXPECT_NE(show.out.find("Name: Jürgen Weiß\n"), std::string::npos);
  // A line break inside a value is printed as a line break.
  EXPECT_NE(show.out.find("Bemerkung: Zahlt per Überweisung\nRabatt 5 % & Skonto\n"),
            std::string::npos);
  const Outcome errors = Logmanager({"show", kExamples, "2", "errors"});
  EXPECT_EQ(errors.out,
            "Speichern von Datensatz 1041 fehlgeschlagen: database is locked\n"
            "Feld \"Rabatt\" ist keine Spalte der Tabelle Bestellungen\n");
}

TEST(CommandLine, GivesTheSameDataAsJson) {
  const auto files = nlohmann::json::parse(Logmanager({"--json", "files", kExamples}).out);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[2]["database"], "OFFLINE");
  EXPECT_EQ(files[0]["name"], "DataLayer_20261201_083012.xml");
  const auto actions = nlohmann::json::parse(Logmanager({"actions", kExamples, "2", "--json"}).out);
  EXPECT_EQ(actions[1]["position"], 9);
  EXPECT_TRUE(actions.back()["position"].is_null());
  const auto header = nlohmann::json::parse(Logmanager({"--json", "header", kExamples, "3"}).out);
  EXPECT_EQ(header.back()["name"], "FILENAME");
}

TEST(CommandLine, ExitStatusTellsUsageFromFailure) {
  EXPECT_EQ(Logmanager({}).status, 2);
  EXPECT_EQ(Logmanager({"gibtsnicht"}).status, 2);
  EXPECT_EQ(Logmanager({"files"}).status, 2);
  EXPECT_EQ(Logmanager({"actions", kExamples, "9"}).status, 2);
  EXPECT_EQ(Logmanager({"actions", kExamples, "fehlt.xml"}).status, 2);
  EXPECT_EQ(Logmanager({"show", kExamples, "1", "x1"}).status, 2);
  EXPECT_EQ(Logmanager({"prune", kExamples, "--before", "morgen"}).status, 2);
  const Outcome missing = Logmanager({"files", "/gibt/es/nicht"}, true);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "Fehler 76: Pfad nicht gefunden\n");
  const Outcome outside = Logmanager({"show", kExamples, "1", "999"}, true);
  EXPECT_EQ(outside.status, 1);
  EXPECT_EQ(outside.out, "Fehler 9: Index außerhalb des gültigen Bereichs\n");
  EXPECT_EQ(Logmanager({"--help"}).status, 0);
}

TEST(CommandLine, PrunesOldLogsOrOnlyListsThem) {
  test::TempFolder folder;
  for (const auto& entry : std::filesystem::directory_iterator(kExamples)) {
    std::filesystem::copy(entry.path(), folder.Path() / entry.path().filename());
  }
  const std::string old = folder.FileStr("DataLayer_20261201_083012.xml");
  const Outcome dry = Logmanager({"prune", folder.Str(), "--before", "2026-12-02", "--dry-run"});
  EXPECT_EQ(dry.status, 0);
  EXPECT_EQ(dry.out, old + "\n");
  EXPECT_TRUE(std::filesystem::exists(old));
  const Outcome real = Logmanager({"prune", folder.Str(), "--before", "04.12.2026"});
  EXPECT_EQ(real.out, old + "\n" + folder.FileStr("DataLayer_20261203_141500.xml") + "\n");
  EXPECT_FALSE(std::filesystem::exists(old));
  EXPECT_EQ(Logmanager({"files", folder.Str()}).out,
            "05.12.2026 17:02:45: OFFLINE (DataLayer_20261205_170245.xml)\n");
}

}  // namespace
}  // namespace tarvesk
