#include "components/datalayer/Sql.h"

#include <charconv>
#include <cstdio>

#include "automation/Error.h"

namespace tarvesk::sql {

[[noreturn]] void Fail(sqlite3* db, int code) { throw SqlFailure{code, sqlite3_errmsg(db)}; }

[[noreturn]] void Refuse(const std::string& text) { throw Error(kInvalidProcedureCall, text); }

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

Transaction::Transaction(sqlite3* db) : db_(db), nested_(!sqlite3_get_autocommit(db)) {
  Execute(db_, nested_ ? "SAVEPOINT tarvesk_step" : "BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
  if (!open_) return;
  sqlite3_exec(db_, nested_ ? "ROLLBACK TO tarvesk_step; RELEASE tarvesk_step" : "ROLLBACK",
               nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  Execute(db_, nested_ ? "RELEASE tarvesk_step" : "COMMIT");
  open_ = false;
}

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

std::optional<Row> StepOne(sqlite3* db, sqlite3_stmt* statement) {
  std::optional<Row> row;
  for (;;) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) return row;
    if (rc != SQLITE_ROW) Fail(db, rc);
    if (!row) row = ReadRow(statement);
  }
}

std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string Readable(const std::string& name) {
  bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
  for (char c : name) {
    plain = plain && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '_');
  }
  if (plain && !sqlite3_keyword_check(name.data(), static_cast<int>(name.size()))) return name;
  return Quoted(name);
}

namespace {

std::string FormatReal(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

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

}  // namespace tarvesk::sql
