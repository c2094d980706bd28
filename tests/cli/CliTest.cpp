// logmanager's reading commands, prune and its conventions, run as a user runs them: on
// the example logs (written on a Windows system) and on logs written by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/support/Process.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

using test::RunOptions;
using test::RunResult;

const std::string kExamples = std::string(TARVESK_SOURCE_DIR) + "/examples/logs";

RunResult Logmanager(std::vector<std::string> args, const RunOptions& options = {}) {
  args.insert(args.begin(), LOGMANAGER_EXE);
  return test::RunProgram(args, options);
}

nlohmann::json Json(std::vector<std::string> args) {
  args.insert(args.begin(), "--json");
  const RunResult run = Logmanager(args);
  EXPECT_EQ(run.status, 0) << run.err;
  return nlohmann::json::parse(run.out);
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CommandLine, FilesListsNumberActionsAndUserAndCountsWhatItLeftOut) {
  const RunResult run = Logmanager({"files", kExamples});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "1: 01.12.2026 08:30:12: C:\\Daten\\Warenwirtschaft\\shop.db "
            "(DataLayer_20261201_083012.xml), 5 Aktionen, Benutzer mbauer\n"
            "2: 03.12.2026 14:15:00: C:\\Daten\\Warenwirtschaft\\shop.db "
            "(DataLayer_20261203_141500.xml), 3 Aktionen, Benutzer skoenig, Fehler aufgezeichnet\n"
            "3: 05.12.2026 17:02:45: OFFLINE (DataLayer_20261205_170245.xml), 2 Aktionen, "
            "Benutzer lager\n");
  EXPECT_EQ(run.err, "1 Datei ohne die Kennung einer Logdatei übergangen: Einstellungen.xml\n");
}

// Each case: the command's words, and lines its output holds.
TEST(CommandLine, ReadingCommandsShowFieldValuesTimesAndEmptyResults) {
  test::TempFolder empty;
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> lines;
  } cases[] = {
      {{"actions", kExamples, "1"},
       {"1: 01.12.2026 08:31:40 UPDATE Kunden ID 7, Ort: München → Köln\n",
        "9: 01.12.2026 08:31:40 UPDATE Kunden ID 7, Telefon: (leer) → 0221 / 45 67 89\n",
        "17: 01.12.2026 08:35:02 NEWRECORD Bestellungen ID 1043\n"}},
      {{"actions", kExamples, "DataLayer_20261203_141500.xml"},
       {"17: 03.12.2026 14:20:12 NEWRECORD Kunden ID 58\nErrors were recorded in this Logfile\n"}},
      // A line break inside a value: the continuation indented under the value.
      {{"show", kExamples, "1", "30"},
       {"Position 30: 01.12.2026 08:52:10 DELETE_inDB Kunden ID 3\n", "Telefon: (leer)\n",
        "Bemerkung: Zahlt per Überweisung\n           Rabatt 5 % & Skonto\n"}},
      {{"show", kExamples, "2", "errors"},
       {"Speichern von Datensatz 1041 fehlgeschlagen: database is locked\n"
        "Feld \"Rabatt\" ist keine Spalte der Tabelle Bestellungen\n"}},
      {{"show", kExamples, "1", "errors"}, {"keine Fehler aufgezeichnet (Logdatei 1)\n"}},
      {{"header", kExamples, "1"}, {"SESSIONTIME: 01.12.2026 08:30:12\nUSER: mbauer\n"}},
      {{"files", empty.Path()}, {"keine Logdateien im Ordner "}},
  };
  for (const auto& [args, lines] : cases) {
    const RunResult run = Logmanager(args);
    EXPECT_EQ(run.status, 0) << args[0] << run.err;
    for (const auto& line : lines) EXPECT_TRUE(Has(run.out, line)) << run.out << "\nlacks " << line;
  }
}

// Each case: the words, the exit status and what stderr says (the thing, the next step).
TEST(CommandLine, ErrorsNameTheThingAndTheNextStep) {
  const std::string file = kExamples + "/DataLayer_20261201_083012.xml";
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> says;
  } cases[] = {
      {{"files", "/gibt/es/nicht"},
       1,
       {"Fehler 76: Pfad nicht gefunden: Der Ordner \"/gibt/es/nicht\" existiert "
        "nicht.\nHinweis: "}},
      {{"files", file}, 1, {"ist eine Datei, kein Ordner", "logmanager files " + kExamples}},
      {{"actions", kExamples, "9"},
       2,
       {"Keine Logdatei mit der Nummer 9 (1 bis 3)", "logmanager files"}},
      // The same position check for show and undo: a closing line, past the end, no number.
      {{"show", kExamples, "1", "8"},
       2,
       {"An Position 8 der Logdatei 1 beginnt keine Aktion; die Aktion davor beginnt an Position "
        "1.",
        "logmanager actions " + kExamples + " 1"}},
      {{"undo", kExamples, "1", "99"}, 2, {"An Position 99", "davor beginnt an Position 30"}},
      {{"undo", kExamples, "1", "x1"}, 2, {"Keine gültige Position: \"x1\""}},
      // Undo checks the database before anything else.
      {{"undo", kExamples, "1", "1"},
       1,
       {"Fehler 53: Datei nicht gefunden: Die Datenbank \"C:\\Daten\\Warenwirtschaft\\shop.db\"",
        "Windows-Pfad"}},
      {{"undo", kExamples, "3", "1"}, 1, {"(DATABASE: OFFLINE)"}},
      {{}, 2, {"Kein Befehl angegeben.\nHilfe: logmanager help\n"}},
      {{"fils", kExamples}, 2, {"Unbekannter Befehl: fils. Meinten Sie files?"}},
      {{"files", "--jsn", kExamples}, 2, {"Unbekannte Option: --jsn. Meinten Sie --json?"}},
      {{"files", "-x", kExamples}, 2, {"Unbekannte Option: -x"}},
      {{"files", "--dry-run", kExamples},
       2,
       {"Die Option --dry-run gilt nicht für files.\nHilfe: logmanager help files"}},
      {{"files", kExamples, "1"}, 2, {"Zu viele Angaben für files."}},
      {{"undo", "-y", "-n", kExamples, "1", "1"}, 2, {"--yes und --no schließen einander aus."}},
      {{"prune", kExamples, "--before", "morgen"},
       2,
       {"Kein gültiges Datum für --before: \"morgen\""}},
      {{"prune", kExamples, "--older-than=30"},
       2,
       {"Kein gültiges Alter für --older-than: \"30\""}},
      {{"prune", kExamples, "--before"}, 2, {"Die Option --before braucht einen Wert."}},
      {{"prune", kExamples}, 2, {"prune braucht genau eine Angabe"}},
  };
  for (const auto& [args, status, says] : cases) {
    const RunResult run = Logmanager(args);
    EXPECT_EQ(run.status, status) << (args.empty() ? "" : args[0]) << run.err;
    for (const auto& part : says) EXPECT_TRUE(Has(run.err, part)) << run.err << "\nlacks " << part;
  }
  // Output that cannot be written is a failure.
  const RunResult full = test::RunProgram(
      {"/bin/sh", "-c",
       std::string("exec ") + LOGMANAGER_EXE + " files " + kExamples + " >/dev/full"});
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(Has(full.err, "Die Ausgabe konnte nicht geschrieben werden")) << full.err;
}

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Each command has its help (German or English by LANG), a line in the general help, a
// section of the manual page and a place in the completion.
TEST(CommandLine, HelpVersionDocumentationAndOptionForms) {
  EXPECT_EQ(Logmanager({"--version"}).out, std::string("logmanager ") + TARVESK_VERSION + "\n");
  const RunOptions german{.env = {"LC_ALL", "LC_MESSAGES", "LANG=de_DE.UTF-8"}};
  const RunOptions english{.env = {"LC_ALL", "LC_MESSAGES", "LANG=en_GB.UTF-8"}};
  const std::string manual = FileText(TARVESK_SOURCE_DIR "/programs/cli/logmanager.1.in");
  const std::string completion = FileText(TARVESK_SOURCE_DIR "/programs/cli/logmanager.bash");
  const std::string general = Logmanager({"help"}, german).out;
  EXPECT_TRUE(Has(general, "Rückgabewert: 0 erledigt"));
  for (const std::string command :
       {"files", "header", "actions", "show", "history", "undo", "redo", "prune", "help"}) {
    const RunResult help = Logmanager({"help", command}, german);
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_TRUE(Has(help.out, "logmanager " + command)) << command;
    EXPECT_TRUE(Has(general, "\n  " + command + " ")) << command;
    EXPECT_TRUE(Has(manual, "\n.BI \"" + command + " ") || Has(manual, "\n.BR " + command))
        << command;
    EXPECT_TRUE(Has(completion, " " + command + " ") || Has(completion, " " + command + "\""))
        << command;
  }
  const std::string undoHelp = Logmanager({"help", "undo"}, german).out;
  EXPECT_TRUE(Has(undoHelp, "Beispiele:\n  logmanager undo")) << undoHelp;
  EXPECT_TRUE(Has(undoHelp, "3 mit Nein beantwortet"));
  EXPECT_EQ(Logmanager({"undo", "--help"}, german).out, undoHelp);
  EXPECT_TRUE(Has(Logmanager({"prune", "-h"}, english).out, "Examples:\n  logmanager prune"));
  EXPECT_TRUE(Has(Logmanager({"--help"}, english).out, "Exit status: 0 done"));
  EXPECT_EQ(Logmanager({"help", "undu"}).status, 2);

  // Options anywhere, --opt=value, and -- before words that look like options.
  const std::string plain = Logmanager({"--json", "header", kExamples, "1"}).out;
  EXPECT_EQ(Logmanager({"header", kExamples, "1", "--json"}).out, plain);
  test::TempFolder folder;
  std::filesystem::create_directory(folder / "-x");
  const RunResult dashed = test::RunProgram(
      {"/bin/sh", "-c", "cd '" + folder.Path() + "' && exec " + LOGMANAGER_EXE + " files -- -x"});
  EXPECT_EQ(dashed.status, 0) << dashed.err;
  EXPECT_TRUE(Has(dashed.out, "keine Logdateien im Ordner -x"));
}

TEST(CommandLine, JsonHasTypedValuesIsoDatesAndTheErrorsBesideTheActions) {
  const auto files = Json({"files", kExamples});
  EXPECT_EQ(files["files"][0]["actionCount"], 5);
  EXPECT_EQ(files["files"][0]["user"], "mbauer");
  EXPECT_EQ(files["files"][0]["sessionTimeIso"], "2026-12-01T08:30:12");
  EXPECT_EQ(files["files"][1]["errorsRecorded"], true);
  EXPECT_EQ(files["skipped"], nlohmann::json::array({"Einstellungen.xml"}));

  const auto actions = Json({"actions", kExamples, "2"});
  ASSERT_EQ(actions["actions"].size(), 3u);  // the error information is not an action
  EXPECT_TRUE(Has(actions["errorInfo"], "database is locked\r\nFeld"));
  const auto& update = actions["actions"][1];
  EXPECT_EQ(update["position"], 9);
  EXPECT_EQ(update["kind"], "UPDATE");
  EXPECT_EQ(update["table"], "Bestellungen");
  EXPECT_EQ(update["recordId"], 1040);
  EXPECT_EQ(update["field"], "Versanddatum");
  EXPECT_EQ(update["oldValue"], "");
  EXPECT_EQ(update["newValue"], "03.12.2026");
  EXPECT_EQ(update["timeIso"], "2026-12-03T14:16:31");
  EXPECT_TRUE(Json({"actions", kExamples, "1"})["errorInfo"].is_null());

  const auto show = Json({"show", kExamples, "1", "30"});
  const auto& properties = show["properties"];
  EXPECT_EQ(properties[1]["value"], 3);                // ID
  EXPECT_EQ(properties[4]["value"], 80331);            // PLZ
  EXPECT_EQ(properties[7]["valueIso"], "2019-03-15");  // Kunde_seit
  EXPECT_EQ(properties[8]["value"], "Zahlt per Überweisung\r\nRabatt 5 % & Skonto");
  const auto price = Json({"show", kExamples, "1", "22"})["properties"];
  EXPECT_EQ(price[2]["value"], "19,95");  // a decimal comma stays text, exactly as logged
}

// Values reach the terminal with their control characters and stray bytes escaped, in
// JSON exactly.
TEST(CommandLine, ControlCharactersAndInvalidBytesAreEscapedButExactInJson) {
  test::TempFolder folder;
  const std::string name = "Log\xFF.xml";
  folder.WriteLines(
      name, test::LogLines("C:\\db.mdb", "01.12.2026 08:00:00",
                           {"<ACTION Info=\"UPDATE RECORDID=1\">", "<TABLE>Kunden</TABLE>",
                            "<QueryString>SELECT * FROM Kunden</QueryString>",
                            "<TIME>01.12.2026 08:00:00</TIME>", "<FieldName>Ort</FieldName>",
                            "<OldValue>&#27;]0;gekapert&#7;&#27;[2J</OldValue>",
                            "<NewValue>a&#155;b</NewValue>", "</ACTION>"}));
  const RunResult actions = Logmanager({"actions", folder.Path(), "1"});
  EXPECT_EQ(actions.out,
            "1: 01.12.2026 08:00:00 UPDATE Kunden ID 1, Ort: \\x1B]0;gekapert\\x07\\x1B[2J → "
            "a\\u009Bb\n");
  const RunResult files = Logmanager({"files", folder.Path()});
  EXPECT_TRUE(Has(files.out, "(Log\\xFF.xml)")) << files.out;
  for (const auto& run : {actions, files, Logmanager({"show", folder.Path(), "1", "1"})}) {
    EXPECT_EQ(run.out.find('\x1B'), std::string::npos);
  }
  const auto json = Json({"actions", folder.Path(), "1"});
  EXPECT_EQ(json["actions"][0]["oldValue"], "\x1B]0;gekapert\a\x1B[2J");
  EXPECT_EQ(json["actions"][0]["newValue"],
            "a\xC2\x9B"
            "b");
  EXPECT_EQ(json["file"]["nameBytes"], "4C6F67FF2E786D6C");
}

class Prune : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.WriteLines("alt.xml", test::LogLines("C:\\db.mdb", "01.01.2000 08:00:00", {}));
    folder_.WriteLines("neu.xml", test::LogLines("C:\\db.mdb", "01.01.2099 08:00:00", {}));
  }
  RunResult Run(std::vector<std::string> args, const RunOptions& options = {}) {
    args.insert(args.begin(), {"prune", folder_.Path()});
    return Logmanager(args, options);
  }
  bool Exists(const char* name) { return std::filesystem::exists(folder_ / name); }
  test::TempFolder folder_;
  const std::string old_ = folder_ / "alt.xml";
};

// Nothing is deleted without a Ja: not by --dry-run, not without a terminal, not by Enter.
TEST_F(Prune, AsksAndDeletesNothingUnlessAnsweredJa) {
  const RunResult dry = Run({"--older-than", "30d", "--dry-run"});
  EXPECT_EQ(dry.status, 0);
  EXPECT_TRUE(Has(dry.out, "würde löschen: " + old_ + "\n1 Logdatei würde gelöscht")) << dry.out;
  const struct {
    std::vector<std::string> args;
    RunOptions options;
    int status;
  } refusals[] = {
      {{"--before=1.1.2001"}, {}, 2},  // no terminal and no --yes
      {{"--before=1.1.2001", "-n"}, {}, 3},
      {{"--older-than=2w"}, {.input = "\n", .onTerminal = true}, 3},
      {{"--older-than=2w"}, {.input = "nein\n", .onTerminal = true}, 3},
  };
  for (const auto& [args, options, status] : refusals) {
    const RunResult run = Run(args, options);
    EXPECT_EQ(run.status, status) << args[0] << run.err << run.terminal;
    EXPECT_TRUE(Exists("alt.xml"));
  }
  const RunResult asked = Run({"--older-than", "24h"}, {.input = "j\n", .onTerminal = true});
  EXPECT_EQ(asked.status, 0);
  EXPECT_TRUE(Has(asked.terminal, "würde löschen: " + old_ + "\n1 Logdatei mit Sitzungszeit vor "))
      << asked.terminal;
  EXPECT_TRUE(
      Has(asked.terminal, "löschen? [j/N]? gelöscht: " + old_ + "\n1 Logdatei gelöscht.\n"));
  EXPECT_FALSE(Exists("alt.xml"));
  EXPECT_TRUE(Exists("neu.xml"));
  const RunResult nothing = Run({"--older-than", "30d"});
  EXPECT_EQ(nothing.status, 0);
  EXPECT_TRUE(Has(nothing.out, "nichts zu löschen: keine Logdatei mit Sitzungszeit vor "));
}

TEST_F(Prune, YesDeletesAndListsEachFile) {
  const RunResult run = Run({"--before", "2100-01-01", "--yes"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "gelöscht: " + old_ + "\ngelöscht: " + folder_ / "neu.xml" +
                         "\n2 Logdateien gelöscht.\n");
  EXPECT_FALSE(Exists("neu.xml"));
}

// A log whose session (another process) still writes it is listed as skipped, kept, and
// counts as no failure.
TEST_F(Prune, SkipsAndListsALiveLog) {
  test::TempFolder data;
  test::Spawned session({DATALAYER_SESSION_EXE, data / "shop.db", folder_.Path(), "1"});
  const std::string line = session.ReadLine();
  ASSERT_EQ(line.rfind("log ", 0), 0u) << line;
  const std::string live = line.substr(4);
  const RunResult dry = Run({"--before", "2100-01-01", "--dry-run"});
  EXPECT_TRUE(Has(dry.out, "würde überspringen (wird gerade geschrieben): " + live + "\n"))
      << dry.out;
  const RunResult run = Run({"--before", "2100-01-01", "--yes"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "übersprungen (wird gerade geschrieben): " + live + "\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "2 Logdateien gelöscht, 1 in Benutzung übersprungen.\n")) << run.out;
  EXPECT_TRUE(std::filesystem::exists(live));
  const auto json = Json({"prune", folder_.Path(), "--before", "2100-01-01", "--yes"});
  EXPECT_EQ(json["files"][0]["skipped"], "locked");
  EXPECT_EQ(json["skippedCount"], 1);
}

TEST(Scripts, AnswerHelpAndMakeNoFolderOfThatName) {
  test::TempFolder folder;
  const RunResult run = test::RunProgram(
      {"/bin/sh", "-c", "cd '" + folder.Path() + "' && exec " + MAKE_EXAMPLE_EXE + " --help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Has(run.out, "Aufruf: make_example AUSGABEORDNER"));
  EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
  const RunResult script = test::RunProgram({std::string(TARVESK_SOURCE_DIR) + "/run", "--help"});
  EXPECT_EQ(script.status, 0);
  EXPECT_TRUE(Has(script.out, "Usage: ./run [FOLDER]"));
}

}  // namespace
}  // namespace tarvesk
