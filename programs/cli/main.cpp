// logmanager: shows the change logs of a folder, the history of a record, and undoes and
// redoes logged actions.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <map>

#include "automation/Error.h"
#include "platform/PlatformEnvironment.h"
#include "programs/cli/Cli.h"
#include "programs/cli/Help.h"
#include "programs/cli/Output.h"

namespace tarvesk::cli {
namespace {

using Command = int (*)(Context&, const std::vector<std::string>&);

struct CommandInfo {
  Command run;
  std::vector<std::string> options;  // beyond --json and --help
};

const std::map<std::string, CommandInfo>& Commands() {
  static const std::map<std::string, CommandInfo> commands = {
      {"files", {RunFiles, {}}},
      {"header", {RunHeader, {}}},
      {"actions", {RunActions, {"--table", "--kind", "--since", "--until"}}},
      {"show", {RunShow, {}}},
      {"undo", {RunUndo, {"--yes", "--no", "--dry-run", "--all", "--force"}}},
      {"redo", {RunRedo, {"--yes", "--no", "--dry-run", "--all", "--force"}}},
      {"history", {RunHistory, {"--table", "--id", "--kind", "--since", "--until"}}},
      {"prune", {RunPrune, {"--before", "--older-than", "--dry-run", "--yes", "--no"}}}};
  return commands;
}

const std::vector<std::string> kOptions = {
    "--json",   "--yes",        "--no",    "--help", "--version", "--dry-run", "--all", "--force",
    "--before", "--older-than", "--table", "--kind", "--since",   "--until",   "--id"};
const std::vector<std::string> kValued = {"--before", "--older-than", "--table", "--kind",
                                          "--since",  "--until",      "--id"};

size_t Distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// " Meinten Sie X?" for the nearest known word within two edits (or a prefix), else "".
std::string Suggestion(const std::string& word, const std::vector<std::string>& known) {
  std::string best;
  size_t bestDistance = 3;
  for (const auto& candidate : known) {
    const size_t distance =
        candidate.rfind(word, 0) == 0 && word.size() >= 3 ? 1 : Distance(word, candidate);
    if (distance < bestDistance) best = candidate, bestDistance = distance;
  }
  return best.empty() ? "" : " Meinten Sie " + best + "?";
}

struct Parsed {
  Options options;
  bool help = false;
  bool version = false;
  std::vector<std::string> given;  // options as given, to check against the command
  std::vector<std::string> words;
};

Parsed Parse(int argc, char** argv) {
  Parsed parsed;
  bool optionsEnd = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    const bool number =
        arg.size() > 1 && arg[0] == '-' && std::isdigit(static_cast<unsigned char>(arg[1]));
    if (optionsEnd || arg.size() < 2 || arg[0] != '-' || number) {
      parsed.words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    static const std::map<std::string, std::string> kShort = {
        {"-y", "--yes"}, {"-n", "--no"}, {"-h", "--help"}};
    if (arg[1] != '-') {
      const auto found = kShort.find(arg);
      if (found == kShort.end()) {
        throw UsageError{"Unbekannte Option: " + Escaped(arg) + " (kurze Optionen: -y, -n, -h)."};
      }
      arg = found->second;
    }
    std::optional<std::string> value;
    if (const size_t equals = arg.find('='); equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg.resize(equals);
    }
    if (std::find(kOptions.begin(), kOptions.end(), arg) == kOptions.end()) {
      throw UsageError{"Unbekannte Option: " + Escaped(arg) + "." + Suggestion(arg, kOptions)};
    }
    const bool takesValue = std::find(kValued.begin(), kValued.end(), arg) != kValued.end();
    if (takesValue && !value) {
      if (i + 1 >= argc) throw UsageError{"Die Option " + arg + " braucht einen Wert."};
      value = argv[++i];
    }
    if (!takesValue && value) throw UsageError{"Die Option " + arg + " nimmt keinen Wert."};
    parsed.given.push_back(arg);
    Options& options = parsed.options;
    if (arg == "--json") options.json = true;
    if (arg == "--yes") options.yes = true;
    if (arg == "--no") options.no = true;
    if (arg == "--dry-run") options.dryRun = true;
    if (arg == "--help") parsed.help = true;
    if (arg == "--version") parsed.version = true;
    if (arg == "--before") options.before = value;
    if (arg == "--older-than") options.olderThan = value;
    if (arg == "--all") options.all = true;
    if (arg == "--force") options.force = true;
    if (arg == "--table") options.table = value;
    if (arg == "--kind") options.kind = value;
    if (arg == "--since") options.since = value;
    if (arg == "--until") options.until = value;
    if (arg == "--id") options.id = value;
  }
  return parsed;
}

// Runs the command line; UsageError and Failure are left to main.
int Run(int argc, char** argv, Context& context) {
  Parsed parsed = Parse(argc, argv);
  const bool german = GermanHelp();
  if (parsed.version) {
    context.out << "logmanager " << TARVESK_VERSION << '\n';
    return kDone;
  }
  std::vector<std::string>& words = parsed.words;
  std::string command = words.empty() ? "" : words[0];
  if (command == "help") {
    const std::string topic = words.size() > 1 ? words[1] : "";
    if (!topic.empty() && HelpText(topic, german).empty()) {
      std::vector<std::string> names = {"help"};
      for (const auto& [name, info] : Commands()) names.push_back(name);
      throw UsageError{"Unbekannter Befehl: " + Escaped(topic) + "." + Suggestion(topic, names)};
    }
    context.out << HelpText(topic, german);
    return kDone;
  }
  if (command.empty()) {
    if (parsed.help) {
      context.out << HelpText("", german);
      return kDone;
    }
    throw UsageError{"Kein Befehl angegeben."};
  }
  const auto found = Commands().find(command);
  if (found == Commands().end()) {
    std::vector<std::string> names = {"help"};
    for (const auto& [name, info] : Commands()) names.push_back(name);
    throw UsageError{"Unbekannter Befehl: " + Escaped(command) + "." + Suggestion(command, names)};
  }
  if (parsed.help) {
    context.out << HelpText(command, german);
    return kDone;
  }
  for (const auto& option : parsed.given) {
    const auto& allowed = found->second.options;
    if (option != "--json" && std::find(allowed.begin(), allowed.end(), option) == allowed.end()) {
      throw UsageError{"Die Option " + option + " gilt nicht für " + command + ".", command};
    }
  }
  if (parsed.options.yes && parsed.options.no) {
    throw UsageError{"--yes und --no schließen einander aus.", command};
  }
  context.options = parsed.options;
  return found->second.run(context, {words.begin() + 1, words.end()});
}

}  // namespace
}  // namespace tarvesk::cli

int main(int argc, char** argv) {
  using namespace tarvesk;
  using namespace tarvesk::cli;
  const auto environment = MakePlatformEnvironment();

  const bool outIsTerminal = isatty(STDOUT_FILENO);
  bool json = false;
  for (int i = 1; i < argc && std::string(argv[i]) != "--"; ++i)
    json |= std::string(argv[i]) == "--json";
  Context context{*environment,
                  std::cin,
                  std::cout,
                  std::cerr,
                  outIsTerminal && !json ? std::cout : std::cerr,
                  static_cast<bool>(isatty(STDIN_FILENO)),
                  Options{}};
  int status;
  try {
    status = Run(argc, argv, context);
  } catch (const UsageError& usage) {
    std::cout.flush();
    std::cerr << usage.text << "\nHilfe: logmanager help"
              << (usage.command.empty() ? "" : " " + usage.command) << '\n';
    status = kUsage;
  } catch (const Failure& failure) {
    std::cout.flush();
    std::cerr << (failure.number ? "Fehler " + std::to_string(failure.number) + ": " : "Fehler: ")
              << failure.text << '\n';
    if (!failure.hint.empty()) std::cerr << "Hinweis: " << failure.hint << '\n';
    status = kFailed;
  } catch (const Error& error) {
    std::cout.flush();
    std::cerr << "Fehler " << error.Number() << ": " << error.Description() << '\n';
    status = kFailed;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "Fehler: " << error.what() << '\n';
    status = kFailed;
  }
  // Output that did not reach its file is a failure, also when the command went well.
  std::cout.flush();
  if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::cerr << "Fehler: Die Ausgabe konnte nicht geschrieben werden (Datenträger voll oder "
                 "Ausgabe geschlossen).\n";
    return kFailed;
  }
  return status;
}
