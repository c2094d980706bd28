// The C++ interfaces of the outside components the log manager works with. Each is
// created by programmatic identifier through the factories of modService and the
// environment: on Windows an adapter calls the registered COM component by member name, on
// other platforms a registry (ComponentRegistry.h) creates the reference components.
//
// Arguments and results that are text are UTF-8. An adapter converts a component's
// Variant answers to text as the callers expect: a Null answer raises error 94.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/Variant.h"

namespace tarvesk {

// TarveskXMLHandler.XMLParser: takes one line of tagged log text apart. Every member
// answers for any line without raising; a line it does not understand gives "".
class IXmlParser {
 public:
  virtual ~IXmlParser() = default;
  // "<NAME>value</NAME>" gives name NAME and the text between the tags.
  virtual void ParseSingleTag(const std::string& line, std::string& name, std::string& value) = 0;
  // The name of the line's first tag, without angle brackets.
  virtual std::string GetTagName(std::string_view line) = 0;
  // The text enclosed by the tag tagName in the line.
  virtual std::string GetTagValue(std::string_view line, std::string_view tagName) = 0;
  // For an opening line, attributes receives the text between the quotation marks that
  // follow the first "=". first and second are the parser's own business.
  virtual void ParseRubriqueTag(std::string_view line, std::string& first, std::string& second,
                                std::string& attributes) = 0;

  // What an in-process parser may promise about its answers, so that callers can skip
  // work with the same outcome; a parser of which nothing is known promises nothing.
  // True when GetTagName always answers a part of the line: a line whose tag name holds a
  // word then holds the word itself.
  virtual bool TagNameIsPartOfLine() const { return false; }
  // True, with value set to a part of line, when GetTagValue(line, tagName) answers exactly
  // that text; false when GetTagValue is to be asked.
  virtual bool TagValueInLine(std::string_view line, std::string_view tagName,
                              std::string_view& value) {
    return false;
  }
  // True, with name and value set to parts of line, when GetTagName(line) answers exactly
  // name and GetTagValue(line, name) exactly value; false when they are to be asked.
  virtual bool TagInLine(std::string_view line, std::string_view& name, std::string_view& value) {
    return false;
  }
};

// TarveskFileManager.FileSystem: lists the files of a folder.
class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // Names (without folder) of the regular files in folder that match pattern.
  virtual std::vector<std::string> GetFilesInFolder(const std::string& folder,
                                                    const std::string& pattern) = 0;
};

// TarveskFileManager.clsFileManager: the folder picker of the viewer window.
class IFolderPicker {
 public:
  virtual ~IFolderPicker() = default;
  virtual void SetShowDirectoryOnly(bool value) = 0;
  virtual void SetHideIcon(bool value) = 0;
  virtual void SetDefaultPath(const std::string& path) = 0;
  virtual void SetFormCaption(const std::string& caption) = 0;
  virtual void DisplayFileManager() = 0;     // returns once the user has chosen or given up
  virtual std::string ResultFullPath() = 0;  // "" when no folder was chosen
};

// The record set of the data layer: Records(position) -> record, record.FieldCount,
// record.Fields(index) -> field, field.Description (label) and field.Anything (value).
class IDataField {
 public:
  virtual ~IDataField() = default;
  virtual Variant Description() = 0;
  virtual Variant Anything() = 0;
};

class IDataRecord {
 public:
  virtual ~IDataRecord() = default;
  virtual int32_t FieldCount() = 0;
  virtual std::shared_ptr<IDataField> Fields(int32_t index) = 0;  // 1-based
};

class IRecordset {
 public:
  virtual ~IRecordset() = default;
  virtual std::shared_ptr<IDataRecord> Records(const Variant& position) = 0;
};

// TarveskDataLayer.DataLayer: the database access component. Failures meant for the user
// are noted in errorstatus; errors it raises end the caller's operation.
class IDataLayer {
 public:
  virtual ~IDataLayer() = default;
  virtual void SetDatabaseByPath(const std::string& path) = 0;
  virtual Variant GetRecordset(std::string& query) = 0;
  // True when a loaded record has that value (it becomes current); False or Null if not.
  virtual Variant FindRecord(const std::string& fieldName, int32_t& value) = 0;
  virtual Variant FieldValue(const std::string& fieldName) = 0;
  virtual Variant SetFieldValue(const std::string& fieldName, const std::string& value) = 0;
  virtual Variant Save() = 0;
  virtual Variant RemoveRecord(bool really) = 0;
  virtual Variant AddNew() = 0;
  virtual Variant ActualPosition() = 0;
  virtual std::shared_ptr<IRecordset> GetOfflineRecordset() = 0;
  virtual Variant errorstatus() = 0;
  // The undo's safeguards, which the reference data layer offers (a data layer that lacks
  // them is taken at its word: the COM adapter lets their absence pass).
  // At most count records for the next GetRecordset; one more makes it refuse. 0: no limit.
  virtual void SetMaxRecords(int32_t count) = 0;
  // True when SetFieldValue(fieldName, value) on the current record (a new one when there
  // is none) would write exactly that value into the column of that name, shown under its
  // own name by the loaded rows; otherwise it raises an error that says why.
  virtual Variant CheckFieldValue(const std::string& fieldName, const std::string& value) = 0;
};

}  // namespace tarvesk
