// The undo and redo commands. undo DIR FILE POS undoes the action at position POS of log
// FILE in folder DIR through the handler the window uses, which asks its one question on
// the terminal; an UPDATE whose field was changed since the log says so before the
// question. A dry run, a whole log (--all) and redo are planned by cli/Replay: checked
// against the database first, one question with the count per table and the conflicts,
// then all steps in one transaction. Every write is logged by the data layer into
// TARVESK_DATALAYER_LOGDIR, or into DIR when that is not set, and the tool names the log.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "components/datalayer/ChangeLog.h"
#include "components/datalayer/DataLayer.h"
#include "programs/cli/Actions.h"
#include "programs/cli/Cli.h"
#include "programs/cli/Output.h"
#include "programs/cli/Replay.h"
#include "programs/cli/TerminalMessages.h"
#include "undo/ActionHandler.h"

namespace tarvesk::cli {
namespace {

namespace fs = std::filesystem;

// The outcome as the JSON output names it, in the order of UndoOutcome.
const char* OutcomeWord(UndoOutcome outcome) {
  static constexpr const char* kWords[] = {"notRun", "done", "declined", "recordNotFound",
                                           "errorsReported"};
  return kWords[static_cast<size_t>(outcome)];
}

std::set<fs::path> LogFiles(const std::string& folder) {
  std::set<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() == ".xml") files.insert(it->path());
  }
  return files;
}

fs::path PathOf(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

// The log's database, checked: an OFFLINE log and a missing database are the causes to
// tell, before the record would be reported as not found.
std::string CheckedDatabase(const FileSet& set, int32_t index, const std::string& fileName) {
  const std::string database = set.FileProperties(index, "DATABASE");
  if (database == "OFFLINE") {
    throw Failure{0,
                  "Die Logdatei " + fileName +
                      " stammt aus einer Sitzung ohne Datenbank "
                      "(DATABASE: OFFLINE); ihre Aktionen lassen sich nicht rückgängig machen.",
                  ""};
  }
  std::error_code ec;
  if (database.empty() || !fs::is_regular_file(PathOf(database), ec)) {
    throw Failure{kFileNotFound,
                  "Datei nicht gefunden: Die Datenbank \"" + Escaped(database) +
                      "\" der Logdatei " + fileName + " existiert nicht.",
                  "Die Logdatei nennt die Datenbank so, wie das protokollierende System sie "
                  "sah. Ein Windows-Pfad (C:\\...) ist unter Linux nicht erreichbar: machen "
                  "Sie die Aktion auf dem Windows-Rechner rückgängig oder stellen Sie die "
                  "Datenbank unter diesem Pfad bereit."};
  }
  return database;
}

// Every undo and redo is logged: where the environment says, else beside the logs read.
std::string LogFolderFor(const FileSet& set) {
  std::string logFolder = DefaultLogFolder();
  if (logFolder.empty()) {
    logFolder = set.FolderPath();
#ifdef _WIN32
    _putenv_s(kLogFolderVariable, logFolder.c_str());
#else
    setenv(kLogFolderVariable, logFolder.c_str(), 1);
#endif
  }
  return logFolder;
}

// A data layer that reads for the checks and logs nothing.
std::unique_ptr<DataLayer> Reader(const std::string& database) {
  auto reader = std::make_unique<DataLayer>();
  reader->SetLogFolder("");
  reader->SetDatabaseByPath(database);
  const Variant errors = reader->errorstatus();
  if (errors.GetType() == Variant::Type::String && !errors.AsString().empty()) {
    throw Failure{0, errors.AsString(), "Nichts wurde geändert."};
  }
  return reader;
}

AnswerPolicy PolicyOf(const Options& options) {
  return options.yes  ? AnswerPolicy::AlwaysYes
         : options.no ? AnswerPolicy::AlwaysNo
                      : AnswerPolicy::Ask;
}

[[noreturn]] void RefuseConflicts(const std::string& command) {
  throw Failure{0,
                "Der Datenbestand wurde seit der protokollierten Änderung geändert (siehe "
                "oben); --yes allein überschreibt das nicht. Nichts wurde geändert.",
                "Prüfen Sie die Werte (--dry-run zeigt die Anweisungen) und geben Sie --force "
                "zusätzlich an, um trotzdem fortzufahren: logmanager " +
                    command + " ... --yes --force"};
}

// Dry run, a whole log, and redo: planned, checked, one question, one transaction.
int RunPlanned(Context& context, const std::vector<std::string>& args, Direction direction) {
  const bool undo = direction == Direction::Undo;
  const char* command = undo ? "undo" : "redo";
  const Options& options = context.options;
  const auto set = OpenFolder(context.environment, args[0]);
  const int32_t index = ResolveFile(*set, args[0], args[1]);
  const auto log = set->LogContent(index);
  const std::string fileName = set->FileName(index);

  std::vector<int32_t> positions;
  size_t offline = 0;
  if (options.all) {
    for (const std::string& entry : log->GetActionList()) {
      if (entry == kErrorEntry) continue;
      if (Summarize(*log, entry).kind == "DELETE_OFFLINE") {
        ++offline;  // deleted from the loaded rows only: nothing in the database to replay
        continue;
      }
      positions.push_back(LeadingNumber(entry));
    }
    if (undo) std::reverse(positions.begin(), positions.end());
  } else {
    positions.push_back(ResolvePosition(*log, args[0], args[1], args[2]));
  }
  const std::string database = CheckedDatabase(*set, index, fileName);
  std::vector<Step> steps = PlanSteps(*set, index, positions, direction);
  CheckSteps(steps, *Reader(database));

  std::map<std::string, size_t> perTable;
  std::vector<const Step*> conflicts;
  for (const Step& step : steps) {
    ++perTable[step.action.table];
    if (!step.conflict.empty()) conflicts.push_back(&step);
  }
  nlohmann::json result = {{"command", command}, {"dryRun", options.dryRun}};
  PutText(result, "file", fileName);
  PutText(result, "database", database);
  result["steps"] = nlohmann::json::array();
  for (const Step& step : steps) {
    nlohmann::json entry = {{"action", ActionJson(step.action)}};
    PutText(entry, "statement", StatementOf(step));
    entry["conflict"] = step.conflict.empty() ? nlohmann::json() : JsonText(step.conflict);
    result["steps"].push_back(entry);
  }
  result["skippedOffline"] = offline;

  const std::string what = undo ? "rückgängig machen" : "wiederholen";
  std::string summary;
  if (options.all) {
    summary = "Alle " + std::to_string(steps.size()) + " Aktionen der Logdatei " +
              Escaped(fileName) + " " + what +
              (undo ? " (in umgekehrter Reihenfolge" : " (in ihrer Reihenfolge") +
              ", in einer Transaktion: alle oder keine):\n";
    for (const auto& [table, count] : perTable) {
      summary += "  " + Escaped(table) + ": " + std::to_string(count) +
                 (count == 1 ? " Aktion\n" : " Aktionen\n");
    }
    if (offline > 0) {
      summary += "  " + std::to_string(offline) +
                 " DELETE_OFFLINE übergangen (nicht in der Datenbank gelöscht)\n";
    }
  } else if (!steps.empty()) {
    summary = std::string(undo ? "Rückgängig machen: " : "Wiederholen: ") +
              Escaped(StepName(steps[0])) + ", Logdatei " + Escaped(fileName) + "\n";
  }
  summary += "  Datenbank: " + Escaped(database) + "\n";
  std::string conflictText;
  for (const Step* step : conflicts) {
    conflictText +=
        "  Achtung, " + Escaped(StepName(*step)) + ": " + Escaped(step->conflict) + "\n";
  }

  if (options.dryRun) {
    if (options.json) {
      result["outcome"] = "dryRun";
      PrintJson(context, result);
      return kDone;
    }
    context.out << "-- Probelauf, nichts wird geschrieben. "
                << summary.substr(0, summary.find('\n')) << "\n";
    for (const Step& step : steps) {
      context.out << "-- " << Escaped(StepName(step)) << '\n';
      if (!step.conflict.empty()) context.out << "-- Achtung: " << Escaped(step.conflict) << '\n';
      context.out << Escaped(StatementOf(step)) << '\n';
    }
    return kDone;
  }
  if (steps.empty()) {
    context.talk << "Keine Aktionen zu " << what << " in der Logdatei " << Escaped(fileName)
                 << ".\n";
    if (options.json) {
      result["outcome"] = "nothing";
      PrintJson(context, result);
    }
    return kDone;
  }

  context.talk << summary;
  if (!conflicts.empty()) {
    context.talk << "Seit der protokollierten Änderung geändert:\n" << conflictText;
    if (options.yes && !options.force) RefuseConflicts(command);
  }
  context.talk << (undo ? "Rückgängig machen? " : "Wiederholen? ");
  if (!AskYes(context.in, context.talk, PolicyOf(options))) {
    context.talk << "Nichts geändert.\n";
    if (options.json) {
      result["outcome"] = "declined";
      PrintJson(context, result);
    }
    return kDeclined;
  }
  const ReplayResult done = RunSteps(steps, database, LogFolderFor(*set));
  context.talk << "Erledigt: " << steps.size() << (steps.size() == 1 ? " Aktion " : " Aktionen ")
               << (undo ? "rückgängig gemacht" : "wiederholt") << ".\n";
  if (!done.logFile.empty()) {
    context.talk << (undo ? "Protokoll dieser Rückgängig-Aktion: "
                          : "Protokoll dieser Wiederholung: ")
                 << Escaped(done.logFile) << '\n';
  }
  if (options.json) {
    result["outcome"] = "done";
    result["logFile"] = done.logFile.empty() ? nlohmann::json() : JsonText(done.logFile);
    PrintJson(context, result);
  }
  return kDone;
}

void ExpectWords(const std::vector<std::string>& args, const Options& options,
                 const char* command) {
  if (options.all && args.size() != 2) {
    throw UsageError{std::string(command) + " --all braucht DIR DATEI (ohne POS).", command};
  }
  if (!options.all && args.size() != 3) {
    throw UsageError{std::string(command) + " braucht DIR DATEI POS (oder DIR DATEI --all).",
                     command};
  }
  if (options.force && !options.yes) {
    throw UsageError{"--force gilt nur zusammen mit --yes.", command};
  }
}

}  // namespace

int RunRedo(Context& context, const std::vector<std::string>& args) {
  ExpectWords(args, context.options, "redo");
  return RunPlanned(context, args, Direction::Redo);
}

int RunUndo(Context& context, const std::vector<std::string>& args) {
  ExpectWords(args, context.options, "undo");
  if (context.options.all || context.options.dryRun) {
    return RunPlanned(context, args, Direction::Undo);
  }
  const auto set = OpenFolder(context.environment, args[0]);
  const int32_t index = ResolveFile(*set, args[0], args[1]);
  const auto log = set->LogContent(index);
  const int32_t position = ResolvePosition(*log, args[0], args[1], args[2]);
  const ActionSummary action = Summarize(*log, ActionEntryAt(*log, position));
  const std::string fileName = set->FileName(index);
  const std::string database = CheckedDatabase(*set, index, fileName);

  // An update whose field no longer holds the value the log says it wrote: the question
  // says so, and --yes alone does not go on. A record that is gone is left to the handler,
  // which tells it in its own message.
  std::string conflict;
  if (action.kind == "UPDATE") {
    try {
      std::vector<Step> steps = PlanSteps(*set, index, {position}, Direction::Undo);
      CheckSteps(steps, *Reader(database));
      conflict = steps[0].conflict;
    } catch (const Failure&) {
    }
  }
  const std::string logFolder = LogFolderFor(*set);
  const std::set<fs::path> logsBefore = LogFiles(logFolder);

  const Options& options = context.options;
  if (!conflict.empty() && options.yes && !options.force) {
    context.talk << "Achtung: " << Escaped(conflict) << '\n';
    RefuseConflicts("undo");
  }
  TerminalMessages messages(context.in, context.talk, PolicyOf(options));
  std::string preface = "Rückgängig machen: " + ActionHeadline(action) +
                        "\n  Logdatei: " + Escaped(fileName) + " (Nummer " + std::to_string(index) +
                        "), Position " + std::to_string(position) +
                        "\n  Datenbank: " + Escaped(database) + "\n";
  if (!action.table.empty()) preface += "  Tabelle: " + Escaped(action.table) + "\n";
  if (!action.recordId.empty()) preface += "  Datensatz-ID: " + Escaped(action.recordId) + "\n";
  if (!conflict.empty()) preface += "  Achtung: " + Escaped(conflict) + "\n";
  messages.SetPreface(preface);

  // The handler's questions and messages go to the terminal.
  EnvironmentWithMessages environment(context.environment, messages);
  ActionHandler handler(environment);
  std::optional<Error> error;
  try {
    handler.SetLogFileHandle(index);
    handler.SetFileSetObject(set);
    handler.SetActionHandle(position);
    handler.UndoAction();
  } catch (const Error& raised) {
    error = raised;
  }
  const UndoOutcome outcome = handler.Outcome();

  std::string logFile;
  for (const fs::path& path : LogFiles(logFolder)) {
    if (!logsBefore.count(path)) logFile = path.string();
  }
  if (!logFile.empty()) {
    context.talk << "Protokoll dieser Rückgängig-Aktion: " << Escaped(logFile) << '\n';
  }

  int status = kDone;
  if (error || outcome == UndoOutcome::RecordNotFound || outcome == UndoOutcome::ErrorsReported) {
    status = kFailed;
  } else if (outcome == UndoOutcome::Declined) {
    status = kDeclined;
  } else if (outcome == UndoOutcome::NotRun) {
    context.talk << "Eine Aktion der Art " << Escaped(action.kind)
                 << " lässt sich nicht rückgängig machen; nichts geändert.\n";
    status = kFailed;
  }

  if (context.options.json) {
    nlohmann::json shown = nlohmann::json::array();
    for (const auto& entry : messages.History()) {
      nlohmann::json message = {{"icon", IconWord(entry.message.icon)},
                                {"answer", AnswerWord(entry.answer)}};
      PutText(message, "title", entry.message.title);
      PutText(message, "text", entry.message.text);
      shown.push_back(message);
    }
    nlohmann::json result = {
        {"outcome", OutcomeWord(outcome)}, {"action", ActionJson(action)}, {"messages", shown}};
    PutText(result, "database", database);
    PutText(result, "logFolder", logFolder);
    result["conflict"] = conflict.empty() ? nlohmann::json() : JsonText(conflict);
    result["logFile"] = logFile.empty() ? nlohmann::json() : JsonText(logFile);
    if (error) {
      result["error"] = {{"number", error->Number()}, {"text", JsonText(error->Description())}};
    }
    PrintJson(context, result);
  }
  if (error) {
    throw Failure{error->Number(),
                  error->Description() + " (beim Rückgängigmachen von Position " +
                      std::to_string(position) + " der Logdatei " + fileName + ")",
                  ""};
  }
  return status;
}

}  // namespace tarvesk::cli
