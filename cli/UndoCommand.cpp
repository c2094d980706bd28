// The undo command: undo DIR FILE POS undoes the action at body position POS of log FILE
// in folder DIR, with the handler's dialogs asked at the terminal.
#include <iostream>

#include "automation/Error.h"
#include "cli/Cli.h"
#include "cli/TerminalMessages.h"
#include "undo/ActionHandler.h"

namespace tarvesk::cli {
namespace {

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

const char* ButtonsWord(MessageButtons buttons) {
  return buttons == MessageButtons::YesNo ? "JaNein" : "OK";
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

// The undo failed for the user when the record was missing or errors were reported.
bool ReportsFailure(const TerminalMessages::Shown& shown) {
  return shown.message.title == "Aktion nicht möglich" ||
         shown.message.title == "Fehler bei Ausführung";
}

}  // namespace

int RunUndo(Context& context, const std::vector<std::string>& args) {
  if (args.size() != 3) throw UsageError{"undo erwartet DIR FILE POS"};
  const AnswerPolicy policy = context.assumeYes  ? AnswerPolicy::AlwaysYes
                              : context.assumeNo ? AnswerPolicy::AlwaysNo
                                                 : AnswerPolicy::Ask;
  // With JSON output the dialogs go to stderr, so that stdout holds the JSON alone.
  TerminalMessages messages(std::cin, context.json ? context.err : context.out, policy);
  int status = kDone;
  std::string failure;
  try {
    const auto fileSet = OpenFolder(args[0]);
    const int32_t file = ResolveFile(*fileSet, args[1]);
    const int32_t position = ParsePosition(args[2]);
    ScopedUserMessages scope(&messages);
    ActionHandler handler;
    handler.SetLogFileHandle(file);
    handler.SetFileSetObject(fileSet);
    handler.SetActionHandle(position);
    handler.UndoAction();
  } catch (const Error& error) {
    failure = "Fehler " + std::to_string(error.Number()) + ": " + error.Description();
    context.err << failure << '\n';
    status = kFailed;
  }
  for (const auto& shown : messages.History()) {
    if (ReportsFailure(shown)) status = kFailed;
  }
  if (context.json) {
    nlohmann::json shown = nlohmann::json::array();
    for (const auto& entry : messages.History()) {
      shown.push_back({{"title", entry.message.title},
                       {"text", entry.message.text},
                       {"buttons", ButtonsWord(entry.message.buttons)},
                       {"icon", IconWord(entry.message.icon)},
                       {"defaultButton", entry.message.defaultButton},
                       {"answer", AnswerWord(entry.answer)}});
    }
    nlohmann::json result = {{"messages", shown}, {"failed", status != kDone}};
    if (!failure.empty()) result["error"] = failure;
    PrintJson(context, result);
  }
  return status;
}

}  // namespace tarvesk::cli
