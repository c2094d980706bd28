// The data layer's reading side: GetRecordset runs one query from outside under a guard
// and within bounds, and loads its rows into the offline record set that
// GetOfflineRecordset hands out. The guard (SQLite's authorizer) lets only a read-only
// SELECT through; the bounds (the connection's limits and a progress handler) cap the steps,
// the loaded bytes and the lengths a query may cost, and MaxRecords the number of its rows.
// What passes tells which single table, if any, later writes go to.
#include <sqlite3.h>

#include <cctype>
#include <set>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "components/datalayer/DataLayer.h"
#include "components/datalayer/Sql.h"

namespace tarvesk {

using namespace sql;

namespace {

// What a query from outside may cost before anything is shown: the steps of SQLite's
// machine (counted by the progress handler), the loaded bytes, and the limits below, set
// on the connection while the query is prepared and run.
constexpr int kProgressInterval = 1000;  // machine steps per progress call
constexpr int kProgressCalls = 20000;    // so 20 million steps in all
constexpr size_t kMaxLoadedBytes = 64 << 20;
constexpr std::pair<int, int> kQueryLimits[] = {
    {SQLITE_LIMIT_LENGTH, 16 << 20},    {SQLITE_LIMIT_SQL_LENGTH, 100000},
    {SQLITE_LIMIT_COLUMN, 1000},        {SQLITE_LIMIT_EXPR_DEPTH, 100},
    {SQLITE_LIMIT_COMPOUND_SELECT, 20}, {SQLITE_LIMIT_VDBE_OP, 50000},
    {SQLITE_LIMIT_FUNCTION_ARG, 32},    {SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 1000},
};

// Puts the limits on a connection for its life and the former ones back at its end.
class QueryBounds {
 public:
  explicit QueryBounds(sqlite3* db) : db_(db) {
    for (size_t i = 0; i < std::size(kQueryLimits); ++i) {
      saved_[i] = sqlite3_limit(db_, kQueryLimits[i].first, kQueryLimits[i].second);
    }
    sqlite3_progress_handler(db_, kProgressInterval, &QueryBounds::Progress, this);
  }
  ~QueryBounds() {
    sqlite3_progress_handler(db_, 0, nullptr, nullptr);
    for (size_t i = 0; i < std::size(kQueryLimits); ++i) {
      sqlite3_limit(db_, kQueryLimits[i].first, saved_[i]);
    }
  }
  QueryBounds(const QueryBounds&) = delete;
  QueryBounds& operator=(const QueryBounds&) = delete;
  bool Exhausted() const { return calls_ > kProgressCalls; }

 private:
  static int Progress(void* self) {
    return ++static_cast<QueryBounds*>(self)->calls_ > kProgressCalls;
  }

  sqlite3* db_;
  int saved_[std::size(kQueryLimits)] = {};
  int calls_ = 0;
};

size_t RowBytes(const Row& row) {
  size_t bytes = 0;
  for (const LogValue& value : row) bytes += value.bytes.size() + sizeof(LogValue);
  return bytes;
}

// Watches the compilation of a query: only reading a table, calling a function and the
// SELECT itself pass; anything else (writing, PRAGMA, ATTACH, transactions) is denied.
struct QueryGuard {
  std::set<std::string> tables;
  bool select = false;
  bool denied = false;
  bool recursive = false;

  static int Authorize(void* self, int action, const char* first, const char*, const char*,
                       const char*) {
    auto& guard = *static_cast<QueryGuard*>(self);
    switch (action) {
      case SQLITE_SELECT:
        guard.select = true;
        return SQLITE_OK;
      case SQLITE_READ:
        if (first) guard.tables.insert(first);
        return SQLITE_OK;
      case SQLITE_FUNCTION:
        return SQLITE_OK;
      case SQLITE_RECURSIVE:
        guard.recursive = true;
        return SQLITE_DENY;
      default:
        guard.denied = true;
        return SQLITE_DENY;
    }
  }
};

bool OnlyBlanks(const char* text) {
  for (; *text; ++text) {
    if (!std::isspace(static_cast<unsigned char>(*text))) return false;
  }
  return true;
}

// The record-set objects handed to callers: views of the data layer's rows that stay
// valid as long as the caller holds them.
class OfflineField : public IDataField {
 public:
  OfflineField(std::string label, Variant value)
      : label_(std::move(label)), value_(std::move(value)) {}
  Variant Description() override { return Variant(label_); }
  Variant Anything() override { return value_; }

 private:
  std::string label_;
  Variant value_;
};

class OfflineRecord : public IDataRecord {
 public:
  OfflineRecord(std::shared_ptr<DataLayer::RecordData> data,
                std::shared_ptr<DataLayer::Record> record)
      : data_(std::move(data)), record_(std::move(record)) {}
  int32_t FieldCount() override { return static_cast<int32_t>(data_->labels.size()); }
  std::shared_ptr<IDataField> Fields(int32_t index) override {
    if (index < 1 || index > FieldCount()) throw Error(kSubscriptOutOfRange);
    const auto i = static_cast<size_t>(index - 1);
    return std::make_shared<OfflineField>(data_->labels[i], record_->values[i]);
  }

 private:
  std::shared_ptr<DataLayer::RecordData> data_;
  std::shared_ptr<DataLayer::Record> record_;
};

class OfflineRecordset : public IRecordset {
 public:
  explicit OfflineRecordset(std::shared_ptr<DataLayer::RecordData> data) : data_(std::move(data)) {}
  std::shared_ptr<IDataRecord> Records(const Variant& position) override {
    int64_t index = 0;
    switch (position.GetType()) {
      case Variant::Type::Long:
        index = position.AsLong();
        break;
      case Variant::Type::LongLong:
        index = position.AsLongLong();
        break;
      case Variant::Type::Double:
        index = CLng(position.AsDouble());
        break;
      case Variant::Type::String:
        index = CLng(Val(position.AsString()));
        break;
      default:
        throw Error(kTypeMismatch);
    }
    if (index < 1 || static_cast<size_t>(index) > data_->records.size()) {
      throw Error(kSubscriptOutOfRange);
    }
    return std::make_shared<OfflineRecord>(data_, data_->records[static_cast<size_t>(index - 1)]);
  }

 private:
  std::shared_ptr<DataLayer::RecordData> data_;
};

}  // namespace

Variant DataLayer::GetRecordset(std::string& query) {
  ResetRecordset();
  if (!HaveDatabase()) return Variant(false);
  silent_ = false;
  // A long query is shown by its start only.
  const std::string shown =
      "Die Abfrage \"" +
      (CharCount(query) > 300 ? std::string(CharSubstr(query, 0, 300)) + "..." : query) +
      "\" wurde abgelehnt: ";
  auto refuse = [&](const std::string& why) {
    ResetRecordset();
    silent_ = true;
    Refuse(shown + why);
  };
  QueryBounds bounds(db_.get());
  QueryGuard guard;
  sqlite3_stmt* raw = nullptr;
  const char* rest = nullptr;
  sqlite3_set_authorizer(db_.get(), &QueryGuard::Authorize, &guard);
  const int rc =
      sqlite3_prepare_v2(db_.get(), query.c_str(), static_cast<int>(query.size()), &raw, &rest);
  sqlite3_set_authorizer(db_.get(), nullptr, nullptr);
  Statement statement(raw);

  if (guard.recursive) refuse("rekursive Abfragen sind nicht erlaubt.");
  if (guard.denied) refuse("erlaubt ist nur eine lesende SELECT-Abfrage.");
  if ((rc & 0xFF) == SQLITE_TOOBIG) refuse("sie ist zu lang.");
  if (rc != SQLITE_OK) {
    // A query that does not compile (a table gone since the log was written) is a failure
    // of the database, not a refusal: it is noted as before.
    Note(shown + "Fehler in der Abfrage (" + sqlite3_errmsg(db_.get()) + ").");
    silent_ = true;
    return Variant(false);
  }
  if (!statement) refuse("sie ist leer.");
  if (rest && !OnlyBlanks(rest)) refuse("nach der ersten Anweisung folgt weiterer Text.");
  if (!guard.select || !sqlite3_stmt_readonly(statement.get()) ||
      sqlite3_stmt_isexplain(statement.get()) || sqlite3_column_count(statement.get()) == 0) {
    refuse("erlaubt ist nur eine lesende SELECT-Abfrage.");
  }
  if (sqlite3_bind_parameter_count(statement.get()) > 0) refuse("sie enthält Parameter.");

  auto data = std::make_shared<RecordData>();
  const int columnCount = sqlite3_column_count(statement.get());
  for (int i = 0; i < columnCount; ++i) {
    data->labels.emplace_back(sqlite3_column_name(statement.get(), i));
  }
  std::vector<Row> rows;
  size_t loadedBytes = 0;
  try {
    for (;;) {
      const int step = sqlite3_step(statement.get());
      if (step == SQLITE_DONE) break;
      if (step == SQLITE_INTERRUPT && bounds.Exhausted()) {
        refuse("sie braucht mehr Rechenschritte, als einer Abfrage zustehen.");
      }
      if ((step & 0xFF) == SQLITE_TOOBIG) refuse("sie liefert einen zu langen Wert.");
      if (step != SQLITE_ROW) Fail(db_.get(), step);
      if (maxRecords_ > 0 && rows.size() == static_cast<size_t>(maxRecords_)) {
        refuse(maxRecords_ == 1
                   ? std::string("sie liefert mehr als einen Datensatz.")
                   : "sie liefert mehr als " + std::to_string(maxRecords_) + " Datensätze.");
      }
      rows.push_back(ReadRow(statement.get()));
      loadedBytes += RowBytes(rows.back());
      if (loadedBytes > kMaxLoadedBytes) refuse("sie liefert zu viele Daten.");
    }
    if (guard.tables.size() == 1) {
      table_ = *guard.tables.begin();
      LoadColumns();
    }
  } catch (const SqlFailure& failure) {
    ResetRecordset();
    NoteSqlite("Die Abfrage \"" + query + "\" konnte nicht gelesen werden", failure.code,
               failure.message);
    silent_ = true;
    return Variant(false);
  }
  // Which labels show a column of the table as it stands (not an alias, not an expression).
  labelColumns_.assign(columnCount, -1);
  for (int i = 0; i < columnCount && !table_.empty(); ++i) {
    const char* table = sqlite3_column_table_name(statement.get(), i);
    const char* origin = sqlite3_column_origin_name(statement.get(), i);
    const char* schema = sqlite3_column_database_name(statement.get(), i);
    if (!table || !origin || !schema || std::string(schema) != "main" || !SameName(table, table_) ||
        !SameName(origin, data->labels[i])) {
      continue;
    }
    labelColumns_[i] = ColumnIndex(origin);
  }
  for (Row& row : rows) {
    auto record = std::make_shared<Record>();
    for (const LogValue& value : row) record->values.push_back(ToVariant(value));
    record->stored = std::move(row);
    data->records.push_back(std::move(record));
  }
  data_ = std::move(data);
  for (const auto& record : data_->records) {
    for (int column : keyColumns_) {
      const int label = LabelIndex(columns_[column].name);
      record->key.push_back(label >= 0 ? record->stored[label] : LogValue::Null());
    }
  }
  position_ = data_->records.empty() ? 0 : 1;
  return Variant(true);
}

void DataLayer::SetMaxRecords(int32_t count) { maxRecords_ = count < 0 ? 0 : count; }

std::shared_ptr<IRecordset> DataLayer::GetOfflineRecordset() {
  return std::make_shared<OfflineRecordset>(data_);
}

}  // namespace tarvesk
