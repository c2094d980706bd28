// ChangeLogWriter: the change log of one data-layer session - one file in the log folder,
// in the form the log manager reads (marker on line 2, header block, "<LOGDATA>", action
// blocks, tail). The file is created at the first action or the first noted error, so a
// session that changes nothing and notes nothing leaves no file behind.
//
// After every action the tail is rewritten behind the new block, so the file on disk is a
// complete log at all times and a crash loses at most the action being written. Owns the
// open file and, while it is open, a lock on it that tells pruning the log is live (see
// LiveLog in fileset/). Used by the DataLayer that created it, on that DataLayer's thread.
//
// Text goes out as Windows-1252 with CR LF; markup characters, "=", line breaks and any
// character Windows-1252 lacks are written as character references. A field name becomes
// a tag name: plain names as they are, other characters as _xHHHH_ (see EncodeTagName).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/FileOwner.h"
#include "automation/Variant.h"

namespace tarvesk {

struct LogSession {
  std::string database;  // absolute path, or "" when none was set
  DateValue sessionTime;
  std::string user;
  std::string computer;
  std::string application;
};

// One name/value line of an action block; the name is a tag name as it stands.
struct LogField {
  std::string tag;
  std::string value;
};

class ChangeLogWriter {
 public:
  ChangeLogWriter(std::string folder, LogSession session);
  ~ChangeLogWriter();
  ChangeLogWriter(const ChangeLogWriter&) = delete;
  ChangeLogWriter& operator=(const ChangeLogWriter&) = delete;

  // Writes <ACTION Info="kind RECORDID=id">, the given lines and </ACTION>. Raises the
  // file errors (52, 70, 75, 76) when the file cannot be created or written.
  void AppendAction(const std::string& kind, const std::string& recordId,
                    const std::vector<LogField>& lines);
  // Replaces the error information of the tail (text of all errors so far, their count).
  void SetErrors(const std::string& errorInfo, int32_t errorCount);

  // The file written to; "" before the first write.
  const std::string& Path() const { return path_; }

 private:
  void EnsureFile();
  std::string Tail() const;
  // Writes block at the tail's place, then the tail; the block stays in the file.
  void WriteBlockAndTail(const std::string& block);

  std::string folder_;
  LogSession session_;
  std::string path_;
  FileOwner file_;
  uint64_t tailOffset_ = 0;  // where the tail starts
  uint64_t fileSize_ = 0;
  std::string errorInfo_;
  int32_t errorCount_ = 0;
};

// Element text: &lt; &gt; &amp; &quot;, "=" as &#61;, control characters (CR and LF among
// them) and characters outside Windows-1252 as &#N;. The result is UTF-8 whose characters
// all have a Windows-1252 byte.
std::string EncodeLogText(std::string_view utf8);
// A column name as a tag name the log's readers take apart: letters (any script), digits,
// "_", "-" and "." stay, as long as the name does not start with a digit, "-" or "."; every
// other character, a leading one of those and a "_x" that would read as an escape become
// _xHHHH_. The name "ACTION" is escaped too, since its closing tag would end the block.
std::string EncodeTagName(std::string_view name);
// The inverse of EncodeTagName; text that is no escape stays as it is.
std::string DecodeTagName(std::string_view tag);

// The log folder a data layer uses when its host sets none: the environment variable
// TARVESK_DATALAYER_LOGDIR, on Windows else the value LogFolder under
// HKEY_CURRENT_USER\Software\Tarvesk\DataLayer. "" means no logging.
std::string DefaultLogFolder();
inline constexpr const char* kLogFolderVariable = "TARVESK_DATALAYER_LOGDIR";

// Local time now as an automation date, to the second.
DateValue LocalNow();

}  // namespace tarvesk
