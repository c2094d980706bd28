// Replay: undo and redo of logged actions, planned before anything is written. A plan is
// one step per action - set a field, remove a record, insert a record - made from what the
// log kept. The plan is checked against the database in the order it will run, each step
// seeing the records as the steps before it leave them, so that a session that creates,
// changes and deletes one record is judged as a whole. A step whose record is missing (or
// present where it must not be) cannot run; a step whose record differs from what the log
// says it should hold now is a conflict, which the user must see and accept.
//
// Runs through the logging data layer: all steps of a plan in one transaction, so the
// database keeps all of them or none, and the session's log records each write; a plan
// that fails leaves no log. Free functions over a FileSet the caller holds; no state.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fileset/FileSet.h"
#include "programs/cli/Actions.h"
#include "service/Components.h"

namespace tarvesk::cli {

enum class Direction { Undo, Redo };

using FieldValues = std::vector<std::pair<std::string, std::string>>;  // column, value

struct Step {
  ActionSummary action;
  std::string fileName;
  enum class Kind { SetField, Remove, Insert } kind = Kind::SetField;
  std::string field;     // SetField: the column
  std::string value;     // SetField: the value written
  std::string expected;  // SetField: the value the log says the field holds now
  FieldValues fields;    // Insert: the record; Remove: the values it should hold ("" unknown)
  std::string conflict;  // what differs from the log; "" when nothing does
};

// The steps for the actions at positions of log index of set, in the order given; a
// Failure names the first action that cannot be undone or redone at all (its kind, a
// NEWRECORD logged without its values).
std::vector<Step> PlanSteps(FileSet& set, int32_t index, const std::vector<int32_t>& positions,
                            Direction direction);

// Reads the records the steps concern through reader and fills in their conflicts; a
// Failure names the first step that cannot run (its record missing or already there) or
// a read the data layer refused.
void CheckSteps(std::vector<Step>& steps, IDataLayer& reader);

// The SQL a step comes to, values as quoted literals (as text: the data layer stores them
// after the column's type); not escaped for the terminal.
std::string StatementOf(const Step& step);
// "Position 9 (UPDATE Kunden ID 7)" for messages.
std::string StepName(const Step& step);

struct ReplayResult {
  std::string logFile;  // the log of the writes; "" when nothing was logged
};

// Runs the steps in one transaction on database, logging into logFolder. Before writing,
// the plan is checked again inside the transaction; a conflict that was not in the plan
// the user accepted ends it. A Failure names the step that failed, and then the database
// is as it was and the session's log is removed.
ReplayResult RunSteps(const std::vector<Step>& steps, const std::string& database,
                      const std::string& logFolder);

}  // namespace tarvesk::cli
