#include "components/datalayer/DataLayer.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "components/datalayer/ChangeLog.h"
#include "service/LogValue.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace tarvesk {
namespace {

// A failed SQLite call inside one member; the member notes it and ends.
struct SqlFailure {
  int code;
  std::string message;
};

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

[[noreturn]] void Fail(sqlite3* db, int code) { throw SqlFailure{code, sqlite3_errmsg(db)}; }

Statement Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
  Statement statement(raw);
  if (rc != SQLITE_OK) Fail(db, rc);
  return statement;
}

void Execute(sqlite3* db, const char* sql) {
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(db, rc);
}

// BEGIN IMMEDIATE takes the write lock at once (waiting out a busy database), so a Save or
// a removal either writes all of its statements or, rolled back, none. Inside a host's
// transaction (BeginTransaction) it is a savepoint, and the host's commit decides.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db), nested_(!sqlite3_get_autocommit(db)) {
    Execute(db_, nested_ ? "SAVEPOINT tarvesk_step" : "BEGIN IMMEDIATE");
  }
  ~Transaction() {
    if (!open_) return;
    sqlite3_exec(db_, nested_ ? "ROLLBACK TO tarvesk_step; RELEASE tarvesk_step" : "ROLLBACK",
                 nullptr, nullptr, nullptr);
  }
  void Commit() {
    Execute(db_, nested_ ? "RELEASE tarvesk_step" : "COMMIT");
    open_ = false;
  }

 private:
  sqlite3* db_;
  bool nested_;
  bool open_ = true;
};

LogValue ReadStored(sqlite3_stmt* statement, int index) {
  switch (sqlite3_column_type(statement, index)) {
    case SQLITE_INTEGER:
      return LogValue::Integer(sqlite3_column_int64(statement, index));
    case SQLITE_FLOAT:
      return LogValue::Real(sqlite3_column_double(statement, index));
    case SQLITE_NULL:
      return LogValue::Null();
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, index));
      return LogValue::Blob(
          std::string(bytes ? bytes : "", sqlite3_column_bytes(statement, index)));
    }
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
      return LogValue::Text(std::string(text ? text : "", sqlite3_column_bytes(statement, index)));
    }
  }
}

Row ReadRow(sqlite3_stmt* statement) {
  Row row;
  const int count = sqlite3_column_count(statement);
  row.reserve(count);
  for (int i = 0; i < count; ++i) row.push_back(ReadStored(statement, i));
  return row;
}

// The Variant a caller sees: Long (LongLong beyond 32 bits), Double, String, Null; a BLOB
// as its bytes in a String.
Variant ToVariant(const LogValue& value) {
  switch (value.kind) {
    case LogValue::Kind::Integer:
      if (value.integer >= INT32_MIN && value.integer <= INT32_MAX) {
        return Variant(static_cast<int32_t>(value.integer));
      }
      return Variant(static_cast<int64_t>(value.integer));
    case LogValue::Kind::Real:
      return Variant(value.real);
    case LogValue::Kind::Text:
    case LogValue::Kind::Blob:
      return Variant(value.bytes);
    case LogValue::Kind::Null:
      break;
  }
  return Variant::Null();
}

void Bind(sqlite3* db, sqlite3_stmt* statement, int index, const LogValue& value) {
  int rc = SQLITE_OK;
  const int size = static_cast<int>(value.bytes.size());
  switch (value.kind) {
    case LogValue::Kind::Null:
      rc = sqlite3_bind_null(statement, index);
      break;
    case LogValue::Kind::Integer:
      rc = sqlite3_bind_int64(statement, index, value.integer);
      break;
    case LogValue::Kind::Real:
      rc = sqlite3_bind_double(statement, index, value.real);
      break;
    case LogValue::Kind::Text:
      rc = sqlite3_bind_text(statement, index, value.bytes.data(), size, SQLITE_TRANSIENT);
      break;
    case LogValue::Kind::Blob:
      rc = sqlite3_bind_blob(statement, index, value.bytes.data(), size, SQLITE_TRANSIENT);
      break;
  }
  if (rc != SQLITE_OK) Fail(db, rc);
}

// Steps a statement that yields at most one row (RETURNING of a single-record write, or a
// lookup by key) to its end; the row, or nothing.
std::optional<Row> StepOne(sqlite3* db, sqlite3_stmt* statement) {
  std::optional<Row> row;
  for (;;) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) return row;
    if (rc != SQLITE_ROW) Fail(db, rc);
    if (!row) row = ReadRow(statement);
  }
}

// SQL text for a name: always quoted, so that no name is read as a keyword.
std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// The same for the query strings of the log, which people read: quoted only when needed.
std::string Readable(const std::string& name) {
  bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
  for (char c : name) {
    plain = plain && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '_');
  }
  if (plain && !sqlite3_keyword_check(name.data(), static_cast<int>(name.size()))) return name;
  return Quoted(name);
}

std::string FormatReal(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// A key value as the opening line of a logged action shows it.
std::string RecordIdText(const LogValue& value) {
  switch (value.kind) {
    case LogValue::Kind::Integer:
      return std::to_string(value.integer);
    case LogValue::Kind::Real:
      return FormatReal(value.real);
    case LogValue::Kind::Text:
      return value.bytes;
    default:
      return "";
  }
}

std::string SqlLiteral(const LogValue& value) {
  switch (value.kind) {
    case LogValue::Kind::Null:
      return "NULL";
    case LogValue::Kind::Text: {
      std::string out = "'";
      for (char c : value.bytes) {
        out += c;
        if (c == '\'') out += '\'';
      }
      return out + "'";
    }
    case LogValue::Kind::Blob: {
      std::string out = "X'";
      char hex[3];
      for (char c : value.bytes) {
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(c));
        out += hex;
      }
      return out + "'";
    }
    default:
      return RecordIdText(value);
  }
}

// The value SetFieldValue's text stands for in a column (see the header); nullopt when it
// does not convert to the column's type.
std::optional<LogValue> ValueForColumn(const DataLayer::Column& column, const std::string& text) {
  auto value = ReadLogValue(text, column.affinity);
  if (value && value->kind == LogValue::Kind::Null && text.empty() && column.notNull) {
    return LogValue::Text("");
  }
  return value;
}

bool SameName(const std::string& a, const std::string& b) {
  return sqlite3_stricmp(a.c_str(), b.c_str()) == 0;
}

bool HoldsNumber(const Variant& value, int32_t number) {
  switch (value.GetType()) {
    case Variant::Type::Long:
      return value.AsLong() == number;
    case Variant::Type::LongLong:
      return value.AsLongLong() == number;
    case Variant::Type::Double:
      return value.AsDouble() == number;
    case Variant::Type::String:
      return value.AsString() == std::to_string(number);
    default:
      return false;
  }
}

std::string EnvironmentValue(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (const char* value = std::getenv(name); value && *value) return value;
  }
  return "";
}

std::string ComputerName() {
#ifdef _WIN32
  return EnvironmentValue({"COMPUTERNAME"});
#else
  char buffer[256] = {};
  if (gethostname(buffer, sizeof buffer - 1) == 0) return buffer;
  return EnvironmentValue({"HOSTNAME"});
#endif
}

std::string UserName() {
  std::string name = EnvironmentValue({"USER", "USERNAME", "LOGNAME"});
#ifndef _WIN32
  if (name.empty()) {
    if (const passwd* entry = getpwuid(geteuid())) name = entry->pw_name;
  }
#endif
  return name;
}

std::string ProgramName() {
  std::ifstream comm("/proc/self/comm");
  std::string name;
  if (comm && std::getline(comm, name) && !name.empty()) return name;
  return "TarveskDataLayer";
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  const auto absolute =
      std::filesystem::absolute(std::filesystem::path(std::u8string(path.begin(), path.end())), ec);
  if (ec) return path;
  const std::u8string text = absolute.lexically_normal().u8string();
  return std::string(text.begin(), text.end());
}

std::filesystem::path ToPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The header of a database file says WAL mode by its read and write versions (2 and 2).
bool InWalMode(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  char header[20] = {};
  return in.read(header, sizeof header) && header[18] == 2 && header[19] == 2;
}

// A file: URI that opens path as immutable: no locks, no -wal or -shm files.
std::string ImmutableUri(const std::string& path) {
  std::string uri = "file://";
  if (path.empty() || (path[0] != '/' && path[0] != '\\')) uri += '/';
  static const char kHex[] = "0123456789ABCDEF";
  for (char c : path) {
    const auto b = static_cast<unsigned char>(c);
    if (std::isalnum(b) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~' || c == ':') {
      uri += c;
    } else if (c == '\\') {
      uri += '/';
    } else {
      uri += '%';
      uri += kHex[b >> 4];
      uri += kHex[b & 15];
    }
  }
  return uri + "?immutable=1";
}

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

[[noreturn]] void Refuse(const std::string& text) { throw Error(kInvalidProcedureCall, text); }

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

void DataLayer::DbCloser::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

DataLayer::DataLayer() : sessionTime_(LocalNow()) {}

DataLayer::~DataLayer() = default;

std::string DataLayer::LogFilePath() const { return log_ ? log_->Path() : ""; }

void DataLayer::Note(const std::string& text) {
  errors_.push_back(text);
  const std::string folder = logFolder_ ? *logFolder_ : DefaultLogFolder();
  if (folder.empty() || logFailed_) return;
  try {
    if (!log_) log_ = std::make_unique<ChangeLogWriter>(folder, Session());
    log_->SetErrors(errorstatus().AsString(), static_cast<int32_t>(errors_.size()));
  } catch (const Error&) {
    // The log is a record of the work, not the work: its failure is noted once (below)
    // or left unrecorded here, where noting it would end in this same place.
    logFailed_ = true;
  }
}

void DataLayer::NoteSqlite(const std::string& what, int code, const std::string& message) {
  std::string reason;
  switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      reason = "Die Datenbank ist gesperrt";
      break;
    case SQLITE_READONLY:
      reason = "Die Datenbank ist schreibgeschützt";
      break;
    case SQLITE_CONSTRAINT:
      reason = "Eine Bedingung der Datenbank wurde verletzt";
      break;
    case SQLITE_FULL:
      reason = "Der Datenträger ist voll";
      break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      reason = "Die Datei ist keine gültige Datenbank";
      break;
    default:
      reason = "Datenbankfehler";
      break;
  }
  Note(what + ": " + reason + " (" + message + ").");
}

LogSession DataLayer::Session() const {
  return LogSession{databasePath_, sessionTime_, UserName(), ComputerName(),
                    application_.empty() ? ProgramName() : application_};
}

bool DataLayer::HaveDatabase() {
  if (db_) return true;
  if (!silent_) Note("Es ist keine Datenbank geöffnet.");
  silent_ = true;
  return false;
}

bool DataLayer::HaveWritableTable(bool needKey) {
  if (!HaveDatabase()) return false;
  if (silent_) return false;
  if (table_.empty()) {
    Note(
        "Die geladenen Datensätze stammen nicht aus genau einer Tabelle; es kann nichts "
        "geschrieben werden.");
    return false;
  }
  if (keyColumns_.empty()) {
    Note("Die Tabelle \"" + table_ +
         "\" hat keinen Primärschlüssel; es kann nichts geschrieben "
         "werden.");
    return false;
  }
  if (needKey) {
    for (int column : keyColumns_) {
      if (LabelIndex(columns_[column].name) < 0) {
        Note("Der Schlüssel \"" + columns_[column].name +
             "\" fehlt in den geladenen Datensätzen; es kann nichts geschrieben werden.");
        return false;
      }
    }
  }
  return true;
}

std::shared_ptr<DataLayer::Record> DataLayer::Current() {
  if (position_ >= 1 && static_cast<size_t>(position_) <= data_->records.size()) {
    return data_->records[static_cast<size_t>(position_ - 1)];
  }
  if (db_ && !silent_) Note("Es gibt keinen aktuellen Datensatz.");
  return nullptr;
}

int DataLayer::LabelIndex(const std::string& name) const {
  for (size_t i = 0; i < data_->labels.size(); ++i) {
    if (SameName(data_->labels[i], name)) return static_cast<int>(i);
  }
  return -1;
}

int DataLayer::ColumnIndex(const std::string& name) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (SameName(columns_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

int DataLayer::ColumnOfField(const std::string& fieldName) const {
  // A field name read from a log may be the escaped tag name of its column.
  const int direct = ColumnIndex(fieldName);
  return direct >= 0 ? direct : ColumnIndex(DecodeTagName(fieldName));
}

void DataLayer::ResetRecordset() {
  table_.clear();
  columns_.clear();
  keyColumns_.clear();
  labelColumns_.clear();
  data_ = std::make_shared<RecordData>();
  position_ = 0;
}

void DataLayer::SetDatabaseByPath(const std::string& path) {
  db_.reset();
  ResetRecordset();
  log_.reset();
  logFailed_ = false;
  silent_ = false;
  sessionTime_ = LocalNow();
  databasePath_ = path.empty() ? path : AbsolutePath(path);

  auto refuse = [&](const std::string& text) {
    db_.reset();
    Note(text);
    silent_ = true;
  };
  const std::filesystem::path file(std::u8string(path.begin(), path.end()));
  std::error_code ec;
  if (path.empty()) return refuse("Es wurde kein Datenbankpfad angegeben.");
  // SQLite would end the name at a NUL and open another file.
  if (std::any_of(path.begin(), path.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
    return refuse("Der Datenbankpfad enthält Steuerzeichen.");
  }
  if (!std::filesystem::exists(file, ec)) {
    return refuse("Die Datenbank \"" + path + "\" wurde nicht gefunden.");
  }
  if (!std::filesystem::is_regular_file(file, ec)) {
    return refuse("\"" + path + "\" ist keine Datenbankdatei.");
  }
  // A file without write permission stays unwritten, as on Windows, also for a user whom
  // the system would let write it anyway.
  const auto permissions = std::filesystem::status(file, ec).permissions();
  const bool readOnly =
      (permissions & (std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                      std::filesystem::perms::others_write)) == std::filesystem::perms::none;
  // Reading a read-only database in WAL mode would leave -wal and -shm files behind. With
  // no -wal file there is nothing in a log to read and nobody can write the file: it is
  // opened as the unchanging file it is.
  const bool unchanging =
      readOnly && InWalMode(file) && !std::filesystem::exists(ToPath(path + "-wal"), ec);
  sqlite3* raw = nullptr;
  const int rc = unchanging ? sqlite3_open_v2(ImmutableUri(path).c_str(), &raw,
                                              SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr)
                            : sqlite3_open_v2(
                                  path.c_str(), &raw,
                                  readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    return refuse("Die Datenbank \"" + path + "\" konnte nicht geöffnet werden (" +
                  (raw ? sqlite3_errmsg(raw) : "kein Speicher") + ").");
  }
  sqlite3_busy_timeout(db_.get(), busyTimeoutMs_);
  sqlite3_extended_result_codes(db_.get(), 1);
  // Reading the schema tells a database from other files and finds a locked one.
  const int check =
      sqlite3_exec(db_.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  switch (check & 0xFF) {
    case SQLITE_OK:
      return;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return refuse("Die Datei \"" + path + "\" ist keine Datenbank.");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return refuse("Die Datenbank \"" + path + "\" ist gesperrt.");
    default:
      return refuse("Die Datenbank \"" + path + "\" konnte nicht gelesen werden (" +
                    sqlite3_errmsg(db_.get()) + ").");
  }
}

bool DataLayer::LoadColumns() {
  Statement statement =
      Prepare(db_.get(), "SELECT name, type, \"notnull\", pk FROM pragma_table_info(?1)");
  Bind(db_.get(), statement.get(), 1, LogValue::Text(table_));
  std::vector<std::pair<int64_t, int>> keys;  // key order, column index
  for (;;) {
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) Fail(db_.get(), rc);
    const Row row = ReadRow(statement.get());
    Column column{row[0].bytes, AffinityOfType(row[1].bytes), row[2].integer != 0,
                  static_cast<int>(row[3].integer)};
    if (column.keyOrder > 0) keys.emplace_back(column.keyOrder, static_cast<int>(columns_.size()));
    columns_.push_back(std::move(column));
  }
  std::sort(keys.begin(), keys.end());
  for (const auto& key : keys) keyColumns_.push_back(key.second);
  return !columns_.empty();
}

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

Variant DataLayer::FindRecord(const std::string& fieldName, int32_t& value) {
  if (!db_ || silent_) return Variant(false);
  const int label = LabelIndex(fieldName);
  if (label < 0) {
    Note("Das Feld \"" + fieldName + "\" ist nicht in den geladenen Datensätzen enthalten.");
    return Variant(false);
  }
  for (size_t i = 0; i < data_->records.size(); ++i) {
    if (HoldsNumber(data_->records[i]->values[label], value)) {
      position_ = static_cast<int32_t>(i + 1);
      return Variant(true);
    }
  }
  return Variant(false);
}

Variant DataLayer::FieldValue(const std::string& fieldName) {
  const auto record = Current();
  if (!record) return Variant::Null();
  int label = LabelIndex(fieldName);
  if (label < 0) label = LabelIndex(DecodeTagName(fieldName));
  if (label < 0) {
    Note("Das Feld \"" + fieldName + "\" ist nicht in den geladenen Datensätzen enthalten.");
    return Variant::Null();
  }
  return record->values[label];
}

Variant DataLayer::SetFieldValue(const std::string& fieldName, const std::string& value) {
  const auto record = Current();
  if (!record || !HaveWritableTable(!record->isNew)) return Variant(false);
  const int column = ColumnOfField(fieldName);
  if (column < 0) {
    Note("Das Feld \"" + fieldName + "\" ist keine Spalte der Tabelle \"" + table_ + "\".");
    return Variant(false);
  }
  const auto stored = ValueForColumn(columns_[column], value);
  if (!stored) {
    Note("Der Wert \"" + ShowLogValue(value) + "\" passt nicht in die Spalte \"" +
         columns_[column].name + "\" der Tabelle \"" + table_ + "\".");
    return Variant(false);
  }
  record->pending.resize(columns_.size());
  record->pending[column] = value;
  // The offline record shows the new value at once, as it will be stored.
  const int label = LabelIndex(columns_[column].name);
  if (label >= 0) record->values[label] = ToVariant(*stored);
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

Variant DataLayer::ActualPosition() { return Variant(position_); }

std::shared_ptr<IRecordset> DataLayer::GetOfflineRecordset() {
  return std::make_shared<OfflineRecordset>(data_);
}

Variant DataLayer::errorstatus() {
  std::string text;
  for (const std::string& error : errors_) {
    if (!text.empty()) text += "\r\n";
    text += error;
  }
  return Variant(text);
}

}  // namespace tarvesk
