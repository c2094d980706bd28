// The data layer's writing side: CheckFieldValue (whether a write would be accepted), Save (an
// INSERT of a new record or an UPDATE of the changed fields), RemoveRecord (a DELETE), each as one
// transaction that first checks the row still holds what was loaded, AddNew, the host's own
// transactions, and the change-log entry of each write, made with the row as the table returned it
// (RETURNING), so that the log can undo or redo it.
#include <sqlite3.h>

#include <algorithm>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "components/datalayer/DataLayer.h"
#include "components/datalayer/Sql.h"

namespace tarvesk {

using namespace sql;

int DataLayer::PlainLabel(int column) const {
  for (size_t i = 0; i < labelColumns_.size(); ++i) {
    if (labelColumns_[i] == column) return static_cast<int>(i);
  }
  return -1;
}

Variant DataLayer::CheckFieldValue(const std::string& fieldName, const std::string& value) {
  const std::string field = "Das Feld \"" + fieldName + "\"";
  if (!db_ || silent_ || table_.empty() || keyColumns_.empty()) {
    Refuse(field +
           " kann nicht geschrieben werden: es sind keine Datensätze einer Tabelle mit "
           "Primärschlüssel geladen.");
  }
  const int column = ColumnOfField(fieldName);
  if (column < 0) Refuse(field + " ist keine Spalte der Tabelle \"" + table_ + "\".");
  const bool loaded = position_ >= 1 && static_cast<size_t>(position_) <= data_->records.size() &&
                      !data_->records[position_ - 1]->isNew;
  if (loaded && PlainLabel(column) < 0) {
    Refuse(field + " ist nicht unverändert als Spalte der Tabelle \"" + table_ +
           "\" in der Abfrage enthalten.");
  }
  if (!ValueForColumn(columns_[column], value)) {
    Refuse("Der Wert \"" + ShowLogValue(value) + "\" passt nicht in die Spalte \"" +
           columns_[column].name + "\" der Tabelle \"" + table_ + "\".");
  }
  return Variant(true);
}

// RETURNING hands out an integral value of a REAL column in the integer form SQLite keeps
// it in on disk, where a SELECT reads it as the REAL it is; the log and the caller get
// what a SELECT gives.
Row DataLayer::AsRead(Row row) const {
  for (size_t i = 0; i < row.size() && i < columns_.size(); ++i) {
    if (columns_[i].affinity == 'R' && row[i].kind == LogValue::Kind::Integer) {
      row[i] = LogValue::Real(static_cast<double>(row[i].integer));
    }
  }
  return row;
}

std::string DataLayer::ColumnList() const {
  std::string list;
  for (const Column& column : columns_) {
    if (!list.empty()) list += ", ";
    list += Quoted(column.name);
  }
  return list;
}

std::string DataLayer::KeyCondition() const {
  std::string condition;
  for (int column : keyColumns_) {
    if (!condition.empty()) condition += " AND ";
    condition += Quoted(columns_[column].name) + " IS ?";
  }
  return condition;
}

void DataLayer::ApplyRow(Record& record, const Row& row) {
  for (size_t i = 0; i < columns_.size(); ++i) {
    const int label = LabelIndex(columns_[i].name);
    if (label < 0) continue;
    record.values[label] = ToVariant(row[i]);
    record.stored[label] = row[i];
  }
  record.key.clear();
  for (int column : keyColumns_) record.key.push_back(row[column]);
  record.pending.assign(columns_.size(), std::nullopt);
  record.isNew = false;
}

void DataLayer::EnsureUnchanged(const Record& record, const Row& now,
                                const std::vector<int>& columns) {
  std::vector<int> compared = columns;
  if (compared.empty()) {
    for (int column : labelColumns_) {
      if (column >= 0) compared.push_back(column);
    }
  }
  for (int column : compared) {
    // A column the rows do not show as it stands was not seen; it is not compared.
    const int label = PlainLabel(column);
    if (label < 0 || static_cast<size_t>(label) >= record.stored.size()) continue;
    if (record.stored[label] == now[column]) continue;
    Refuse("Der Datensatz wurde in der Zwischenzeit geändert (Feld \"" + columns_[column].name +
           "\"); es wurde nichts geschrieben.");
  }
}

int DataLayer::IdColumn() const {
  const int id = ColumnIndex("ID");
  if (id >= 0) return id;
  return keyColumns_.empty() ? -1 : keyColumns_.front();
}

void DataLayer::Log(const std::string& kind, const Row& row, std::vector<LogField> fields) {
  const std::string folder = logFolder_ ? *logFolder_ : DefaultLogFolder();
  if (folder.empty() || logFailed_) return;
  const int id = IdColumn();
  std::string query = "SELECT * FROM " + Readable(table_);
  if (id >= 0) {
    query += " WHERE " + Readable(columns_[id].name) +
             (row[id].kind == LogValue::Kind::Null ? std::string(" IS NULL")
                                                   : " = " + SqlLiteral(row[id]));
  }
  std::vector<LogField> lines = {
      {"TABLE", table_}, {"QueryString", query}, {"TIME", FormatDate(LocalNow())}};
  for (auto& field : fields) lines.push_back(std::move(field));
  if (kind == "DELETE_inDB") {
    const LogSession session = Session();
    lines.push_back({"USER", session.user});
    lines.push_back({"COMPUTER", session.computer});
    lines.push_back({"APPLICATION", session.application});
    lines.push_back({"ROWSAFFECTED", "1"});
  }
  try {
    if (!log_) log_ = std::make_unique<ChangeLogWriter>(folder, Session());
    log_->AppendAction(kind, id >= 0 ? RecordIdText(row[id]) : "", lines);
  } catch (const Error& error) {
    Note("Das Logfile konnte nicht geschrieben werden: " + DescribeError(error));
    logFailed_ = true;
  }
}

bool DataLayer::SaveNew(Record& record) {
  std::string names, marks;
  Row values;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (i >= record.pending.size() || !record.pending[i]) continue;
    const auto value = ValueForColumn(columns_[i], *record.pending[i]);
    if (!value) return false;  // SetFieldValue has refused it already
    names += (names.empty() ? "" : ", ") + Quoted(columns_[i].name);
    marks += marks.empty() ? "?" : ", ?";
    values.push_back(*value);
  }
  const std::string sql =
      "INSERT INTO " + Quoted(table_) +
      (names.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + marks + ")") +
      " RETURNING " + ColumnList();
  Row row;
  {
    Transaction transaction(db_.get());
    Statement statement = Prepare(db_.get(), sql);
    for (size_t i = 0; i < values.size(); ++i) {
      Bind(db_.get(), statement.get(), static_cast<int>(i + 1), values[i]);
    }
    auto inserted = StepOne(db_.get(), statement.get());
    if (!inserted) throw SqlFailure{SQLITE_ERROR, "kein Datensatz angelegt"};
    row = AsRead(std::move(*inserted));
    statement.reset();
    transaction.Commit();
  }
  ApplyRow(record, row);
  // The new record's values, so that the log can create it again (redo).
  std::vector<LogField> fields;
  for (size_t i = 0; i < columns_.size(); ++i) {
    fields.push_back(
        {EncodeTagName(columns_[i].name), WriteLogValue(row[i], columns_[i].affinity)});
  }
  Log("NEWRECORD", row, std::move(fields));
  return true;
}

bool DataLayer::SaveChanges(Record& record) {
  std::string assignments;
  Row values;
  std::vector<int> changed;
  for (size_t i = 0; i < record.pending.size(); ++i) {
    if (!record.pending[i]) continue;
    const auto value = ValueForColumn(columns_[i], *record.pending[i]);
    if (!value) return false;  // SetFieldValue has refused it already
    assignments += (assignments.empty() ? "" : ", ") + Quoted(columns_[i].name) + " = ?";
    values.push_back(*value);
    changed.push_back(static_cast<int>(i));
  }
  std::optional<Row> before, after;
  {
    Transaction transaction(db_.get());
    Statement read = Prepare(db_.get(), "SELECT " + ColumnList() + " FROM " + Quoted(table_) +
                                            " WHERE " + KeyCondition());
    for (size_t k = 0; k < record.key.size(); ++k) {
      Bind(db_.get(), read.get(), static_cast<int>(k + 1), record.key[k]);
    }
    before = StepOne(db_.get(), read.get());
    if (!before) {
      Note("Der Datensatz ist nicht mehr in der Tabelle \"" + table_ +
           "\" vorhanden; es wurde nichts gespeichert.");
      return false;
    }
    // In the same transaction as the write: nobody changes the record in between.
    EnsureUnchanged(record, *before, changed);
    Statement update =
        Prepare(db_.get(), "UPDATE " + Quoted(table_) + " SET " + assignments + " WHERE " +
                               KeyCondition() + " RETURNING " + ColumnList());
    int index = 1;
    for (const LogValue& value : values) Bind(db_.get(), update.get(), index++, value);
    for (const LogValue& key : record.key) Bind(db_.get(), update.get(), index++, key);
    after = StepOne(db_.get(), update.get());
    if (!after) throw SqlFailure{SQLITE_ERROR, "kein Datensatz geändert"};
    after = AsRead(std::move(*after));
    read.reset();
    update.reset();
    transaction.Commit();
  }
  ApplyRow(record, *after);
  for (int column : changed) {
    if ((*before)[column] == (*after)[column]) continue;
    const char affinity = columns_[column].affinity;
    Log("UPDATE", *after,
        {{"FieldName", columns_[column].name},
         {"OldValue", WriteLogValue((*before)[column], affinity)},
         {"NewValue", WriteLogValue((*after)[column], affinity)}});
  }
  return true;
}

Variant DataLayer::Save() {
  const auto record = Current();
  if (!record || !HaveWritableTable(!record->isNew)) return Variant(false);
  const bool anyPending =
      std::any_of(record->pending.begin(), record->pending.end(),
                  [](const std::optional<std::string>& value) { return value.has_value(); });
  if (!record->isNew && !anyPending) return Variant(true);
  try {
    return Variant(record->isNew ? SaveNew(*record) : SaveChanges(*record));
  } catch (const SqlFailure& failure) {
    NoteSqlite("Der Datensatz konnte nicht gespeichert werden", failure.code, failure.message);
    return Variant(false);
  }
}

Variant DataLayer::RemoveRecord(bool really) {
  const auto record = Current();
  if (!record) return Variant(false);
  auto drop = [&] {
    data_->records.erase(data_->records.begin() + (position_ - 1));
    position_ = 0;
  };
  // A record never saved, or a removal from the offline rows only, leaves the table alone.
  if (record->isNew || !really) {
    drop();
    return Variant(true);
  }
  if (!HaveWritableTable(true)) return Variant(false);
  Row row;
  try {
    Transaction transaction(db_.get());
    Statement read = Prepare(db_.get(), "SELECT " + ColumnList() + " FROM " + Quoted(table_) +
                                            " WHERE " + KeyCondition());
    for (size_t k = 0; k < record->key.size(); ++k) {
      Bind(db_.get(), read.get(), static_cast<int>(k + 1), record->key[k]);
    }
    const auto now = StepOne(db_.get(), read.get());
    if (!now) {
      Note("Der Datensatz ist nicht mehr in der Tabelle \"" + table_ +
           "\" vorhanden; es wurde nichts gelöscht.");
      return Variant(false);
    }
    EnsureUnchanged(*record, *now, {});
    read.reset();
    Statement statement = Prepare(db_.get(), "DELETE FROM " + Quoted(table_) + " WHERE " +
                                                 KeyCondition() + " RETURNING " + ColumnList());
    for (size_t k = 0; k < record->key.size(); ++k) {
      Bind(db_.get(), statement.get(), static_cast<int>(k + 1), record->key[k]);
    }
    auto deleted = StepOne(db_.get(), statement.get());
    if (!deleted) throw SqlFailure{SQLITE_ERROR, "kein Datensatz gelöscht"};
    row = AsRead(std::move(*deleted));
    statement.reset();
    transaction.Commit();
  } catch (const SqlFailure& failure) {
    NoteSqlite("Der Datensatz konnte nicht gelöscht werden", failure.code, failure.message);
    return Variant(false);
  }
  drop();
  std::vector<LogField> fields;
  for (size_t i = 0; i < columns_.size(); ++i) {
    fields.push_back(
        {EncodeTagName(columns_[i].name), WriteLogValue(row[i], columns_[i].affinity)});
  }
  Log("DELETE_inDB", row, std::move(fields));
  return Variant(true);
}

Variant DataLayer::AddNew() {
  if (!HaveWritableTable(false)) return Variant(false);
  auto record = std::make_shared<Record>();
  record->values.assign(data_->labels.size(), Variant::Null());
  record->stored.assign(data_->labels.size(), LogValue::Null());
  record->pending.assign(columns_.size(), std::nullopt);
  record->isNew = true;
  data_->records.push_back(std::move(record));
  position_ = static_cast<int32_t>(data_->records.size());
  return Variant(true);
}

bool DataLayer::BeginTransaction() {
  if (!HaveDatabase()) return false;
  if (!sqlite3_get_autocommit(db_.get())) {
    Note("Es ist bereits eine Transaktion offen.");
    return false;
  }
  const int rc = sqlite3_exec(db_.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    NoteSqlite("Die Transaktion konnte nicht begonnen werden", rc, sqlite3_errmsg(db_.get()));
    return false;
  }
  return true;
}

bool DataLayer::CommitTransaction() {
  if (!db_ || sqlite3_get_autocommit(db_.get())) {
    Note("Es ist keine Transaktion offen; nichts wurde gespeichert.");
    return false;
  }
  const int rc = sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    NoteSqlite("Die Transaktion konnte nicht abgeschlossen werden", rc, sqlite3_errmsg(db_.get()));
    RollbackTransaction();
    return false;
  }
  return true;
}

void DataLayer::RollbackTransaction() {
  if (db_ && !sqlite3_get_autocommit(db_.get())) {
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
}

}  // namespace tarvesk
