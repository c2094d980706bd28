#include <climits>
#include <filesystem>
#include <iostream>
#include <optional>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "cli/Cli.h"
#include "logdata/LogData.h"

namespace tarvesk::cli {
namespace {

void Expect(const std::vector<std::string>& args, size_t count, const char* usage) {
  if (args.size() != count) throw UsageError{std::string("Aufruf: logmanager ") + usage};
}

// Writes text with its line breaks inside values (CR LF, CR) as the terminal's line break,
// piece by piece: a long value is not copied.
void WritePrintable(std::ostream& out, std::string_view text) {
  for (size_t cr; (cr = text.find('\r')) != std::string_view::npos;) {
    out << text.substr(0, cr) << '\n';
    text.remove_prefix(cr + (cr + 1 < text.size() && text[cr + 1] == '\n' ? 2 : 1));
  }
  out << text;
}

// The file's own name: FILENAME without the set's folder.
std::string NameInFolder(const FileSet& set, const std::string& fileName) {
  const std::string& folder = set.FolderPath();
  return fileName.compare(0, folder.size(), folder) == 0 ? fileName.substr(folder.size())
                                                         : fileName;
}

// One "name: value" line per property, in the collection's order (or a JSON list of them).
void PrintProperties(Context& context, const PropertyCollection& properties) {
  nlohmann::json list = nlohmann::json::array();
  for (int32_t i = 1; i <= properties.PropertyCount(); ++i) {
    const std::string name = properties.PropertyNameByIndex(i);
    const std::string_view value = properties.PropertyValueView(i);
    if (context.json) {
      list.push_back({{"name", name}, {"value", value}});
    } else {
      WritePrintable(context.out, name);
      context.out << ": ";
      WritePrintable(context.out, value);
      context.out << '\n';
    }
  }
  if (context.json) PrintJson(context, list);
}

}  // namespace

std::shared_ptr<FileSet> OpenFolder(const std::string& dir) {
  // The set and its cached LogData objects hold each other; the last user of the returned
  // pointer ejects the set, which lets both go.
  struct Ejector {
    std::shared_ptr<FileSet> set = std::make_shared<FileSet>();
    ~Ejector() { set->EjectFileset(); }
  };
  auto holder = std::make_shared<Ejector>();
  holder->set->LoadFileSet(dir);
  holder->set->ReadFileSetProperties();
  return std::shared_ptr<FileSet>(holder, holder->set.get());
}

int32_t ResolveFile(const FileSet& set, const std::string& file) {
  if (!file.empty() && file.find_first_not_of("0123456789") == std::string::npos) {
    const int32_t index = file.size() <= 9 ? std::stoi(file) : 0;
    if (index < 1 || index > set.FileCount()) {
      throw UsageError{"Keine Logdatei mit der Nummer " + file + " (1 bis " +
                       std::to_string(set.FileCount()) + ")"};
    }
    return index;
  }
  for (int32_t i = 1; i <= set.FileCount(); ++i) {
    if (NameInFolder(set, set.File(i)) == file) return i;
  }
  throw UsageError{"Keine Logdatei namens \"" + file + "\" im Ordner"};
}

int32_t ParsePosition(const std::string& text) {
  const size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == sign || text.size() > 11 ||
      text.find_first_not_of("0123456789", sign) != std::string::npos) {
    throw UsageError{"Keine gültige Position: \"" + text + "\""};
  }
  const long long value = std::stoll(text);
  if (value < INT32_MIN || value > INT32_MAX) throw UsageError{"Position zu groß: " + text};
  return static_cast<int32_t>(value);
}

void PrintJson(Context& context, const nlohmann::json& value) {
  context.out << value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

int RunFiles(Context& context, const std::vector<std::string>& args) {
  Expect(args, 1, "files DIR");
  const auto set = OpenFolder(args[0]);
  nlohmann::json files = nlohmann::json::array();
  for (int32_t i = 1; i <= set->FileCount(); ++i) {
    const std::string sessionTime = set->FileProperties(i, "SESSIONTIME");
    const std::string database = set->FileProperties(i, "DATABASE");
    const std::string name = NameInFolder(*set, set->FileProperties(i, "FILENAME"));
    const std::string entry = sessionTime + ": " + database + " (" + name + ")";
    if (context.json) {
      files.push_back({{"index", i},
                       {"name", name},
                       {"path", set->File(i)},
                       {"sessionTime", sessionTime},
                       {"database", database},
                       {"entry", entry}});
    } else {
      WritePrintable(context.out, entry);
      context.out << '\n';
    }
  }
  if (context.json) PrintJson(context, files);
  return kDone;
}

int RunHeader(Context& context, const std::vector<std::string>& args) {
  Expect(args, 2, "header DIR FILE");
  const auto set = OpenFolder(args[0]);
  const auto properties = set->HeaderProperties(ResolveFile(*set, args[1]));
  PrintProperties(context, *properties);
  return kDone;
}

int RunActions(Context& context, const std::vector<std::string>& args) {
  Expect(args, 2, "actions DIR FILE");
  const auto set = OpenFolder(args[0]);
  const auto log = set->LogContent(ResolveFile(*set, args[1]));
  if (!context.json) {
    log->ForEachAction([&](std::string_view entry) {
      WritePrintable(context.out, entry);
      context.out << '\n';
    });
    return kDone;
  }
  nlohmann::json list = nlohmann::json::array();
  for (const std::string& entry : log->GetActionList()) {
    if (entry == kErrorEntry) {
      list.push_back({{"position", nullptr}, {"text", entry}, {"errorInfo", log->ErrorInfo()}});
    } else {
      list.push_back({{"position", LeadingNumber(entry)}, {"text", entry}});
    }
  }
  if (context.json) PrintJson(context, list);
  return kDone;
}

int RunShow(Context& context, const std::vector<std::string>& args) {
  Expect(args, 3, "show DIR FILE POS|errors");
  const auto set = OpenFolder(args[0]);
  const auto log = set->LogContent(ResolveFile(*set, args[1]));
  if (args[2] == "errors") {
    if (context.json) {
      PrintJson(context, {{"errorInfo", log->ErrorInfo()}});
    } else if (!log->ErrorInfo().empty()) {
      WritePrintable(context.out, log->ErrorInfo());
      context.out << '\n';
    }
    return kDone;
  }
  const int32_t position = ParsePosition(args[2]);
  const auto details = log->GetActionData(position);
  if (!details) {
    context.err << "An Position " << position << " beginnt keine Aktion.\n";
    return kFailed;
  }
  PrintProperties(context, *details);
  return kDone;
}

int RunPrune(Context& context, const std::vector<std::string>& args) {
  std::vector<std::string> words;
  std::optional<std::string> before;
  bool dryRun = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--dry-run") {
      dryRun = true;
    } else if (args[i] == "--before" && i + 1 < args.size()) {
      before = args[++i];
    } else {
      words.push_back(args[i]);
    }
  }
  if (words.size() != 1 || !before) {
    throw UsageError{"Aufruf: logmanager prune DIR --before DATUM [--dry-run]"};
  }
  const std::optional<DateValue> threshold = ParseDate(*before);
  if (!threshold) {
    throw UsageError{"Kein gültiges Datum: \"" + *before +
                     "\" (erwartet T.M.JJJJ [hh:mm[:ss]] oder JJJJ-MM-TT [hh:mm[:ss]])"};
  }
  const auto set = OpenFolder(words[0]);
  std::vector<std::string> before_files;
  for (int32_t i = 1; i <= set->FileCount(); ++i) before_files.push_back(set->File(i));

  std::vector<std::string> chosen;  // old files (dry run) or files that left the set
  if (dryRun) {
    for (int32_t i = 1; i <= set->FileCount(); ++i) {
      const auto age = ParseDate(set->FileProperties(i, "SESSIONTIME"));
      if (age && age->serial < threshold->serial) chosen.push_back(set->File(i));
    }
  } else {
    set->DeleteOldFiles(*threshold);
    size_t kept = 0;
    for (const std::string& path : before_files) {
      if (kept < static_cast<size_t>(set->FileCount()) &&
          set->File(static_cast<int32_t>(kept) + 1) == path) {
        ++kept;
      } else {
        chosen.push_back(path);
      }
    }
  }

  nlohmann::json list = nlohmann::json::array();
  for (const std::string& path : chosen) {
    std::error_code ec;
    const bool stillThere =
        !dryRun && std::filesystem::exists(std::u8string(path.begin(), path.end()), ec);
    if (context.json) {
      list.push_back({{"path", path}, {"deleted", !dryRun && !stillThere}});
    } else {
      context.out << path;
      if (stillThere) context.out << " (konnte nicht gelöscht werden)";
      context.out << '\n';
    }
  }
  if (context.json) PrintJson(context, list);
  return kDone;
}

}  // namespace tarvesk::cli
