// The reference data layer, TarveskDataLayer.DataLayer, over SQLite. One object serves one
// session: it is pointed at an existing database, loads the rows of one read-only SELECT
// into an offline record set, keeps a current record, writes changes of that record back
// to the one table the rows come from, and writes a change log of what it wrote.
//
// Owns its database connection, its offline record set (shared with the record-set
// objects it hands out) and its change-log writer. Created through the component registry
// (RegisterReferenceComponents) or directly by a host; used on its creator's thread.
//
// What callers rely on:
// - Failures are noted in errorstatus (German text, one line per failure) rather than
//   raised; only Records and Fields of the record set raise error 9 for a bad index.
//   After SetDatabaseByPath failed (a missing path, no database, a locked database) the
//   later calls find nothing and write nothing, and note nothing further.
// - GetRecordset accepts exactly one SELECT that reads and writes nothing else; anything
//   else is refused and noted. Writes go to the single table the SELECT reads; a table
//   needs a primary key to be written to, and its key must be among the loaded columns.
// - Field names are matched against the columns, case-insensitively as SQLite does, and
//   are never spliced into SQL; values are bound as parameters.
// - SetFieldValue takes text. Empty text writes NULL into a column that allows NULL (the
//   change log cannot tell NULL from empty text, so the two are one value here); text
//   that reads as a number is stored as one in INTEGER, REAL and NUMERIC columns.
// - Save and RemoveRecord each run as one transaction. A busy database is waited for
//   (3 seconds unless SetBusyTimeout says otherwise), then the failure is noted.
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

struct sqlite3;

namespace tarvesk {

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
    std::vector<Variant> values;                      // one per label
    std::vector<Variant> key;                         // the key as last read from the table
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
  std::string ColumnList() const;
  std::string KeyCondition() const;
  void ResetRecordset();
  bool LoadColumns();
  void ApplyRow(Record& record, const std::vector<Variant>& row);
  void Log(const std::string& kind, const std::vector<Variant>& row, std::vector<LogField> fields);
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
  std::shared_ptr<RecordData> data_ = std::make_shared<RecordData>();
  int32_t position_ = 0;  // 1-based current record, 0 when none
};

}  // namespace tarvesk
