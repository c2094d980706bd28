#include "cli/Help.h"

#include <cstdlib>
#include <map>

namespace tarvesk::cli {
namespace {

struct Texts {
  const char* de;
  const char* en;
};

const Texts kGeneral{
    R"(logmanager - zeigt die Änderungsprotokolle (Logs) der Datenschicht und macht einzelne
Änderungen in der Datenbank rückgängig.

Aufruf: logmanager [OPTIONEN] BEFEHL ARGUMENTE...

Befehle:
  files DIR                 die Logdateien des Ordners: Nummer, Sitzungszeit, Datenbank,
                            Aktionen, Benutzer
  header DIR DATEI          die Kopfeigenschaften einer Logdatei
  actions DIR DATEI         die Aktionen einer Logdatei mit Position, Zeit, Tabelle, Feld
                            und alt → neu
  show DIR DATEI POS        alle Angaben der Aktion an Position POS
  show DIR DATEI errors     die Fehlerinformation der Logdatei
  undo DIR DATEI POS        macht die Aktion an Position POS rückgängig (fragt vorher)
  prune DIR --older-than 30d | --before DATUM
                            löscht alte Logdateien (fragt vorher)
  help [BEFEHL]             diese Hilfe oder die eines Befehls

DATEI ist die Nummer aus files (ab 1) oder der Dateiname. POS ist die Zahl am Anfang einer
Zeile von actions: die Zeile der Logdatei, an der die Aktion beginnt (daher die Lücken).

Optionen:
  --json                    die Daten als JSON (Zahlen als Zahlen, Daten auch in ISO 8601)
  -y, --yes                 beantwortet die Frage mit Ja (für Skripte)
  -n, --no                  beantwortet die Frage mit Nein
  -h, --help                Hilfe; BEFEHL --help zeigt die Hilfe des Befehls
  --version                 die Version
  --                        alles danach sind Argumente, keine Optionen
Optionen mit Wert auch als --option=wert.

Rückgabewert: 0 erledigt, 1 fehlgeschlagen, 2 falscher Aufruf, 3 mit Nein beantwortet.
)",
    R"(logmanager - shows the change logs of the data layer and undoes single changes in
the database. Its messages and questions are German (j = Ja = yes, n = Nein = no).

Usage: logmanager [OPTIONS] COMMAND ARGUMENTS...

Commands:
  files DIR                 the log files of the folder: number, session time, database,
                            actions, user
  header DIR FILE           the header properties of a log file
  actions DIR FILE          the actions of a log file with position, time, table, field
                            and old → new
  show DIR FILE POS         everything about the action at position POS
  show DIR FILE errors      the log file's error information
  undo DIR FILE POS         undoes the action at position POS (asks first)
  prune DIR --older-than 30d | --before DATE
                            deletes old log files (asks first)
  help [COMMAND]            this help or the help of one command

FILE is the number from files (from 1) or the file name. POS is the number at the start of
a line of actions: the line of the log at which the action starts (hence the gaps).

Options:
  --json                    the data as JSON (numbers as numbers, dates also in ISO 8601)
  -y, --yes                 answers the question with yes (for scripts)
  -n, --no                  answers the question with no
  -h, --help                help; COMMAND --help shows the command's help
  --version                 the version
  --                        everything after it is an argument, not an option
Options with a value also as --option=value.

Exit status: 0 done, 1 failed, 2 wrong usage, 3 answered with no.
)"};

const std::map<std::string, Texts> kCommands = {
    {"files",
     {R"(logmanager files DIR

Listet die Logdateien des Ordners DIR, eine Zeile je Datei:
  NUMMER: SITZUNGSZEIT: DATENBANK (DATEINAME), N Aktionen, Benutzer NAME
Dateien *.xml ohne die Kennung einer Logdatei werden übergangen und auf stderr gezählt.

Beispiele:
  logmanager files /srv/logs
  logmanager --json files /srv/logs
)",
      R"(logmanager files DIR

Lists the log files of folder DIR, one line per file:
  NUMBER: SESSION TIME: DATABASE (FILE NAME), N Aktionen, Benutzer NAME
*.xml files without the log marker are left out and counted on stderr.

Examples:
  logmanager files /srv/logs
  logmanager --json files /srv/logs
)"}},
    {"header",
     {R"(logmanager header DIR DATEI

Zeigt die Kopfeigenschaften der Logdatei DATEI (Nummer aus files oder Dateiname):
Datenbank, Sitzungszeit, Benutzer, Rechner, Anwendung, Dateiname.

Beispiele:
  logmanager header /srv/logs 1
  logmanager header /srv/logs DataLayer_20261201_083012.xml
)",
      R"(logmanager header DIR FILE

Shows the header properties of log file FILE (number from files or file name): database,
session time, user, computer, application, file name.

Examples:
  logmanager header /srv/logs 1
  logmanager header /srv/logs DataLayer_20261201_083012.xml
)"}},
    {"actions",
     {R"(logmanager actions DIR DATEI

Listet die Aktionen der Logdatei, eine Zeile je Aktion:
  POS: ZEIT ART TABELLE ID n[, FELD: alt → neu]
POS ist die Zeile der Logdatei, an der die Aktion beginnt; show und undo nehmen diese Zahl.
Lange Werte sind gekürzt, show zeigt sie ganz. Eine Logdatei mit Fehlern endet mit der
Zeile "Errors were recorded in this Logfile".

Beispiele:
  logmanager actions /srv/logs 1
  logmanager actions /srv/logs 1 | grep 'Kunden ID 7'
)",
      R"(logmanager actions DIR FILE

Lists the actions of the log file, one line per action:
  POS: TIME KIND TABLE ID n[, FIELD: old → new]
POS is the line of the log at which the action starts; show and undo take that number.
Long values are shortened, show prints them whole. A log with errors ends with the line
"Errors were recorded in this Logfile".

Examples:
  logmanager actions /srv/logs 1
  logmanager actions /srv/logs 1 | grep 'Kunden ID 7'
)"}},
    {"show",
     {R"(logmanager show DIR DATEI POS
logmanager show DIR DATEI errors

Zeigt alle Angaben der Aktion an Position POS (Name: Wert, mehrzeilige Werte eingerückt)
oder die Fehlerinformation der Logdatei.

Beispiele:
  logmanager show /srv/logs 1 9
  logmanager show /srv/logs 2 errors
)",
      R"(logmanager show DIR FILE POS
logmanager show DIR FILE errors

Shows everything about the action at position POS (Name: Value, multi-line values
indented) or the log file's error information.

Examples:
  logmanager show /srv/logs 1 9
  logmanager show /srv/logs 2 errors
)"}},
    {"undo",
     {R"(logmanager undo DIR DATEI POS [-y|-n]

Macht die Aktion an Position POS in der Datenbank rückgängig, die die Logdatei nennt:
schreibt bei UPDATE den alten Wert zurück, löscht einen neuen Datensatz oder legt einen
gelöschten wieder an. Vorher eine Frage (auf dem Terminal, auch wenn die Ausgabe umgeleitet
ist); Vorgabe ist Nein. Die Rückgängig-Aktion wird protokolliert: im Ordner aus
TARVESK_DATALAYER_LOGDIR, sonst in DIR; der Name der neuen Logdatei wird angezeigt.

Rückgabewert: 0 erledigt, 1 fehlgeschlagen, 2 falscher Aufruf, 3 mit Nein beantwortet.

Beispiele:
  logmanager undo /srv/logs 1 9
  logmanager --yes undo /srv/logs DataLayer_20261201_083012.xml 9
)",
      R"(logmanager undo DIR FILE POS [-y|-n]

Undoes the action at position POS in the database the log names: writes the old value
back for an UPDATE, deletes a new record or creates a deleted one again. It asks one
question first (on the terminal, also when the output is redirected); the default answer
is no (Nein). The undo is itself logged: into the folder TARVESK_DATALAYER_LOGDIR names,
else into DIR; the new log file's name is shown.

Exit status: 0 done, 1 failed, 2 wrong usage, 3 answered with no.

Examples:
  logmanager undo /srv/logs 1 9
  logmanager --yes undo /srv/logs DataLayer_20261201_083012.xml 9
)"}},
    {"prune",
     {R"(logmanager prune DIR (--older-than ALTER | --before DATUM) [--dry-run] [-y|-n]

Löscht die Logdateien, deren Sitzungszeit vor der Grenze liegt. Zeigt jede Datei
("würde löschen: ...") und fragt; ohne Terminal nur mit --yes. Danach eine Zeile
"gelöscht: ..." je Datei und die Anzahl; "nichts zu löschen", wenn keine Datei passt.
ALTER: Zahl mit d (Tage), w (Wochen) oder h (Stunden). DATUM: T.M.JJJJ [hh:mm[:ss]] oder
JJJJ-MM-TT [hh:mm[:ss]]. --dry-run zeigt nur, was gelöscht würde.

Beispiele:
  logmanager prune /srv/logs --older-than 30d --dry-run
  logmanager prune /srv/logs --before=1.12.2026 --yes
)",
      R"(logmanager prune DIR (--older-than AGE | --before DATE) [--dry-run] [-y|-n]

Deletes the log files whose session time lies before the limit. Lists each file
("würde löschen: ...") and asks; without a terminal only with --yes. Then one line
"gelöscht: ..." per file and the count; "nichts zu löschen" when no file matches.
AGE: a number with d (days), w (weeks) or h (hours). DATE: D.M.YYYY [hh:mm[:ss]] or
YYYY-MM-DD [hh:mm[:ss]]. --dry-run only shows what would be deleted.

Examples:
  logmanager prune /srv/logs --older-than 30d --dry-run
  logmanager prune /srv/logs --before=1.12.2026 --yes
)"}},
    {"help",
     {"logmanager help [BEFEHL]\n\nZeigt die Hilfe oder die Hilfe eines Befehls.\n\n"
      "Beispiele:\n  logmanager help\n  logmanager help undo\n",
      "logmanager help [COMMAND]\n\nShows the help or the help of one command.\n\n"
      "Examples:\n  logmanager help\n  logmanager help undo\n"}},
};

}  // namespace

bool GermanHelp() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    const std::string locale = value;
    if (locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0) return true;
    return locale.rfind("de", 0) == 0;
  }
  return true;
}

std::string HelpText(const std::string& command, bool german) {
  if (command.empty()) return german ? kGeneral.de : kGeneral.en;
  const auto found = kCommands.find(command);
  if (found == kCommands.end()) return "";
  return german ? found->second.de : found->second.en;
}

}  // namespace tarvesk::cli
