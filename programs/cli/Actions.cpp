#include "programs/cli/Actions.h"

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "programs/cli/Output.h"
#include "service/modService.h"

namespace tarvesk::cli {
namespace {

// The value of the tag line at position if its tag is tag; "" otherwise.
std::string TagLine(const LogData& log, IXmlParser& parser, int64_t position, const char* tag) {
  if (position < 1 || static_cast<size_t>(position) > log.BodyLineCount()) return "";
  const std::string_view line = log.BodyLine(position);
  return parser.GetTagName(line) == tag ? parser.GetTagValue(line, tag) : "";
}

// A value for the one-line list: line breaks as ↵, at most 40 characters.
std::string Short(std::string_view value) {
  if (value.empty()) return "(leer)";
  std::string out;
  size_t characters = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && ++characters > 40) {
      return Escaped(out) + "…";
    }
    if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
    if (c == '\r' || c == '\n') {
      out += "↵";
    } else {
      out += c;
    }
  }
  return Escaped(out);
}

}  // namespace

ActionSummary Summarize(const LogData& log, const std::string& entry) {
  const auto parser = CreateXMLParser(log.GetEnvironment());
  return Summarize(log, entry, Use(parser));
}

ActionSummary Summarize(const LogData& log, const std::string& entry, IXmlParser& parser) {
  ActionSummary action;
  action.entry = entry;
  action.position = LeadingNumber(entry);
  // entry: n ": " kind-text " / " name ": " value " (QueryString: " query ")"
  const size_t kindStart = entry.find(": ") + 2;
  const size_t kindEnd = entry.find(" / ", kindStart);
  const std::string kindText = entry.substr(kindStart, kindEnd - kindStart);
  action.kind = GetDelimitedField(kindText, " ", 1);
  const std::string idWord = GetDelimitedField(kindText, " ", 2);
  if (!idWord.empty()) action.recordId = GetDelimitedField(idWord, "=", 2);
  const size_t query = entry.find(" (QueryString: ");
  if (query != std::string::npos) {
    action.query = entry.substr(query + 15, entry.size() - query - 16);
  }
  action.table = TagLine(log, parser, action.position + 1, "TABLE");
  action.time = TagLine(log, parser, action.position + 3, "TIME");
  if (action.kind == "UPDATE") {
    if (const auto details = log.GetActionData(action.position)) {
      // The values as views: one of them may be hundreds of megabytes.
      const auto view = [&](const std::string& name) {
        for (int32_t i = 1; i <= details->PropertyCount(); ++i) {
          if (details->PropertyNameByIndex(i) == name) return details->PropertyValueView(i);
        }
        return std::string_view();
      };
      action.isUpdate = true;
      action.field = details->PropertyContent("FieldName");
      action.oldValue = view("OldValue");
      action.newValue = view("NewValue");
      action.details = details;
    }
  }
  return action;
}

std::vector<std::pair<std::string, std::string>> NewRecordFields(const LogData& log,
                                                                 int32_t position) {
  std::vector<std::pair<std::string, std::string>> fields;
  const auto parser = CreateXMLParser(log.GetEnvironment());
  for (int64_t line = int64_t{position} + 4; line <= static_cast<int64_t>(log.BodyLineCount());
       ++line) {
    const std::string_view text = log.BodyLine(line);
    if (text.find("</ACTION>") != std::string_view::npos || text.starts_with("<ACTION ")) break;
    const std::string name = Use(parser).GetTagName(text);
    if (!name.empty()) fields.emplace_back(name, Use(parser).GetTagValue(text, name));
  }
  return fields;
}

std::string ActionEntryAt(const LogData& log, int32_t position) {
  for (const std::string& entry : log.GetActionList()) {
    if (entry != kErrorEntry && LeadingNumber(entry) == position) return entry;
  }
  throw Error(kSubscriptOutOfRange);
}

std::string ActionHeadline(const ActionSummary& action) {
  std::string line;
  for (const std::string* part : {&action.time, &action.kind, &action.table}) {
    if (!part->empty()) line += (line.empty() ? "" : " ") + Escaped(*part);
  }
  if (!action.recordId.empty()) line += " ID " + Escaped(action.recordId);
  return line;
}

std::string ActionLine(const ActionSummary& action) {
  std::string line = std::to_string(action.position) + ": " + ActionHeadline(action);
  if (action.isUpdate) {
    line += ", " + Escaped(action.field) + ": " + Short(action.oldValue) + " → " +
            Short(action.newValue);
  }
  return line;
}

nlohmann::json ActionJson(const ActionSummary& action) {
  nlohmann::json json = {{"position", action.position}};
  PutText(json, "kind", action.kind);
  PutText(json, "table", action.table);
  if (action.recordId.empty()) {
    json["recordId"] = nullptr;
  } else {
    PutValue(json, "recordId", action.recordId);
  }
  PutDate(json, "time", action.time);
  if (action.isUpdate) {
    PutText(json, "field", action.field);
    PutValue(json, "oldValue", action.oldValue);
    PutValue(json, "newValue", action.newValue);
  }
  PutText(json, "query", action.query);
  PutText(json, "entry", action.entry);
  return json;
}

LogCount CountActions(const std::shared_ptr<FileSet>& set, int32_t index) {
  LogCount count;
  try {
    LogData log(set->GetEnvironment());
    log.SetParent(set);
    log.SetFileIndex(index);
    log.LoadLogData();
    for (const std::string& entry : log.GetActionList()) {
      if (entry == kErrorEntry) {
        count.errorsRecorded = true;
      } else {
        ++count.actions;
      }
    }
  } catch (const Error& error) {
    count.readable = false;
    count.error = "Fehler " + std::to_string(error.Number()) + ": " + error.Description();
  }
  return count;
}

}  // namespace tarvesk::cli
