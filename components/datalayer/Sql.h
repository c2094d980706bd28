// The SQLite plumbing of the data layer, shared by its parts: statements that finalize
// themselves, preparing, binding and reading them, a transaction that rolls back unless
// committed, names and values as SQL text, and the values a caller sees. A failed call
// throws SqlFailure, which the member that made it notes; a refusal raises error 5.
// Internal to components/datalayer.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <string>

#include "components/datalayer/DataLayer.h"

namespace tarvesk::sql {

// A failed SQLite call inside one member; the member notes it and ends.
struct SqlFailure {
  int code;
  std::string message;
};

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

[[noreturn]] void Fail(sqlite3* db, int code);
// Raises error 5 with text: what keeps a caller from writing what it did not see.
[[noreturn]] void Refuse(const std::string& text);
Statement Prepare(sqlite3* db, const std::string& sql);
void Execute(sqlite3* db, const char* sql);

// BEGIN IMMEDIATE takes the write lock at once (waiting out a busy database), so a Save or
// a removal either writes all of its statements or, rolled back, none. Inside a host's
// transaction (BeginTransaction) it is a savepoint, and the host's commit decides.
class Transaction {
 public:
  explicit Transaction(sqlite3* db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  sqlite3* db_;
  bool nested_;
  bool open_ = true;
};

LogValue ReadStored(sqlite3_stmt* statement, int index);
Row ReadRow(sqlite3_stmt* statement);
// The Variant a caller sees: Long (LongLong beyond 32 bits), Double, String, Null; a BLOB
// as its bytes in a String.
Variant ToVariant(const LogValue& value);
void Bind(sqlite3* db, sqlite3_stmt* statement, int index, const LogValue& value);
// Steps a statement that yields at most one row (RETURNING of a single-record write, or a
// lookup by key) to its end; the row, or nothing.
std::optional<Row> StepOne(sqlite3* db, sqlite3_stmt* statement);

// SQL text for a name: always quoted, so that no name is read as a keyword.
std::string Quoted(const std::string& name);
// The same for the query strings of the log, which people read: quoted only when needed.
std::string Readable(const std::string& name);
// A key value as the opening line of a logged action shows it.
std::string RecordIdText(const LogValue& value);
std::string SqlLiteral(const LogValue& value);
// The value SetFieldValue's text stands for in a column (see DataLayer.h); nullopt when it
// does not convert to the column's type.
std::optional<LogValue> ValueForColumn(const DataLayer::Column& column, const std::string& text);
// Names compared as SQLite compares them (ASCII letters case-insensitively).
bool SameName(const std::string& a, const std::string& b);

}  // namespace tarvesk::sql
