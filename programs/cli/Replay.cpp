#include "programs/cli/Replay.h"

#include <charconv>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "components/datalayer/ChangeLog.h"
#include "components/datalayer/DataLayer.h"
#include "logdata/LogData.h"
#include "programs/cli/Cli.h"
#include "programs/cli/Output.h"
#include "service/LogValue.h"

namespace tarvesk::cli {
namespace {

// A value in the form the data layer logs it, so that it compares with the log: numbers
// as SQLite reads them back, NULL as "".
std::string LogText(const Variant& value) {
  switch (value.GetType()) {
    case Variant::Type::Long:
      return std::to_string(value.AsLong());
    case Variant::Type::LongLong:
      return std::to_string(value.AsLongLong());
    case Variant::Type::Double: {
      char buffer[64];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.AsDouble());
      return std::string(buffer, result.ptr);
    }
    case Variant::Type::String:
      return value.AsString();
    case Variant::Type::Boolean:
      return value.AsBool() ? "1" : "0";
    case Variant::Type::Date:
      return FormatDate(value.AsDate());
    default:
      return "";
  }
}

// Column names compare as SQLite compares them: ASCII letters without regard to case.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string* Find(FieldValues& fields, const std::string& name) {
  for (auto& [column, value] : fields) {
    if (SameName(column, name)) return &value;
  }
  return nullptr;
}

// A value in a message: in quotation marks, or (leer).
std::string Shown(const std::string& value) {
  return value.empty() ? "(leer)" : "\"" + value + "\"";
}

std::string Quoted(const std::string& text, char mark) {
  std::string out(1, mark);
  for (char c : text) {
    out += c;
    if (c == mark) out += mark;
  }
  return out + mark;
}

std::string IdLiteral(const std::string& id) {
  const bool number = !id.empty() && id.find_first_not_of("0123456789") == std::string::npos;
  return number ? id : Quoted(id, '\'');
}

[[noreturn]] void Refuse(const Step& step, const std::string& why) {
  throw Failure{0, StepName(step) + " der Logdatei " + step.fileName + ": " + why,
                "Nichts wurde geändert. Die Aktionen zeigt: logmanager actions; die Geschichte "
                "des Datensatzes: logmanager history."};
}

// The errors the data layer noted since before, "" when none.
std::string NewErrors(IDataLayer& layer, const std::string& before) {
  const Variant status = layer.errorstatus();
  const std::string now = status.GetType() == Variant::Type::String ? status.AsString() : "";
  if (now == before) return "";
  if (before.empty()) return now;
  return now.compare(0, before.size(), before) == 0 ? now.substr(before.size() + 2) : now;
}

std::string ErrorText(IDataLayer& layer) {
  const Variant status = layer.errorstatus();
  return status.GetType() == Variant::Type::String ? status.AsString() : "";
}

// Loads the step's record through layer; nullopt when the table holds no such record.
std::optional<FieldValues> ReadRecord(IDataLayer& layer, const Step& step) {
  const std::string before = ErrorText(layer);
  std::string query = step.action.query;
  layer.GetRecordset(query);
  int32_t id = LeadingNumber(step.action.recordId);
  const bool found = IsTrueAnswer(layer.FindRecord("ID", id));
  if (const std::string errors = NewErrors(layer, before); !errors.empty()) {
    Refuse(step, "Der Datensatz konnte nicht gelesen werden: " + errors);
  }
  if (!found) return std::nullopt;
  const auto record = layer.GetOfflineRecordset()->Records(layer.ActualPosition());
  FieldValues fields;
  for (int32_t i = 1; i <= record->FieldCount(); ++i) {
    const auto field = record->Fields(i);
    fields.emplace_back(LogText(field->Description()), LogText(field->Anything()));
  }
  return fields;
}

FieldValues Decoded(const std::vector<std::pair<std::string, std::string>>& logged) {
  FieldValues fields;
  for (const auto& [tag, value] : logged) fields.emplace_back(DecodeTagName(tag), value);
  return fields;
}

}  // namespace

std::string StepName(const Step& step) {
  std::string name = "Position " + std::to_string(step.action.position) + " (" + step.action.kind;
  if (!step.action.table.empty()) name += " " + step.action.table;
  if (!step.action.recordId.empty()) name += " ID " + step.action.recordId;
  if (step.kind == Step::Kind::SetField) name += ", " + step.field;
  return name + ")";
}

std::vector<Step> PlanSteps(FileSet& set, int32_t index, const std::vector<int32_t>& positions,
                            Direction direction) {
  const auto log = set.LogContent(index);
  const bool undo = direction == Direction::Undo;
  std::vector<Step> steps;
  for (const int32_t position : positions) {
    Step step;
    step.action = Summarize(*log, ActionEntryAt(*log, position));
    step.fileName = set.FileName(index);
    const std::string& kind = step.action.kind;
    if (kind == "DELETE_OFFLINE") {
      Refuse(step,
             "Der Datensatz wurde nur in den geladenen Daten gelöscht, nicht in der Datenbank; "
             "es gibt nichts " +
                 std::string(undo ? "rückgängig zu machen." : "zu wiederholen."));
    }
    if (kind != "UPDATE" && kind != "NEWRECORD" && kind != "DELETE_inDB") {
      Refuse(step, "Aktionen der Art \"" + kind + "\" lassen sich nicht " +
                       (undo ? "rückgängig machen." : "wiederholen."));
    }
    if (step.action.recordId.empty() || step.action.table.empty()) {
      Refuse(step, "Die Aktion nennt keinen Datensatz (Tabelle und ID).");
    }
    if (kind == "UPDATE") {
      step.kind = Step::Kind::SetField;
      step.field = step.action.field;
      step.value = std::string(undo ? step.action.oldValue : step.action.newValue);
      step.expected = std::string(undo ? step.action.newValue : step.action.oldValue);
    } else if (kind == "NEWRECORD") {
      step.fields = Decoded(NewRecordFields(*log, position));
      step.kind = undo ? Step::Kind::Remove : Step::Kind::Insert;
      if (!undo && step.fields.empty()) {
        Refuse(step,
               "Der neue Datensatz wurde ohne seine Feldwerte protokolliert (von einer älteren "
               "Datenschicht); er lässt sich nicht wiederholen.");
      }
    } else {
      const auto details = log->GetActionData(position);
      for (int32_t i = 2; details && i <= details->PropertyCount(); ++i) {
        step.fields.emplace_back(DecodeTagName(details->PropertyNameByIndex(i)),
                                 details->PropertyValueByIndex(i));
      }
      step.kind = undo ? Step::Kind::Insert : Step::Kind::Remove;
    }
    steps.push_back(std::move(step));
  }
  return steps;
}

void CheckSteps(std::vector<Step>& steps, IDataLayer& reader) {
  // Each record as the steps before leave it: values, or nullopt once removed.
  std::map<std::string, std::optional<FieldValues>> records;
  for (Step& step : steps) {
    const std::string key = step.action.table + '\n' + step.action.recordId;
    auto known = records.find(key);
    if (known == records.end()) known = records.emplace(key, ReadRecord(reader, step)).first;
    std::optional<FieldValues>& record = known->second;
    const std::string where = "Tabelle " + step.action.table + ", ID " + step.action.recordId;
    step.conflict.clear();
    switch (step.kind) {
      case Step::Kind::SetField: {
        if (!record) Refuse(step, "Der Datensatz ist nicht (mehr) vorhanden (" + where + ").");
        std::string* current = Find(*record, step.field);
        if (!current) Refuse(step, "Der Datensatz hat kein Feld \"" + step.field + "\".");
        if (*current != LogValueAsRead(step.expected)) {
          step.conflict = "Feld " + step.field +
                          " seit der protokollierten Änderung geändert: " + "protokolliert " +
                          Shown(ShowLogValue(step.expected)) + ", jetzt " + Shown(*current);
        }
        *current = LogValueAsRead(step.value);
        break;
      }
      case Step::Kind::Remove: {
        if (!record) Refuse(step, "Der Datensatz ist nicht (mehr) vorhanden (" + where + ").");
        for (const auto& [column, value] : step.fields) {
          const std::string* current = Find(*record, column);
          if (current && *current != LogValueAsRead(value)) {
            step.conflict += std::string(step.conflict.empty() ? "" : "; ") + "Feld " + column +
                             " geändert: protokolliert " + Shown(ShowLogValue(value)) + ", jetzt " +
                             Shown(*current);
          }
        }
        record.reset();
        break;
      }
      case Step::Kind::Insert:
        if (record) Refuse(step, "Den Datensatz gibt es bereits (" + where + ").");
        record = step.fields;
        for (auto& field : *record) field.second = LogValueAsRead(field.second);
        break;
    }
  }
}

std::string StatementOf(const Step& step) {
  const std::string table = Quoted(step.action.table, '"');
  const std::string where = " WHERE \"ID\" = " + IdLiteral(step.action.recordId) + ";";
  switch (step.kind) {
    case Step::Kind::SetField:
      return "UPDATE " + table + " SET " + Quoted(step.field, '"') + " = " +
             Quoted(step.value, '\'') + where;
    case Step::Kind::Remove:
      return "DELETE FROM " + table + where;
    case Step::Kind::Insert: {
      std::string names, values;
      for (const auto& [column, value] : step.fields) {
        names += (names.empty() ? "" : ", ") + Quoted(column, '"');
        values += (values.empty() ? "" : ", ") + Quoted(value, '\'');
      }
      return "INSERT INTO " + table + " (" + names + ") VALUES (" + values + ");";
    }
  }
  return "";
}

ReplayResult RunSteps(const std::vector<Step>& steps, const std::string& database,
                      const std::string& logFolder) {
  auto layer = std::make_unique<DataLayer>();
  layer->SetLogFolder(logFolder);
  layer->SetDatabaseByPath(database);
  // Rolls back, removes the session's log (it would tell of writes that were not kept)
  // and fails naming what failed.
  const auto fail = [&](const std::string& text) {
    layer->RollbackTransaction();
    const std::string logFile = layer->LogFilePath();
    layer.reset();
    std::error_code ec;
    if (!logFile.empty()) std::filesystem::remove(logFile, ec);
    throw Failure{0, text, "Die Datenbank ist unverändert; keine der Aktionen wurde ausgeführt."};
  };
  if (const std::string errors = ErrorText(*layer); !errors.empty()) fail(errors);
  if (!layer->BeginTransaction()) fail(ErrorText(*layer));

  std::vector<Step> again = steps;
  try {
    CheckSteps(again, *layer);
  } catch (const Failure& failure) {
    fail(failure.text);
  }
  for (size_t i = 0; i < steps.size(); ++i) {
    if (!again[i].conflict.empty() && again[i].conflict != steps[i].conflict) {
      fail(StepName(steps[i]) + ": seit der Frage geändert - " + again[i].conflict);
    }
  }

  for (const Step& step : steps) {
    const std::string before = ErrorText(*layer);
    std::string query = step.action.query;
    layer->GetRecordset(query);
    int32_t id = LeadingNumber(step.action.recordId);
    bool done = false;
    switch (step.kind) {
      case Step::Kind::SetField:
        done = IsTrueAnswer(layer->FindRecord("ID", id)) &&
               IsTrueAnswer(layer->SetFieldValue(step.field, step.value)) &&
               IsTrueAnswer(layer->Save());
        break;
      case Step::Kind::Remove:
        done = IsTrueAnswer(layer->FindRecord("ID", id)) && IsTrueAnswer(layer->RemoveRecord(true));
        break;
      case Step::Kind::Insert:
        done = IsTrueAnswer(layer->AddNew());
        for (const auto& [column, value] : step.fields) {
          done = done && IsTrueAnswer(layer->SetFieldValue(column, value));
        }
        done = done && IsTrueAnswer(layer->Save());
        break;
    }
    const std::string errors = NewErrors(*layer, before);
    if (!done || !errors.empty()) {
      fail(StepName(step) + " der Logdatei " + step.fileName + " fehlgeschlagen" +
           (errors.empty() ? "." : ": " + errors));
    }
  }
  if (!layer->CommitTransaction()) fail(ErrorText(*layer));
  return ReplayResult{layer->LogFilePath()};
}

}  // namespace tarvesk::cli
