// ActionHandler: undoes one logged action against the database its log names. A caller
// sets the log's file index (LogFileHandle), the action's position in that log's body
// (ActionHandle) and the FileSet (FileSetObject), then calls UndoAction, which binds a
// new data layer to the log's database and the action's records, asks the user through
// the environment's messages and performs the inverse change: an update is written back, a new
// record deleted, a deleted record created again. The data layer's error text is shown
// at the end of every undo.
//
// Nothing is written that the user was not shown: a position where no action begins, a
// database path that is not a full path to an existing file, a query that selects more
// than the one record, a field the loaded rows do not show as it stands and a value that
// does not fit its column are refused with an error before any question; the data layer
// writes only while the record still holds what the question showed.
//
// Owns the data layer of its last binding; shares the FileSet with its caller. Errors of
// the FileSet, the LogData and the data layer are not caught: they end UndoAction and
// reach its caller. Used on its creator's thread, one UndoAction at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "automation/Variant.h"
#include "fileset/PropertyCollection.h"
#include "service/Components.h"
#include "service/UserMessages.h"

namespace tarvesk {

class Environment;
class FileSet;

// What the last UndoAction came to, for callers that report it without reading the
// message texts (the command line's exit status).
enum class UndoOutcome { NotRun, Done, Declined, RecordNotFound, ErrorsReported };

// The first line of the report of errors; the errors follow on the next lines.
inline constexpr const char* kErrorsReported = "Folgende Fehler wurden gemeldet: ";

class ActionHandler {
 public:
  // The environment creates the data layer and shows the messages.
  explicit ActionHandler(Environment& environment) : environment_(environment) {}
  ~ActionHandler();
  ActionHandler(const ActionHandler&) = delete;
  ActionHandler& operator=(const ActionHandler&) = delete;

  int32_t LogFileHandle() const { return lngLogFileHandle; }
  void SetLogFileHandle(int32_t value) { lngLogFileHandle = value; }
  int32_t ActionHandle() const { return lngActionHandle; }
  void SetActionHandle(int32_t value) { lngActionHandle = value; }
  // Counts as assigned also when objfs is null; the next UndoAction then raises error 91.
  void SetFileSetObject(std::shared_ptr<FileSet> objfs);

  // Asks, undoes and reports; the result is always Empty. Without a FileSet it returns
  // at once and does nothing.
  Variant UndoAction();
  // Set by UndoAction; ErrorsReported wins over Done when the data layer reported errors.
  UndoOutcome Outcome() const { return outcome_; }

 private:
  void PrepareDataLayer();
  void UndoUpdate(int32_t lngRecordID);
  void UndoNewRecord(int32_t lngRecordID);
  void RestoreDeletedRecord();
  const PropertyCollection& ActionData() const;  // raises 91 when there is none

  void Tell(const std::string& text, const std::string& title, MessageIcon icon);
  bool AskYes(const std::string& text, const std::string& title);
  // Declined: the user said No. RecordNotFound: the action's record is gone. Done: the
  // data layer noted no error in the write (its errors are reported at the end).
  void TellDeclined();
  bool FindRecordOrTell(IDataLayer& dataLayer, int32_t id);
  void ReportWrite(IDataLayer& dataLayer, const std::string& text, const std::string& title);

  Environment& environment_;
  int32_t lngLogFileHandle = 0;
  int32_t lngActionHandle = 0;
  bool bolFileSetAssigned = false;
  std::shared_ptr<FileSet> objFileSet;
  std::string strDatabase;
  std::string strQueryString;
  std::unique_ptr<IDataLayer> objDataLayer;
  std::shared_ptr<PropertyCollection> objActionData;
  UndoOutcome outcome_ = UndoOutcome::NotRun;
};

}  // namespace tarvesk
