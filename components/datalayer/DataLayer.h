// The reference data layer, TarveskDataLayer.DataLayer, over SQLite. One object serves one
// session: it is pointed at an existing database, loads the rows of one read-only SELECT
// into an offline record set, keeps a current record, writes changes of that record back
// to the one table the rows come from, and writes a change log of what it wrote.
//
// Owns its database connection, its offline record set (shared with the record-set
// objects it hands out) and its change-log writer. Created through a component registry
// (RegisterReferenceComponents) or directly by a host; used on its creator's thread.
//
// What callers rely on:
// - Failures are noted in errorstatus (German text, one line per failure) rather than
//   raised. After SetDatabaseByPath failed (a missing path, a path with control
//   characters, no database, a locked database) the later calls find nothing and write
//   nothing, and note nothing further.
// - Refusals that keep a caller from writing what it did not see raise error 5 with a
//   German text instead: a query GetRecordset refuses, a field or value CheckFieldValue
//   refuses, and a Save or RemoveRecord of a record that another program has changed since
//   it was loaded. Records and Fields of the record set raise error 9 for a bad index.
// - GetRecordset accepts exactly one SELECT that reads and writes nothing else and is no
//   recursive query; it may cost only a fixed number of steps, values and the SQL text have
//   length limits, and with MaxRecords set it stops at the record after the last allowed
//   one. Writes go to the single table the SELECT reads; a table needs a primary key to be
//   written to, and its key must be among the loaded columns.
// - Field names are matched against the columns, case-insensitively as SQLite does, and
//   are never spliced into SQL; values are bound as parameters.
// - SetFieldValue takes text in the form the change log writes values (LogValue.h): empty
//   text writes NULL into a column that allows NULL; numbers, with a decimal point or a
//   decimal comma, are numbers in INTEGER, REAL and NUMERIC columns; text that is no
//   number is refused for INTEGER and REAL columns. The log writes every value so that
//   this reading gives it back exactly.
// - Save and RemoveRecord each run as one transaction, in which the record is first
//   compared with the values it was loaded with (the changed fields for Save, all loaded
//   fields for RemoveRecord). A busy database is waited for (3 seconds unless
//   SetBusyTimeout says otherwise), then the failure is noted.
// - Values come back as Variants of their SQLite type: Long (or LongLong beyond 32 bits),
//   Double, String, or Null. A BLOB comes back as its bytes in a String.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "components/datalayer/ChangeLog.h"
#include "service/Components.h"
#include "service/LogValue.h"

struct sqlite3;

namespace tarvesk {

using Row = std::vector<LogValue>;

class DataLayer : public IDataLayer {
 public:
  DataLayer();
  ~DataLayer() override;
  DataLayer(const DataLayer&) = delete;
  DataLayer& operator=(const DataLayer&) = delete;

  void SetDatabaseByPath(const std::string& path) override;
  Variant GetRecordset(std::string& query) override;
  Variant FindRecord(const std::string& fieldName, int32_t& value) override;
  Variant FieldValue(const std::string& fieldName) override;
  Variant SetFieldValue(const std::string& fieldName, const std::string& value) override;
  Variant Save() override;
  Variant RemoveRecord(bool really) override;
  Variant AddNew() override;
  Variant ActualPosition() override;
  std::shared_ptr<IRecordset> GetOfflineRecordset() override;
  Variant errorstatus() override;
  void SetMaxRecords(int32_t count) override;
  Variant CheckFieldValue(const std::string& fieldName, const std::string& value) override;

  // Host settings. A log folder set here wins over DefaultLogFolder(); "" turns the log
  // off. Both take effect for the next session (the next SetDatabaseByPath).
  void SetLogFolder(const std::string& folder) { logFolder_ = folder; }
  void SetApplicationName(const std::string& name) { application_ = name; }
  void SetBusyTimeout(int milliseconds) { busyTimeoutMs_ = milliseconds; }
  // A host's transaction around several Saves and removals, all kept or none: Begin takes
  // the write lock (BEGIN IMMEDIATE); each write inside it is a savepoint and is logged as
  // it is made, so a host that rolls back removes the session's log itself. Failures are
  // noted; Rollback without an open transaction does nothing.
  bool BeginTransaction();
  bool CommitTransaction();
  void RollbackTransaction();
  // The log file of the current session; "" while nothing was logged.
  std::string LogFilePath() const;

  struct Column {
    std::string name;
    char affinity;  // 'I'nteger, 'R'eal, 'N'umeric, 'T'ext, 'B'lob (none)
    bool notNull;
    int keyOrder;  // 1-based position in the primary key, 0 when not part of it
  };
  struct Record {
    std::vector<Variant> values;                      // one per label, as shown
    std::vector<LogValue> stored;                     // one per label, as last read
    std::vector<LogValue> key;                        // the key as last read from the table
    std::vector<std::optional<std::string>> pending;  // per table column: set, not saved
    bool isNew = false;
  };
  struct RecordData {
    std::vector<std::string> labels;
    std::vector<std::shared_ptr<Record>> records;
  };

 private:
  struct DbCloser {
    void operator()(sqlite3* db) const;
  };

  void Note(const std::string& text);
  void NoteSqlite(const std::string& what, int code, const std::string& message);
  LogSession Session() const;
  // False, and a note when nothing has explained it yet, while no database is open.
  bool HaveDatabase();
  // False (with a note) unless rows were loaded from one table that can be written to;
  // needKey asks that the table's key be among the loaded columns too.
  bool HaveWritableTable(bool needKey);
  std::shared_ptr<Record> Current();               // nullptr (noted) when there is none
  int LabelIndex(const std::string& name) const;   // -1 when no label has that name
  int ColumnIndex(const std::string& name) const;  // -1 when the table has no such column
  int ColumnOfField(const std::string& fieldName) const;
  int IdColumn() const;  // the column "ID", else the first key column; -1 when neither
  Row AsRead(Row row) const;
  std::string ColumnList() const;
  std::string KeyCondition() const;
  void ResetRecordset();
  bool LoadColumns();
  // The label that shows column unchanged (a plain column of the table under its own
  // name); -1 when none does.
  int PlainLabel(int column) const;
  // Raises error 5 unless the table row still holds the values record was loaded with
  // (of the given columns, or of every plain label when columns is empty).
  void EnsureUnchanged(const Record& record, const Row& now, const std::vector<int>& columns);
  void ApplyRow(Record& record, const Row& row);
  void Log(const std::string& kind, const Row& row, std::vector<LogField> fields);
  bool SaveNew(Record& record);
  bool SaveChanges(Record& record);

  std::unique_ptr<sqlite3, DbCloser> db_;
  std::string databasePath_;
  DateValue sessionTime_;
  // A failure has been noted that explains why nothing works (no database, a refused
  // query); the calls that follow it note nothing more.
  bool silent_ = false;
  int busyTimeoutMs_ = 3000;
  std::optional<std::string> logFolder_;
  std::string application_;
  std::unique_ptr<ChangeLogWriter> log_;
  bool logFailed_ = false;

  std::vector<std::string> errors_;

  std::string table_;  // "" when the rows come from no single table
  std::vector<Column> columns_;
  std::vector<int> keyColumns_;  // indexes into columns_, in key order
  // Per label: the column of table_ it is as a plain column under its own name, or -1.
  std::vector<int> labelColumns_;
  int32_t maxRecords_ = 0;  // 0: no limit
  std::shared_ptr<RecordData> data_ = std::make_shared<RecordData>();
  int32_t position_ = 0;  // 1-based current record, 0 when none
};

}  // namespace tarvesk
