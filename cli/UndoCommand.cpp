// The undo command: undo DIR FILE POS undoes the action at position POS of log FILE in
// folder DIR. The action is checked first (a position where an action starts, a log that
// names a database that exists); then the handler asks its one question on the terminal
// and the outcome it reports becomes the exit status. The undo's own data layer logs into
// TARVESK_DATALAYER_LOGDIR, or into DIR when that is not set, and the tool names the log.
#include <cstdlib>
#include <filesystem>
#include <set>

#include "automation/Error.h"
#include "cli/Actions.h"
#include "cli/Cli.h"
#include "cli/Output.h"
#include "cli/TerminalMessages.h"
#include "components/datalayer/ChangeLog.h"
#include "undo/ActionHandler.h"

namespace tarvesk::cli {
namespace {

namespace fs = std::filesystem;

// Installs the terminal as the process's message seam for one command.
class ScopedUserMessages {
 public:
  explicit ScopedUserMessages(IUserMessages* messages) : previous_(SetUserMessages(messages)) {}
  ~ScopedUserMessages() { SetUserMessages(previous_); }
  ScopedUserMessages(const ScopedUserMessages&) = delete;
  ScopedUserMessages& operator=(const ScopedUserMessages&) = delete;

 private:
  IUserMessages* previous_;
};

const char* OutcomeWord(UndoOutcome outcome) {
  switch (outcome) {
    case UndoOutcome::NotRun:
      return "notRun";
    case UndoOutcome::Done:
      return "done";
    case UndoOutcome::Declined:
      return "declined";
    case UndoOutcome::RecordNotFound:
      return "recordNotFound";
    case UndoOutcome::ErrorsReported:
      return "errorsReported";
  }
  return "";
}

const char* AnswerWord(MessageAnswer answer) {
  switch (answer) {
    case MessageAnswer::Yes:
      return "Ja";
    case MessageAnswer::No:
      return "Nein";
    case MessageAnswer::Ok:
      return "OK";
  }
  return "";
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

}  // namespace

int RunUndo(Context& context, const std::vector<std::string>& args) {
  if (args.size() != 3) throw UsageError{"undo braucht DIR DATEI POS.", "undo"};
  const auto set = OpenFolder(args[0]);
  const int32_t index = ResolveFile(*set, args[0], args[1]);
  const auto log = set->LogContent(index);
  const int32_t position = ResolvePosition(*log, args[0], args[1], args[2]);
  const ActionSummary action = Summarize(*log, ActionEntryAt(*log, position));
  const std::string fileName = NameInFolder(*set, set->File(index));

  // A missing database is the cause to tell, before the handler would report the record
  // as not found.
  const std::string database = set->FileProperties(index, "DATABASE");
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

  // Every undo is logged: where the environment says, else beside the logs being read.
  std::string logFolder = DefaultLogFolder();
  if (logFolder.empty()) {
    logFolder = set->FolderPath();
#ifdef _WIN32
    _putenv_s(kLogFolderVariable, logFolder.c_str());
#else
    setenv(kLogFolderVariable, logFolder.c_str(), 1);
#endif
  }
  const std::set<fs::path> logsBefore = LogFiles(logFolder);

  const Options& options = context.options;
  const AnswerPolicy policy = options.yes  ? AnswerPolicy::AlwaysYes
                              : options.no ? AnswerPolicy::AlwaysNo
                                           : AnswerPolicy::Ask;
  TerminalMessages messages(context.in, context.talk, policy);
  std::string preface = "Rückgängig machen: " + ActionHeadline(action) +
                        "\n  Logdatei: " + Escaped(fileName) + " (Nummer " + std::to_string(index) +
                        "), Position " + std::to_string(position) +
                        "\n  Datenbank: " + Escaped(database) + "\n";
  if (!action.table.empty()) preface += "  Tabelle: " + Escaped(action.table) + "\n";
  if (!action.recordId.empty()) preface += "  Datensatz-ID: " + Escaped(action.recordId) + "\n";
  messages.SetPreface(preface);

  ActionHandler handler;
  std::optional<Error> error;
  try {
    ScopedUserMessages scope(&messages);
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
