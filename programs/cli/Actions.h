// One logged action as the command line shows it: kind, table, record id, time and, for an
// update, the field with its old and new value - taken from the action list entry, the
// action's details and the lines of its block that the details leave out (TABLE, TIME).
// Free functions over a loaded LogData; no state.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fileset/FileSet.h"
#include "logdata/LogData.h"

namespace tarvesk::cli {

struct ActionSummary {
  int32_t position = 0;
  std::string entry;     // the action list entry as the viewer shows it
  std::string kind;      // UPDATE, NEWRECORD, DELETE_OFFLINE, DELETE_inDB or as logged
  std::string recordId;  // "" when the opening line names none
  std::string table;
  std::string time;
  std::string query;
  bool isUpdate = false;
  std::string field;                    // of an UPDATE
  std::string_view oldValue, newValue;  // of an UPDATE: views into details
  std::shared_ptr<const PropertyCollection> details;
};

ActionSummary Summarize(const LogData& log, const std::string& entry);
// The same with the caller's tag parser: a long list asks the factory for one only once.
ActionSummary Summarize(const LogData& log, const std::string& entry, IXmlParser& parser);
// The action list entry of the action that starts at position (one the list holds).
std::string ActionEntryAt(const LogData& log, int32_t position);

// The field lines of a NEWRECORD block (after TIME, up to the closing line): the new
// record's columns (tag names as logged) and values. Empty for a NEWRECORD logged without
// them.
std::vector<std::pair<std::string, std::string>> NewRecordFields(const LogData& log,
                                                                 int32_t position);

// "9: 01.12.2026 08:31:40 UPDATE Kunden ID 7, Ort: München → Köln", escaped, long values
// shortened (show prints them whole).
std::string ActionLine(const ActionSummary& action);
// The line without position and field: "01.12.2026 08:31:40 UPDATE Kunden ID 7".
std::string ActionHeadline(const ActionSummary& action);
nlohmann::json ActionJson(const ActionSummary& action);

// Actions of one file of a set, read without keeping the file in the set's cache.
struct LogCount {
  bool readable = true;
  size_t actions = 0;
  bool errorsRecorded = false;
  std::string error;  // "Fehler N: text" when it could not be read
};
LogCount CountActions(const std::shared_ptr<FileSet>& set, int32_t index);

}  // namespace tarvesk::cli
