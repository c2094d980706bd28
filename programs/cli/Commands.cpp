// The reading commands: files, header, actions, show, history. One file (some 430 lines):
// each command is a short function over the same file-set, filter and output helpers.
#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <optional>
#include <unordered_set>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "fileset/FileSet.h"
#include "logdata/LogData.h"
#include "programs/cli/Actions.h"
#include "programs/cli/Cli.h"
#include "programs/cli/Output.h"
#include "programs/cli/TerminalMessages.h"
#include "service/modService.h"

namespace tarvesk::cli {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

void Expect(const std::vector<std::string>& args, size_t count, const char* command) {
  if (args.size() != count) {
    throw UsageError{std::string(args.size() < count ? "Zu wenige" : "Zu viele") + " Angaben für " +
                         command + ".",
                     command};
  }
}

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

namespace {

nlohmann::json FileJson(const FileSet& set, int32_t index) {
  nlohmann::json file = {{"index", index}};
  PutText(file, "name", set.FileName(index));
  PutText(file, "path", set.File(index));
  return file;
}

// Name/value lines (a continuation indented, an empty value as "(leer)"), or JSON with
// typed values and ISO dates beside the text.
nlohmann::json PropertiesJson(const PropertyCollection& properties) {
  nlohmann::json list = nlohmann::json::array();
  for (int32_t i = 1; i <= properties.PropertyCount(); ++i) {
    nlohmann::json entry;
    const std::string value = properties.PropertyValueByIndex(i);
    PutText(entry, "name", properties.PropertyNameByIndex(i));
    PutValue(entry, "value", value);
    if (const auto iso = IsoDate(value)) entry["valueIso"] = *iso;
    list.push_back(entry);
  }
  return list;
}

void PrintProperties(Context& context, const PropertyCollection& properties) {
  for (int32_t i = 1; i <= properties.PropertyCount(); ++i) {
    const std::string_view value = properties.PropertyValueView(i);  // a huge value uncopied
    WriteValue(context.out, properties.PropertyNameByIndex(i) + ": ",
               value.empty() ? "(leer)" : value);
  }
}

// The actions command, naming DIR and FILE as the user gave them.
std::string ActionsCommand(const std::string& dir, const std::string& file) {
  return "logmanager actions " + dir + " " + file;
}

// A date of --since or --until; UsageError for other text. --until without a time of day
// takes in that whole day.
double FilterDate(const std::optional<std::string>& text, const char* option, const char* command,
                  bool until) {
  if (!text) return until ? 1e9 : -1e9;
  const auto date = ParseDate(*text);
  if (!date) {
    throw UsageError{"Kein gültiges Datum für " + std::string(option) + ": \"" + Escaped(*text) +
                         "\" (erwartet T.M.JJJJ [hh:mm[:ss]] oder JJJJ-MM-TT [hh:mm[:ss]]).",
                     command};
  }
  return date->serial + (until && text->find(':') == std::string::npos ? 1 - 1e-9 : 0);
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The filters of actions and history: table (letter case aside, as the database compares
// names), kind, record id and the time of the action (else its session's time).
struct ActionFilter {
  std::optional<std::string> table, kind, id;
  double since = -1e9, until = 1e9;

  ActionFilter(const Options& options, const char* command)
      : table(options.table), kind(options.kind), id(options.id) {
    since = FilterDate(options.since, "--since", command, false);
    until = FilterDate(options.until, "--until", command, true);
    static const std::vector<std::string> kKinds = {"UPDATE", "NEWRECORD", "DELETE_inDB",
                                                    "DELETE_OFFLINE"};
    if (kind && std::find(kKinds.begin(), kKinds.end(), *kind) == kKinds.end()) {
      throw UsageError{"Keine Art einer Aktion: \"" + Escaped(*kind) +
                           "\" (UPDATE, NEWRECORD, DELETE_inDB oder DELETE_OFFLINE).",
                       command};
    }
  }
  // The time an action counts by: its own, else its session's; nullopt when neither reads.
  static std::optional<double> TimeOf(const ActionSummary& action, const std::string& session) {
    if (const auto time = ParseDate(action.time)) return time->serial;
    if (const auto time = ParseDate(session)) return time->serial;
    return std::nullopt;
  }
  bool Keeps(const ActionSummary& action, const std::string& session) const {
    if (table && !SameText(*table, action.table)) return false;
    if (kind && *kind != action.kind) return false;
    if (id && *id != action.recordId) return false;
    if (since > -1e9 || until < 1e9) {
      const auto time = TimeOf(action, session);
      if (!time || *time < since || *time > until) return false;
    }
    return true;
  }
};

}  // namespace

std::shared_ptr<FileSet> OpenFolder(Environment& environment, const std::string& dir) {
  std::error_code ec;
  const fs::file_status status = fs::status(PathOf(dir), ec);
  if (!fs::exists(status)) {
    throw Failure{kPathNotFound, "Pfad nicht gefunden: Der Ordner \"" + dir + "\" existiert nicht.",
                  "Prüfen Sie den Pfad. Der Ordner mit den Logs ist der, den "
                  "TARVESK_DATALAYER_LOGDIR nennt."};
  }
  if (!fs::is_directory(status)) {
    const std::string parent = PathOf(dir).parent_path().string();
    throw Failure{kPathNotFound,
                  "Pfad nicht gefunden: \"" + dir + "\" ist eine Datei, kein Ordner.",
                  "Geben Sie den Ordner an, zum Beispiel: logmanager files " +
                      (parent.empty() ? std::string(".") : parent)};
  }
  auto set = std::make_shared<FileSet>(environment);
  try {
    set->LoadFileSet(dir);
    set->ReadFileSetProperties();
  } catch (const Error& error) {
    throw Failure{error.Number(), error.Description() + " (beim Lesen des Ordners \"" + dir + "\")",
                  "Prüfen Sie, ob alle *.xml-Dateien des Ordners lesbar sind."};
  }
  return set;
}

int32_t ResolveFile(const FileSet& set, const std::string& dir, const std::string& file) {
  const std::string next = "Die Logdateien und ihre Nummern zeigt: logmanager files " + dir;
  if (set.FileCount() == 0) {
    throw UsageError{"Keine Logdateien im Ordner \"" + dir + "\".\n" + next};
  }
  if (!file.empty() && file.find_first_not_of("0123456789") == std::string::npos) {
    const int32_t index = file.size() <= 9 ? std::stoi(file) : 0;
    if (index < 1 || index > set.FileCount()) {
      throw UsageError{"Keine Logdatei mit der Nummer " + file + " (1 bis " +
                       std::to_string(set.FileCount()) + ").\n" + next};
    }
    return index;
  }
  for (int32_t i = 1; i <= set.FileCount(); ++i) {
    if (set.FileName(i) == file) return i;
  }
  throw UsageError{"Keine Logdatei namens \"" + Escaped(file) + "\" im Ordner \"" + dir + "\".\n" +
                   next};
}

int32_t ResolvePosition(const LogData& log, const std::string& dir, const std::string& file,
                        const std::string& text) {
  const std::string next = "Die Aktionen und ihre Positionen zeigt: " + ActionsCommand(dir, file);
  const size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == sign || text.size() > 11 ||
      text.find_first_not_of("0123456789", sign) != std::string::npos) {
    throw UsageError{"Keine gültige Position: \"" + Escaped(text) + "\".\n" + next};
  }
  const long long position = std::stoll(text);
  int32_t before = 0;
  for (const std::string& entry : log.GetActionList()) {
    if (entry == kErrorEntry) continue;
    const int32_t start = LeadingNumber(entry);
    if (start == position) return start;
    if (start < position) before = start;
  }
  std::string where = ".";
  if (before > 0) where = "; die Aktion davor beginnt an Position " + std::to_string(before) + ".";
  throw UsageError{"An Position " + text + " der Logdatei " + file + " beginnt keine Aktion" +
                   where + "\n" + next};
}

void PrintJson(Context& context, const nlohmann::json& value) {
  context.out << value.dump(2, ' ', false) << '\n';
}

int RunFiles(Context& context, const std::vector<std::string>& args) {
  Expect(args, 1, "files");
  const auto set = OpenFolder(context.environment, args[0]);
  // Files of the folder that the set left out for lacking the log marker.
  std::unordered_set<std::string> listed;
  for (int32_t i = 1; i <= set->FileCount(); ++i) listed.insert(set->FileName(i));
  std::vector<std::string> skipped;
  for (const std::string& name :
       CreateFileSystem(context.environment)->GetFilesInFolder(set->FolderPath(), "*.xml")) {
    if (!listed.contains(name)) skipped.push_back(name);
  }

  nlohmann::json files = nlohmann::json::array();
  for (int32_t i = 1; i <= set->FileCount(); ++i) {
    const std::string sessionTime = set->FileProperties(i, "SESSIONTIME");
    const std::string database = set->FileProperties(i, "DATABASE");
    const std::string user = set->FileProperties(i, "USER");
    const std::string name = set->FileName(i);
    const LogCount count = CountActions(set, i);
    if (context.options.json) {
      nlohmann::json file = FileJson(*set, i);
      PutDate(file, "sessionTime", sessionTime);
      PutText(file, "database", database);
      file["user"] = user.empty() ? nlohmann::json() : JsonText(user);
      file["actionCount"] = count.readable ? nlohmann::json(count.actions) : nlohmann::json();
      file["errorsRecorded"] = count.errorsRecorded;
      if (!count.readable) PutText(file, "error", count.error);
      files.push_back(file);
      continue;
    }
    std::string line =
        std::to_string(i) + ": " + sessionTime + ": " + database + " (" + name + "), ";
    line += count.readable ? Count(count.actions, "Aktion", "Aktionen")
                           : "nicht lesbar: " + count.error;
    if (!user.empty()) line += ", Benutzer " + user;
    if (count.errorsRecorded) line += ", Fehler aufgezeichnet";
    context.out << Escaped(line) << '\n';
  }
  if (context.options.json) {
    nlohmann::json result = {{"files", files}, {"skipped", nlohmann::json::array()}};
    PutText(result, "folder", set->FolderPath());
    for (const auto& name : skipped) result["skipped"].push_back(JsonText(name));
    PrintJson(context, result);
  } else if (set->FileCount() == 0) {
    context.out << "keine Logdateien im Ordner " << Escaped(args[0]) << '\n';
  }
  if (!skipped.empty()) {
    std::string names;
    for (const auto& name : skipped) names += (names.empty() ? "" : ", ") + Escaped(name);
    context.err << Count(skipped.size(), "Datei", "Dateien")
                << " ohne die Kennung einer Logdatei übergangen: " << names << '\n';
  }
  return kDone;
}

int RunHeader(Context& context, const std::vector<std::string>& args) {
  Expect(args, 2, "header");
  const auto set = OpenFolder(context.environment, args[0]);
  const int32_t index = ResolveFile(*set, args[0], args[1]);
  const auto properties = set->HeaderProperties(index);
  if (context.options.json) {
    PrintJson(context,
              {{"file", FileJson(*set, index)}, {"properties", PropertiesJson(*properties)}});
  } else {
    PrintProperties(context, *properties);
  }
  return kDone;
}

int RunActions(Context& context, const std::vector<std::string>& args) {
  Expect(args, 2, "actions");
  const ActionFilter filter(context.options, "actions");
  const auto set = OpenFolder(context.environment, args[0]);
  const int32_t index = ResolveFile(*set, args[0], args[1]);
  const auto log = set->LogContent(index);
  const std::string session = set->FileProperties(index, "SESSIONTIME");
  nlohmann::json list = nlohmann::json::array();
  size_t count = 0;
  // One entry at a time: the text of a long log is written as it is read, never held as a
  // list beside the log.
  const auto parser = CreateXMLParser(context.environment);
  log->ForEachAction([&](std::string_view view) {
    const std::string entry(view);
    if (entry == kErrorEntry) {
      if (!context.options.json) context.out << entry << '\n';
      return;
    }
    const ActionSummary action = Summarize(*log, entry, Use(parser));
    if (!filter.Keeps(action, session)) return;
    ++count;
    if (context.options.json) {
      list.push_back(ActionJson(action));
    } else {
      context.out << ActionLine(action) << '\n';
    }
  });
  if (context.options.json) {
    const std::string errors = log->ErrorInfo();
    nlohmann::json result = {{"file", FileJson(*set, index)}, {"actions", list}};
    if (errors.empty()) {
      result["errorInfo"] = nullptr;
    } else {
      PutText(result, "errorInfo", errors);
    }
    PrintJson(context, result);
  } else if (count == 0) {
    context.out << "keine Aktionen in der Logdatei " << Escaped(args[1])
                << (context.options.table || context.options.kind || context.options.since ||
                            context.options.until
                        ? " zu diesen Filtern"
                        : "")
                << '\n';
  }
  return kDone;
}

int RunHistory(Context& context, const std::vector<std::string>& args) {
  Expect(args, 1, "history");
  if (!context.options.table || !context.options.id) {
    throw UsageError{"history braucht --table TABELLE und --id ID.", "history"};
  }
  const ActionFilter filter(context.options, "history");
  const auto set = OpenFolder(context.environment, args[0]);
  struct Found {
    double time;
    int32_t index;
    ActionSummary action;
  };
  std::vector<Found> found;
  for (int32_t i = 1; i <= set->FileCount(); ++i) {
    const std::string session = set->FileProperties(i, "SESSIONTIME");
    try {
      const auto log = set->LogContent(i);
      const auto parser = CreateXMLParser(context.environment);
      log->ForEachAction([&](std::string_view entry) {
        if (entry == kErrorEntry) return;
        ActionSummary action = Summarize(*log, std::string(entry), Use(parser));
        if (!filter.Keeps(action, session)) return;
        const double time = ActionFilter::TimeOf(action, session).value_or(0);
        found.push_back({time, i, std::move(action)});
      });
    } catch (const Error& error) {
      context.err << "Logdatei " << Escaped(set->FileName(i)) << " übergangen: Fehler "
                  << error.Number() << ": " << error.Description() << '\n';
    }
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const Found& a, const Found& b) { return a.time < b.time; });
  nlohmann::json list = nlohmann::json::array();
  for (const Found& entry : found) {
    const std::string session = set->FileProperties(entry.index, "SESSIONTIME");
    const std::string user = set->FileProperties(entry.index, "USER");
    if (context.options.json) {
      nlohmann::json item = ActionJson(entry.action);
      item["file"] = FileJson(*set, entry.index);
      PutDate(item, "sessionTime", session);
      item["user"] = user.empty() ? nlohmann::json() : JsonText(user);
      list.push_back(item);
      continue;
    }
    std::string line = ActionLine(entry.action);
    line = line.substr(line.find(": ") + 2);
    context.out << line << "\n  Sitzung " << Escaped(session)
                << (user.empty() ? "" : ", Benutzer " + Escaped(user)) << ", Logdatei "
                << Escaped(set->FileName(entry.index)) << " (" << entry.index << "), Position "
                << entry.action.position << '\n';
  }
  if (context.options.json) {
    nlohmann::json result = {{"actions", list}};
    PutText(result, "table", *context.options.table);
    PutValue(result, "id", *context.options.id);
    PrintJson(context, result);
  } else if (found.empty()) {
    context.out << "keine protokollierten Aktionen für Tabelle " << Escaped(*context.options.table)
                << ", ID " << Escaped(*context.options.id) << " im Ordner " << Escaped(args[0])
                << '\n';
  }
  return kDone;
}

int RunShow(Context& context, const std::vector<std::string>& args) {
  Expect(args, 3, "show");
  const auto set = OpenFolder(context.environment, args[0]);
  const int32_t index = ResolveFile(*set, args[0], args[1]);
  const auto log = set->LogContent(index);
  if (args[2] == "errors") {
    const std::string errors = log->ErrorInfo();
    if (context.options.json) {
      nlohmann::json result = {{"file", FileJson(*set, index)}};
      if (errors.empty()) {
        result["errorInfo"] = nullptr;
      } else {
        PutText(result, "errorInfo", errors);
      }
      PrintJson(context, result);
    } else if (errors.empty()) {
      context.out << "keine Fehler aufgezeichnet (Logdatei " << Escaped(args[1]) << ")\n";
    } else {
      WriteValue(context.out, "", errors);
    }
    return kDone;
  }
  const int32_t position = ResolvePosition(*log, args[0], args[1], args[2]);
  const ActionSummary action = Summarize(*log, ActionEntryAt(*log, position));
  const auto details = log->GetActionData(position);
  // The values of a new record stand in its block after TIME; the details leave them out.
  if (action.kind == "NEWRECORD") {
    for (const auto& [name, value] : NewRecordFields(*log, position)) {
      details->AddProperty(name, std::string(value));
    }
  }
  if (context.options.json) {
    nlohmann::json result = ActionJson(action);
    result["properties"] = PropertiesJson(*details);
    PrintJson(context, result);
  } else {
    context.out << "Position " << position << ": " << ActionHeadline(action) << '\n';
    PrintProperties(context, *details);
  }
  return kDone;
}

}  // namespace tarvesk::cli
