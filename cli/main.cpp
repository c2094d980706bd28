// logmanager: shows the change logs of a folder and undoes single actions.
#include <iostream>
#include <map>

#ifdef _WIN32
#include <windows.h>
#endif

#include "automation/Error.h"
#include "cli/Cli.h"
#include "components/ReferenceComponents.h"

namespace {

constexpr const char* kHelp = R"(logmanager - zeigt die Änderungsprotokolle eines Ordners

Aufruf: logmanager [--json] BEFEHL ...

Befehle:
  files DIR                     die Logdateien des Ordners: SESSIONTIME: DATABASE (Name)
  header DIR DATEI              die Kopfeigenschaften einer Logdatei, Name: Wert
  actions DIR DATEI             die Aktionen einer Logdatei, der Fehlereintrag zuletzt
  show DIR DATEI POS            die Details der Aktion an Position POS
  show DIR DATEI errors         die Fehlerinformation der Logdatei
  prune DIR --before DATUM [--dry-run]
                                löscht die Logdateien, die älter als DATUM sind
                                (mit --dry-run werden sie nur aufgelistet)
  undo DIR DATEI POS [--yes|--no]
                                macht die Aktion an Position POS in der Datenbank rückgängig

DATEI ist die Nummer einer Logdatei (ab 1, wie bei files) oder ihr Dateiname.
POS ist die Zahl am Anfang eines Eintrags von actions.
DATUM: T.M.JJJJ [hh:mm[:ss]] oder JJJJ-MM-TT [hh:mm[:ss]].

Optionen:
  --json    dieselben Daten als JSON
  --yes     beantwortet jede Frage mit Ja (für Skripte)
  --no      beantwortet jede Frage mit Nein (für Skripte)

Rückgabewert: 0 erledigt, 1 Vorgang fehlgeschlagen, 2 falscher Aufruf.
)";

}  // namespace

int main(int argc, char** argv) {
  using namespace tarvesk;
  using namespace tarvesk::cli;
  tarvesk::RegisterReferenceComponents();
#ifdef _WIN32
  // The output is UTF-8 on every platform.
  SetConsoleOutputCP(CP_UTF8);
#endif

  Context context{std::cout, std::cerr};
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json")
      context.json = true;
    else if (arg == "--yes")
      context.assumeYes = true;
    else if (arg == "--no")
      context.assumeNo = true;
    else if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      return kDone;
    } else
      words.push_back(arg);
  }

  static const std::map<std::string, int (*)(Context&, const std::vector<std::string>&)> kCommands =
      {{"files", RunFiles}, {"header", RunHeader}, {"actions", RunActions},
       {"show", RunShow},   {"prune", RunPrune},   {"undo", RunUndo}};
  try {
    if (words.empty()) throw UsageError{"Kein Befehl angegeben."};
    if (context.assumeYes && context.assumeNo) {
      throw UsageError{"--yes und --no schließen einander aus."};
    }
    const auto command = kCommands.find(words[0]);
    if (command == kCommands.end()) throw UsageError{"Unbekannter Befehl: " + words[0]};
    const int status = command->second(context, {words.begin() + 1, words.end()});
    std::cout.flush();
    return status;
  } catch (const UsageError& usage) {
    std::cerr << usage.text << "\nHilfe: logmanager --help\n";
    return kUsage;
  } catch (const Error& error) {
    std::cerr << "Fehler " << error.Number() << ": " << error.Description() << '\n';
    return kFailed;
  } catch (const std::exception& error) {
    std::cerr << "Fehler: " << error.what() << '\n';
    return kFailed;
  }
}
