#include "programs/cli/Help.h"

#include <cstdlib>
#include <map>

namespace tarvesk::cli {
namespace {

struct Texts {
  const char* de;
  const char* en;
};

const Texts kGeneral{
    R"(logmanager - zeigt die Änderungsprotokolle (Logs) der Datenschicht und die Geschichte
eines Datensatzes, macht Änderungen in der Datenbank rückgängig und wiederholt sie.

Aufruf: logmanager [OPTIONEN] BEFEHL ARGUMENTE...

Befehle:
  files DIR                 die Logdateien des Ordners: Nummer, Sitzungszeit, Datenbank,
                            Aktionen, Benutzer
  header DIR DATEI          die Kopfeigenschaften einer Logdatei
  actions DIR DATEI         die Aktionen einer Logdatei mit Position, Zeit, Tabelle, Feld
                            und alt → neu (Filter: --table, --kind, --since, --until)
  show DIR DATEI POS        alle Angaben der Aktion an Position POS
  show DIR DATEI errors     die Fehlerinformation der Logdatei
  history DIR --table T --id N
                            alle protokollierten Aktionen eines Datensatzes, älteste zuerst
  undo DIR DATEI POS        macht die Aktion an Position POS rückgängig (fragt vorher)
  undo DIR DATEI --all      macht alle Aktionen der Logdatei rückgängig, alle oder keine
  redo DIR DATEI POS|--all  führt protokollierte Aktionen nochmals durch (fragt vorher)
  prune DIR --older-than 30d | --before DATUM
                            löscht alte Logdateien (fragt vorher)
  help [BEFEHL]             diese Hilfe oder die eines Befehls

DATEI ist die Nummer aus files (ab 1) oder der Dateiname. POS ist die Zahl am Anfang einer
Zeile von actions: die Zeile der Logdatei, an der die Aktion beginnt (daher die Lücken).

Optionen:
  --json                    die Daten als JSON (Zahlen als Zahlen, Daten auch in ISO 8601)
  -y, --yes                 beantwortet die Frage mit Ja (für Skripte)
  -n, --no                  beantwortet die Frage mit Nein
  --dry-run                 zeigt, was geschähe (undo, redo: die SQL-Anweisungen), ändert nichts
  --force                   mit --yes: auch bei Konflikten fortfahren
  -h, --help                Hilfe; BEFEHL --help zeigt die Hilfe des Befehls
  --version                 die Version
  --                        alles danach sind Argumente, keine Optionen
Optionen mit Wert auch als --option=wert.

Rückgabewert: 0 erledigt, 1 fehlgeschlagen, 2 falscher Aufruf, 3 mit Nein beantwortet.
)",
    R"(logmanager - shows the change logs of the data layer and the history of a record,
undoes changes in the database and redoes them. Its messages and questions are German (j = Ja = yes, n = Nein = no).

Usage: logmanager [OPTIONS] COMMAND ARGUMENTS...

Commands:
  files DIR                 the log files of the folder: number, session time, database,
                            actions, user
  header DIR FILE           the header properties of a log file
  actions DIR FILE          the actions of a log file with position, time, table, field
                            and old → new (filters: --table, --kind, --since, --until)
  show DIR FILE POS         everything about the action at position POS
  show DIR FILE errors      the log file's error information
  history DIR --table T --id N
                            every logged action on one record, oldest first
  undo DIR FILE POS         undoes the action at position POS (asks first)
  undo DIR FILE --all       undoes every action of the log file, all or nothing
  redo DIR FILE POS|--all   applies logged actions again (asks first)
  prune DIR --older-than 30d | --before DATE
                            deletes old log files (asks first)
  help [COMMAND]            this help or the help of one command

FILE is the number from files (from 1) or the file name. POS is the number at the start of
a line of actions: the line of the log at which the action starts (hence the gaps).

Options:
  --json                    the data as JSON (numbers as numbers, dates also in ISO 8601)
  -y, --yes                 answers the question with yes (for scripts)
  -n, --no                  answers the question with no
  --dry-run                 shows what would happen (undo, redo: the SQL statements), changes
                            nothing
  --force                   with --yes: go on despite conflicts
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
     {R"(logmanager actions DIR DATEI [--table T] [--kind ART] [--since DATUM] [--until DATUM]

Listet die Aktionen der Logdatei, eine Zeile je Aktion:
  POS: ZEIT ART TABELLE ID n[, FELD: alt → neu]
POS ist die Zeile der Logdatei, an der die Aktion beginnt; show und undo nehmen diese Zahl.
Lange Werte sind gekürzt, show zeigt sie ganz. Eine Logdatei mit Fehlern endet mit der
Zeile "Errors were recorded in this Logfile".
Filter: --table (Tabelle, Groß-/Kleinschreibung egal), --kind (UPDATE, NEWRECORD,
DELETE_inDB, DELETE_OFFLINE), --since und --until (Zeit der Aktion, T.M.JJJJ [hh:mm[:ss]]
oder JJJJ-MM-TT; --until ohne Uhrzeit schließt den ganzen Tag ein).

Beispiele:
  logmanager actions /srv/logs 1
  logmanager actions /srv/logs 1 --table Kunden --kind UPDATE --since 1.12.2026
)",
      R"(logmanager actions DIR FILE [--table T] [--kind KIND] [--since DATE] [--until DATE]

Lists the actions of the log file, one line per action:
  POS: TIME KIND TABLE ID n[, FIELD: old → new]
POS is the line of the log at which the action starts; show and undo take that number.
Long values are shortened, show prints them whole. A log with errors ends with the line
"Errors were recorded in this Logfile".
Filters: --table (table, letter case aside), --kind (UPDATE, NEWRECORD, DELETE_inDB,
DELETE_OFFLINE), --since and --until (time of the action, D.M.YYYY [hh:mm[:ss]] or
YYYY-MM-DD; --until without a time takes in the whole day).

Examples:
  logmanager actions /srv/logs 1
  logmanager actions /srv/logs 1 --table Kunden --kind UPDATE --since 1.12.2026
)"}},
    {"history",
     {R"(logmanager history DIR --table TABELLE --id ID [--kind ART] [--since DATUM] [--until DATUM]

Listet jede protokollierte Aktion auf den Datensatz ID der Tabelle aus allen Logdateien
des Ordners, die älteste zuerst; je Aktion zwei Zeilen:
  ZEIT ART TABELLE ID n[, FELD: alt → neu]
    Sitzung SITZUNGSZEIT, Benutzer NAME, Logdatei DATEINAME (NUMMER), Position POS
Mit DATEI und POS lassen sich die Aktionen zeigen (show), rückgängig machen (undo) oder
wiederholen (redo).

Beispiele:
  logmanager history /srv/logs --table Kunden --id 7
  logmanager --json history /srv/logs --table Kunden --id 7
)",
      R"(logmanager history DIR --table TABLE --id ID [--kind KIND] [--since DATE] [--until DATE]

Lists every logged action on record ID of the table from all log files of the folder,
oldest first; two lines per action:
  TIME KIND TABLE ID n[, FIELD: old → new]
    Sitzung SESSION TIME, Benutzer NAME, Logdatei FILE NAME (NUMBER), Position POS
FILE and POS show (show), undo (undo) or redo (redo) an action.

Examples:
  logmanager history /srv/logs --table Kunden --id 7
  logmanager --json history /srv/logs --table Kunden --id 7
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
     {R"(logmanager undo DIR DATEI POS [--dry-run] [-y [--force]|-n]
logmanager undo DIR DATEI --all [--dry-run] [-y [--force]|-n]

Macht die Aktion an Position POS in der Datenbank rückgängig, die die Logdatei nennt:
schreibt bei UPDATE den alten Wert zurück, löscht einen neuen Datensatz oder legt einen
gelöschten wieder an. Vorher eine Frage (auf dem Terminal, auch wenn die Ausgabe umgeleitet
ist); Vorgabe ist Nein. Hält das Feld eines UPDATE nicht mehr den protokollierten neuen
Wert, sagt die Frage das mit beiden Werten ("Achtung: ... geändert"); --yes fährt dann nur
mit --force fort.

--all macht alle Aktionen der Logdatei rückgängig, in umgekehrter Reihenfolge und in einer
Transaktion: eine Frage mit der Anzahl je Tabelle und den Konflikten, dann alle oder keine.
Schlägt ein Schritt fehl, bleibt die Datenbank unverändert und der Fehler nennt die Aktion.
DELETE_OFFLINE-Aktionen werden übergangen (sie änderten die Datenbank nicht).

--dry-run zeigt die SQL-Anweisungen mit ihren Werten (in Anführungszeichen; die
Datenschicht speichert sie nach dem Spaltentyp, leeren Text als NULL, wo erlaubt), fragt
nichts und schreibt nichts.

Die Rückgängig-Aktion wird selbst protokolliert: im Ordner aus TARVESK_DATALAYER_LOGDIR,
sonst in DIR; der Name der neuen Logdatei wird angezeigt, und sie lässt sich ihrerseits
rückgängig machen.

Rückgabewert: 0 erledigt, 1 fehlgeschlagen oder abgelehnt (nichts geändert), 2 falscher
Aufruf, 3 mit Nein beantwortet.

Beispiele:
  logmanager undo /srv/logs 1 9
  logmanager undo /srv/logs 1 --all --dry-run
  logmanager --yes undo /srv/logs DataLayer_20261201_083012.xml --all
)",
      R"(logmanager undo DIR FILE POS [--dry-run] [-y [--force]|-n]
logmanager undo DIR FILE --all [--dry-run] [-y [--force]|-n]

Undoes the action at position POS in the database the log names: writes the old value
back for an UPDATE, deletes a new record or creates a deleted one again. It asks one
question first (on the terminal, also when the output is redirected); the default answer
is no (Nein). When the field of an UPDATE no longer holds the logged new value, the
question says so with both values ("Achtung: ... geändert"); --yes then goes on only
with --force.

--all undoes every action of the log file, in reverse order and in one transaction: one
question with the count per table and the conflicts, then all or nothing. When a step
fails, the database stays as it was and the error names the action. DELETE_OFFLINE
actions are left out (they did not change the database).

--dry-run shows the SQL statements with their values (quoted; the data layer stores them
after the column's type, empty text as NULL where allowed), asks nothing and writes
nothing.

The undo is itself logged: into the folder TARVESK_DATALAYER_LOGDIR names, else into DIR;
the new log file's name is shown, and it can be undone in turn.

Exit status: 0 done, 1 failed or refused (nothing changed), 2 wrong usage, 3 answered
with no.

Examples:
  logmanager undo /srv/logs 1 9
  logmanager undo /srv/logs 1 --all --dry-run
  logmanager --yes undo /srv/logs DataLayer_20261201_083012.xml --all
)"}},
    {"redo",
     {R"(logmanager redo DIR DATEI POS [--dry-run] [-y [--force]|-n]
logmanager redo DIR DATEI --all [--dry-run] [-y [--force]|-n]

Führt die Aktion an Position POS nochmals durch: schreibt bei UPDATE den neuen Wert, legt
den Datensatz eines NEWRECORD wieder an, löscht den Datensatz eines DELETE_inDB. Ein
NEWRECORD, das ohne seine Feldwerte protokolliert wurde, lässt sich nicht wiederholen.
Hält der Datensatz nicht mehr, was das Log vor der Aktion nennt, ist das ein Konflikt;
Frage, Konflikte, --all (in der Reihenfolge des Logs), --dry-run, --force und das
Protokoll wie bei undo.

Beispiele:
  logmanager redo /srv/logs 1 9
  logmanager redo /srv/logs 5 --all --dry-run
)",
      R"(logmanager redo DIR FILE POS [--dry-run] [-y [--force]|-n]
logmanager redo DIR FILE --all [--dry-run] [-y [--force]|-n]

Applies the action at position POS again: writes the new value of an UPDATE, creates the
record of a NEWRECORD again, deletes the record of a DELETE_inDB. A NEWRECORD logged
without its field values cannot be redone. When the record no longer holds what the log
names before the action, that is a conflict; question, conflicts, --all (in the log's
order), --dry-run, --force and the log as with undo.

Examples:
  logmanager redo /srv/logs 1 9
  logmanager redo /srv/logs 5 --all --dry-run
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
