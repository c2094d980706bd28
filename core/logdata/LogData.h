// LogData: the content of one log file of a FileSet. LoadLogData reads the file once and
// keeps its body lines (the lines after the one holding "<LOGDATA>", less the tail); the
// action list, an action's details and its query string are read from those lines anew,
// through the tag parser, at every call.
//
// Knows its FileSet as Parent without owning it: the set owns its cached LogData objects,
// and an owning reference back would keep both alive forever once a host drops the set
// without ejecting it. Parent answers the set while it lives. An action is addressed
// by the 1-based position of its opening line among the body lines. Used on its creator's
// thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/TextFile.h"
#include "fileset/PropertyCollection.h"
#include "service/Components.h"

namespace tarvesk {

class Environment;
class FileSet;

inline constexpr const char* kErrorEntry = "Errors were recorded in this Logfile";

class LogData {
 public:
  // The environment creates the tag parser of every call.
  explicit LogData(Environment& environment) : environment_(environment) {}

  Environment& GetEnvironment() const { return environment_; }
  std::shared_ptr<FileSet> Parent() const { return parent_.lock(); }
  void SetParent(std::shared_ptr<FileSet> parent) { parent_ = std::move(parent); }
  int32_t FileIndex() const { return fileIndex_; }
  void SetFileIndex(int32_t index) { fileIndex_ = index; }

  std::string ErrorInfo() const { return strErrorInfo; }
  void ResetErrors() { strErrorInfo.clear(); }

  // Reads the body once; does nothing when loaded already or FileIndex is 0.
  void LoadLogData();
  // One entry per action: n ": " kind " / " name ": " value " (QueryString: " query ")",
  // then the error entry when the log holds error information.
  std::vector<std::string> GetActionList() const;
  // The entries of GetActionList one by one, each valid during its call of emit only.
  void ForEachAction(const std::function<void(std::string_view entry)>& emit) const;
  // The details of the action at PositionInList; nullptr when that line holds no "ACTION".
  std::shared_ptr<PropertyCollection> GetActionData(int32_t PositionInList) const;
  // The QueryString value of body line lngActionPos + 2.
  std::string RetrieveActionQueryString(int32_t lngActionPos) const;

  bool IsLoaded() const { return bolLogLoaded; }
  size_t BodyLineCount() const { return colLogLines ? colLogLines->Count() : 0; }
  // Body line at a 1-based position (the command line reads an action's TIME line);
  // raises 9 outside the lines, 91 before loading.
  std::string_view BodyLine(int64_t position) const { return Line(position); }

 private:
  // Body line at a 1-based position; raises 9 outside the lines, 91 before loading.
  std::string_view Line(int64_t position) const;
  // Appends the entry of the action whose opening line is body line n, when it is one.
  bool ComposeEntry(IXmlParser& parser, size_t n, std::string& entry) const;

  Environment& environment_;
  std::weak_ptr<FileSet> parent_;
  int32_t fileIndex_ = 0;
  bool bolLogLoaded = false;
  std::optional<LineList> colLogLines;
  std::string strErrorInfo;
};

}  // namespace tarvesk
