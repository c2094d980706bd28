// The logmanager command line: shared pieces of its commands. Output is UTF-8; a line
// break inside a value is printed as a line break. Exit status: 0 done, 1 the operation
// failed (German message on stderr with the error number and text), 2 wrong usage.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "fileset/FileSet.h"

namespace tarvesk::cli {

enum ExitStatus { kDone = 0, kFailed = 1, kUsage = 2 };

// Thrown for wrong usage; main prints the text and the help hint and exits with 2.
struct UsageError {
  std::string text;
};

struct Context {
  std::ostream& out;
  std::ostream& err;
  bool json = false;
  bool assumeYes = false;  // --yes: every question answered with Ja
  bool assumeNo = false;   // --no: every question answered with Nein
};

// A loaded file set of DIR with its headers read; raises the core's errors. The set is
// ejected when the last copy of the pointer goes.
std::shared_ptr<FileSet> OpenFolder(const std::string& dir);
// FILE as a 1-based index or a file name of the set; UsageError when it is neither.
int32_t ResolveFile(const FileSet& set, const std::string& file);
// A 1-based position; UsageError when the text is not a whole number.
int32_t ParsePosition(const std::string& text);

// Prints lines (text) or a JSON value, as the context asks.
void PrintJson(Context& context, const nlohmann::json& value);

// The commands; args are the words after the command's name.
int RunFiles(Context& context, const std::vector<std::string>& args);
int RunHeader(Context& context, const std::vector<std::string>& args);
int RunActions(Context& context, const std::vector<std::string>& args);
int RunShow(Context& context, const std::vector<std::string>& args);
int RunPrune(Context& context, const std::vector<std::string>& args);
int RunUndo(Context& context, const std::vector<std::string>& args);

}  // namespace tarvesk::cli
