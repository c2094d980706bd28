// logmanager's reading commands and prune, run as a user runs them.
#include <filesystem>

#include "tests/cli/CliSupport.h"
#include "tests/datalayer/SqliteFixtures.h"

namespace tarvesk::test {
namespace {

TEST(CommandLine, FilesListsNumberActionsAndUserAndCountsWhatItLeftOut) {
  const RunResult run = Logmanager("files @");
  EXPECT_EQ(run.out,
            "1: 01.12.2026 08:30:12: C:\\Daten\\Warenwirtschaft\\shop.db "
            "(DataLayer_20261201_083012.xml), 5 Aktionen, Benutzer mbauer\n"
            "2: 03.12.2026 14:15:00: C:\\Daten\\Warenwirtschaft\\shop.db "
            "(DataLayer_20261203_141500.xml), 3 Aktionen, Benutzer skoenig, Fehler aufgezeichnet\n"
            "3: 05.12.2026 17:02:45: OFFLINE (DataLayer_20261205_170245.xml), 2 Aktionen, "
            "Benutzer lager\n");
  EXPECT_EQ(run.err, "1 Datei ohne die Kennung einer Logdatei übergangen: Einstellungen.xml\n");
}

// Each row: words, status, parts of what it says (stdout when done, else stderr).
TEST(CommandLine, ReadingCommandsAndTheirErrors) {
  const Row rows[] = {
      {"actions @ 1", "", 0,
       "1: 01.12.2026 08:31:40 UPDATE Kunden ID 7, Ort: München → Köln\n|9: 01.12.2026 08:31:40 "
       "UPDATE Kunden ID 7, Telefon: (leer) → 0221 / 45 67 89\n|17: 01.12.2026 08:35:02 "
       "NEWRECORD Bestellungen ID 1043\n"},
      {"actions @ DataLayer_20261203_141500.xml", "", 0,
       "17: 03.12.2026 14:20:12 NEWRECORD Kunden ID 58\nErrors were recorded in this Logfile\n"},
      // A line break inside a value: the continuation indented under the value.
      {"show @ 1 30", "", 0,
       "Position 30: 01.12.2026 08:52:10 DELETE_inDB Kunden ID 3\n|Telefon: (leer)\n|Bemerkung: "
       "Zahlt per Überweisung\n           Rabatt 5 % & Skonto\n"},
      {"show @ 2 errors", "", 0,
       "Speichern von Datensatz 1041 fehlgeschlagen: database is locked\nFeld \"Rabatt\" ist "
       "keine Spalte der Tabelle Bestellungen\n"},
      {"show @ 1 errors", "", 0, "keine Fehler aufgezeichnet (Logdatei 1)\n"},
      {"header @ 1", "", 0, "SESSIONTIME: 01.12.2026 08:30:12\nUSER: mbauer\n"},
      {"files /gibt/es/nicht", "", 1,
       "Fehler 76: Pfad nicht gefunden: Der Ordner \"/gibt/es/nicht\" existiert nicht.\nHinweis: "},
      {"files @/DataLayer_20261201_083012.xml", "", 1,
       "ist eine Datei, kein Ordner|logmanager files " + kExamples},
      {"actions @ 9", "", 2, "Keine Logdatei mit der Nummer 9 (1 bis 3)|logmanager files"},
      // The same position check for show and undo: a closing line, no number.
      {"show @ 1 8", "", 2,
       "An Position 8 der Logdatei 1 beginnt keine Aktion; die Aktion davor beginnt an Position "
       "1.|logmanager actions " +
           kExamples + " 1"},
      {"undo @ 1 x1", "", 2, "Keine gültige Position: \"x1\""},
      // Undo checks the database before anything else.
      {"undo @ 1 1", "", 1,
       "Fehler 53: Datei nicht gefunden: Die Datenbank \"C:\\Daten\\Warenwirtschaft\\shop.db\""
       "|Windows-Pfad"},
      {"undo @ 3 1", "", 1, "(DATABASE: OFFLINE)"},
      {"", "", 2, "Kein Befehl angegeben.\nHilfe: logmanager help\n"},
      {"fils @", "", 2, "Unbekannter Befehl: fils. Meinten Sie files?"},
      {"files --jsn @", "", 2, "Unbekannte Option: --jsn. Meinten Sie --json?"},
      {"files -x @", "", 2, "Unbekannte Option: -x"},
      {"files --dry-run @", "", 2,
       "Die Option --dry-run gilt nicht für files.\nHilfe: logmanager help files"},
      {"files @ 1", "", 2, "Zu viele Angaben für files."},
      {"undo -y -n @ 1 1", "", 2, "--yes und --no schließen einander aus."},
      {"prune @ --before morgen", "", 2, "Kein gültiges Datum für --before: \"morgen\""},
      {"prune @ --older-than=30", "", 2, "Kein gültiges Alter für --older-than: \"30\""},
      {"prune @ --before", "", 2, "Die Option --before braucht einen Wert."},
      {"prune @", "", 2, "prune braucht genau eine Angabe"},
      {"help undu", "", 2},
  };
  for (const Row& row : rows) ExpectRun(row);
  // Output that cannot be written is a failure.
  const RunResult full =
      RunProgram({"/bin/sh", "-c",
                  std::string("exec ") + LOGMANAGER_EXE + " files " + kExamples + " >/dev/full"});
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(Has(full.err, "Die Ausgabe konnte nicht geschrieben werden")) << full.err;
}

// Each command has its help (by LANG), manual section and completion; options go anywhere.
TEST(CommandLine, HelpVersionDocumentationAndOptionForms) {
  EXPECT_EQ(Logmanager("--version").out, std::string("logmanager ") + TARVESK_VERSION + "\n");
  const RunOptions german{.env = {"LC_ALL", "LC_MESSAGES", "LANG=de_DE.UTF-8"}};
  const RunOptions english{.env = {"LC_ALL", "LC_MESSAGES", "LANG=en_GB.UTF-8"}};
  const std::string manual = testing::Bytes(TARVESK_SOURCE_DIR "/programs/cli/logmanager.1.in");
  const std::string completion = testing::Bytes(TARVESK_SOURCE_DIR "/programs/cli/logmanager.bash");
  const std::string general = Logmanager("help", "", german).out;
  for (const std::string c :
       {"files", "header", "actions", "show", "history", "undo", "redo", "prune", "help"}) {
    EXPECT_TRUE(Has(Logmanager("help " + c, "", german).out, "logmanager " + c) &&
                Has(general, "\n  " + c + " ") &&
                (Has(manual, "\n.BI \"" + c + " ") || Has(manual, "\n.BR " + c)) &&
                (Has(completion, " " + c + " ") || Has(completion, " " + c + "\"")))
        << c;
  }
  const std::string undoHelp = Logmanager("help undo", "", german).out;
  EXPECT_TRUE(Has(undoHelp, "Beispiele:\n  logmanager undo") &&
              Has(undoHelp, "3 mit Nein beantwortet") && Has(general, "Rückgabewert: 0 erledigt"))
      << undoHelp;
  EXPECT_TRUE(Has(Logmanager("prune -h", "", english).out, "Examples:\n  logmanager prune"));
  EXPECT_TRUE(Has(Logmanager("--help", "", english).out, "Exit status: 0 done"));

  // -- before words that look like options.
  TempFolder folder;
  std::filesystem::create_directory(folder / "-x");
  const RunResult dashed = RunProgram(
      {"/bin/sh", "-c", "cd '" + folder.Path() + "' && exec " + LOGMANAGER_EXE + " files -- -x"});
  EXPECT_TRUE(Has(dashed.out, "keine Logdateien im Ordner -x")) << dashed.err;
}

TEST(CommandLine, JsonHasTypedValuesIsoDatesAndTheErrorsBesideTheActions) {
  const auto files = Json("files @");
  ExpectFields(files["files"][0],
               R"({"actionCount": 5, "user": "mbauer", "sessionTimeIso": "2026-12-01T08:30:12"})");
  EXPECT_EQ(files["files"][1]["errorsRecorded"], true);
  EXPECT_EQ(files["skipped"], nlohmann::json::array({"Einstellungen.xml"}));

  const auto actions = Json("actions @ 2");
  ASSERT_EQ(actions["actions"].size(), 3u);  // the error information is not an action
  EXPECT_TRUE(Has(actions["errorInfo"], "database is locked\r\nFeld"));
  ExpectFields(actions["actions"][1], R"({"position": 9, "kind": "UPDATE", "recordId": 1040,
      "table": "Bestellungen", "field": "Versanddatum", "oldValue": "", "newValue": "03.12.2026",
      "timeIso": "2026-12-03T14:16:31"})");
  EXPECT_TRUE(Json("actions @ 1")["errorInfo"].is_null());

  const auto properties = Json("show @ 1 30")["properties"];
  EXPECT_EQ(properties[4]["value"], 80331);            // PLZ
  EXPECT_EQ(properties[7]["valueIso"], "2019-03-15");  // Kunde_seit
  EXPECT_EQ(properties[8]["value"], "Zahlt per Überweisung\r\nRabatt 5 % & Skonto");
  // A decimal comma stays text, exactly as logged.
  EXPECT_EQ(Json("show @ 1 22")["properties"][2]["value"], "19,95");
}

// Control characters and stray bytes are escaped on the terminal, exact in JSON.
TEST(CommandLine, ControlCharactersAndInvalidBytesAreEscapedButExactInJson) {
  TempFolder folder;
  folder.WriteLines("Log\xFF.xml",
                    LogLines("C:\\db.mdb", "01.12.2026 08:00:00",
                             {"<ACTION Info=\"UPDATE RECORDID=1\">\r\n<TABLE>Kunden</TABLE>\r\n"
                              "<QueryString>SELECT * FROM Kunden</QueryString>\r\n<TIME>01.12.2026 "
                              "08:00:00</TIME>\r\n<FieldName>Ort</FieldName>\r\n<OldValue>&#27;]0;"
                              "gekapert&#7;&#27;[2J</OldValue>\r\n<NewValue>a&#155;b</NewValue>\r\n"
                              "</ACTION>"}));
  const RunResult actions = Logmanager("actions @ 1", folder.Path());
  EXPECT_EQ(actions.out,
            "1: 01.12.2026 08:00:00 UPDATE Kunden ID 1, Ort: \\x1B]0;gekapert\\x07\\x1B[2J → "
            "a\\u009Bb\n");
  const RunResult files = Logmanager("files @", folder.Path());
  EXPECT_TRUE(Has(files.out, "(Log\\xFF.xml)")) << files.out;
  EXPECT_EQ(Logmanager("show @ 1 1", folder.Path()).out.find('\x1B'), std::string::npos);
  const auto json = Json("actions @ 1", folder.Path());
  EXPECT_EQ(json["actions"][0]["oldValue"], "\x1B]0;gekapert\a\x1B[2J");
  EXPECT_EQ(json["file"]["nameBytes"], "4C6F67FF2E786D6C");
}

// Only Ja or --yes deletes; a log that another process still writes is skipped and kept.
TEST(Prune, AsksAndDeletesNothingUnlessAnsweredJaAndSkipsALiveLog) {
  TempFolder folder;
  folder.WriteLines("alt.xml", LogLines("C:\\db.mdb", "01.01.2000 08:00:00", {}));
  folder.WriteLines("neu.xml", LogLines("C:\\db.mdb", "01.01.2099 08:00:00", {}));
  const std::string old = folder / "alt.xml", young = folder / "neu.xml";
  for (const Row& row :
       std::vector<Row>{{"prune @ --older-than 30d --dry-run", "", 0,
                         "würde löschen: " + old + "\n1 Logdatei würde gelöscht"},
                        {"prune @ --before=1.1.2001", "", 2},  // no terminal and no --yes
                        {"prune @ --before=1.1.2001 -n", "", 3}}) {
    ExpectRun(row, folder.Path());
  }
  const RunResult asked =
      Logmanager("prune @ --older-than 24h", folder.Path(), {.input = "j\n", .onTerminal = true});
  EXPECT_TRUE(Has(asked.terminal, "würde löschen: " + old + "\n1 Logdatei mit Sitzungszeit vor ") &&
              asked.terminal.ends_with(" löschen? [j/N]? ") &&
              asked.out == "gelöscht: " + old + "\n1 Logdatei gelöscht.\n")
      << asked.terminal << asked.out;
  for (const Row& row :
       std::vector<Row>{{"prune @ --older-than 30d", "", 0,
                         "nichts zu löschen: keine Logdatei mit Sitzungszeit vor "},
                        {"prune @ --before 2100-01-01 --yes", "", 0,
                         "gelöscht: " + young + "\n1 Logdatei gelöscht.\n"}}) {
    ExpectRun(row, folder.Path());
  }
  EXPECT_FALSE(std::filesystem::exists(young));

  auto live = LogLines("C:\\db.mdb", "01.01.2000 08:00:00", {});
  live.pop_back();  // no end marker: a session still writes it
  folder.WriteLines("alt.xml", live);
  for (const Row& row :
       std::vector<Row>{{"prune @ --before 2100-01-01 --dry-run", "", 0,
                         "würde überspringen (ohne Endmarke und kürzlich geändert): " + old},
                        {"prune @ --before 2100-01-01 --yes", "", 0,
                         "übersprungen (ohne Endmarke und kürzlich geändert): " + old +
                             "\n|0 Logdateien gelöscht, 1 in Benutzung übersprungen.\n"},
                        {"--json prune @ --before 2100-01-01 --yes", "", 0,
                         "\"skipped\": \"unfinished\"|\"skippedCount\": 1"}}) {
    ExpectRun(row, folder.Path());
  }
  EXPECT_TRUE(std::filesystem::exists(old));
}

}  // namespace
}  // namespace tarvesk::test
