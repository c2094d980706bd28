// The data layer's connection and current record: SetDatabaseByPath opens the session's
// database (refusing what is no database, opening a read-only database in WAL mode as the
// unchanging file it is), the columns of the table the rows come from, the current record
// and its fields (FindRecord, FieldValue, SetFieldValue, CheckFieldValue), and the notes in
// errorstatus, which also go into the session's change log. Reading lives in
// QueryGuard.cpp, writing in Statements.cpp, the SQLite plumbing in Sql.cpp.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "components/datalayer/ChangeLog.h"
#include "components/datalayer/DataLayer.h"
#include "components/datalayer/Sql.h"
#include "service/LogValue.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace tarvesk {

using namespace sql;

namespace {

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

Variant DataLayer::ActualPosition() { return Variant(position_); }

Variant DataLayer::errorstatus() {
  std::string text;
  for (const std::string& error : errors_) {
    if (!text.empty()) text += "\r\n";
    text += error;
  }
  return Variant(text);
}

}  // namespace tarvesk
