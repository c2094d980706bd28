// The logmanager command line: shared pieces of its commands. Output is UTF-8; values are
// escaped for the terminal (cli/Output.h). Exit status: 0 done, 1 the operation failed
// (German message on stderr with the error number, the thing it concerns and what to do
// next), 2 wrong usage, 3 the user declined (undo, redo or prune answered with Nein).
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fileset/FileSet.h"
#include "service/Environment.h"

namespace tarvesk::cli {

enum ExitStatus { kDone = 0, kFailed = 1, kUsage = 2, kDeclined = 3 };

// Wrong usage; main prints the text and where the command's help is, and exits with 2.
struct UsageError {
  explicit UsageError(std::string text, std::string command = {})
      : text(std::move(text)), command(std::move(command)) {}
  std::string text;
  std::string command;  // whose help to point to; "" for the general help
};

// A failed operation told with what it concerns and the next step; main prints
// "Fehler N: text" and the hint, and exits with 1.
struct Failure {
  int32_t number;  // the error number, 0 for failures of the command line itself
  std::string text;
  std::string hint;
};

// What the words of the command line asked for, options taken out.
struct Options {
  bool json = false;
  bool yes = false;  // -y, --yes: every question answered with Ja
  bool no = false;   // -n, --no: every question answered with Nein
  bool dryRun = false;
  bool all = false;    // undo, redo: every action of the log
  bool force = false;  // with --yes: go on despite a conflict
  std::optional<std::string> before;
  std::optional<std::string> olderThan;
  std::optional<std::string> table, kind, since, until, id;  // filters of actions, history
};

struct Context {
  // The platform's: components, and messages outside the undo's questions.
  Environment& environment;
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  // Where questions and messages for the user go: stdout when it is a terminal and holds
  // no JSON, else stderr.
  std::ostream& talk;
  bool inIsTerminal = false;
  Options options;
};

// A loaded file set of DIR with its headers read. A missing folder, a file given as the
// folder and unreadable files fail with a Failure that names them. The set is ejected
// when the last copy of the pointer goes.
std::shared_ptr<FileSet> OpenFolder(Environment& environment, const std::string& dir);
// FILE as a 1-based index or a file name of the set; UsageError when it is neither.
int32_t ResolveFile(const FileSet& set, const std::string& dir, const std::string& file);
// POS as the position of an action's first line in LOG; UsageError (naming the actions
// command) when the text is no number or no action starts there.
int32_t ResolvePosition(const LogData& log, const std::string& dir, const std::string& file,
                        const std::string& position);

void PrintJson(Context& context, const nlohmann::json& value);
// A path of UTF-8 text.
std::filesystem::path PathOf(const std::string& text);
// UsageError naming the command unless args holds count words.
void Expect(const std::vector<std::string>& args, size_t count, const char* command);
// "1 Logdatei", "2 Logdateien".
std::string Count(size_t n, const char* one, const char* many);

// The commands; args are the words after the command's name.
int RunFiles(Context& context, const std::vector<std::string>& args);
int RunHeader(Context& context, const std::vector<std::string>& args);
int RunActions(Context& context, const std::vector<std::string>& args);
int RunShow(Context& context, const std::vector<std::string>& args);
int RunPrune(Context& context, const std::vector<std::string>& args);
int RunUndo(Context& context, const std::vector<std::string>& args);
int RunRedo(Context& context, const std::vector<std::string>& args);
int RunHistory(Context& context, const std::vector<std::string>& args);

}  // namespace tarvesk::cli
