#include "fileset/FileSet.h"

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/TextFile.h"
#include "logdata/LogData.h"
#include "service/modService.h"

namespace tarvesk {
namespace {

constexpr int kHeaderLineLimit = 20;

// True when the file's second line holds the log marker. A file of fewer than two lines
// is no log, nor is anything but a regular file (a FIFO, a device or a folder swapped in
// after the listing). Open errors are raised.
bool CarriesMarker(const std::string& path) {
  LineReader reader(path, Irregular::Skip);
  std::string line;
  if (!reader.ReadLine(line) || !reader.ReadLine(line)) return false;
  return line.find(kLogMarker) != std::string::npos;
}

}  // namespace

std::optional<LiveLogReason> LiveLog(const std::string& path) {
  const auto state = InspectFile(path, 64);
  if (!state) return std::nullopt;
  if (state->locked) return LiveLogReason::Locked;
  // A writer that takes no lock still rewrites the end marker after every action; a file
  // without it is being written, unless it has been quiet for a while (a crashed writer).
  if (state->end.find(kLogEndMarker) == std::string::npos &&
      state->secondsSinceChange < kUnfinishedLogSeconds) {
    return LiveLogReason::Unfinished;
  }
  return std::nullopt;
}

std::string FileSet::File(int32_t Index) const {
  if (Index < 1 || Index > FileCount()) return "";
  return strFilePath + colFiles[static_cast<size_t>(Index) - 1];
}

std::string FileSet::FileName(int32_t Index) const {
  if (Index < 1 || Index > FileCount()) return "";
  return colFiles[static_cast<size_t>(Index) - 1];
}

bool FileSet::LoadFileSet(const std::string& FilePath) {
  if (bolFileSetLoaded) EjectFileset();
  strFilePath = FilePath;
  if (strFilePath.empty() || strFilePath.back() != kPathSeparator) strFilePath += kPathSeparator;

  const auto fileSystem = CreateFileSystem(environment_);
  colFiles = Use(fileSystem).GetFilesInFolder(FilePath, "*.xml");
  if (colFiles.empty()) return false;

  // One pass keeps the listing order of the files that carry the marker. Should a file
  // fail to open, the files before it stay filtered and those from it on unfiltered.
  std::vector<std::string> kept;
  kept.reserve(colFiles.size());
  for (size_t i = 0; i < colFiles.size(); ++i) {
    try {
      if (CarriesMarker(strFilePath + colFiles[i])) kept.push_back(std::move(colFiles[i]));
    } catch (...) {
      kept.insert(kept.end(), std::make_move_iterator(colFiles.begin() + i),
                  std::make_move_iterator(colFiles.end()));
      colFiles = std::move(kept);
      throw;
    }
  }
  colFiles = std::move(kept);
  bolFileSetLoaded = true;
  return true;
}

void FileSet::EjectFileset() {
  colFiles.clear();
  colFileProperties.reset();
  colLogData.reset();
  bolFileSetLoaded = false;
  bolPropertiesRead = false;
  strFilePath.clear();
}

void FileSet::ReadFileSetProperties() {
  colFileProperties.emplace();
  // One tag parser for the whole reading, created at the first header line: the parser
  // answers each line by itself alone, so this gives what one parser a line gives.
  std::optional<std::unique_ptr<IXmlParser>> parser;
  const size_t n = colFiles.size();
  for (size_t i = 0; i < n; ++i) {
    auto properties = std::make_shared<PropertyCollection>();
    {
      LineReader reader(strFilePath + colFiles[i]);
      bool inHeader = false;
      std::string line;
      // A file that ends before its header closes ends its header there.
      for (int read = 0; read < kHeaderLineLimit && reader.ReadLine(line); ++read) {
        if (line.find("<HEAD>") != std::string::npos) {
          inHeader = true;
        } else if (line.find("</HEAD>") != std::string::npos) {
          break;
        } else if (inHeader) {
          AddHeaderProperty(line, *properties, parser);
        }
      }
    }
    // The file's real path, not passed through the tag parser: its decoding would turn a
    // name like "Tom&amp;Jerry.xml" into one of a file that does not exist.
    if (!parser) parser = CreateXMLParser(environment_);
    Use(*parser);
    properties->AddProperty("FILENAME", strFilePath + colFiles[i]);
    colFileProperties->push_back(std::move(properties));
  }
  bolPropertiesRead = true;
}

void FileSet::AddHeaderProperty(const std::string& strLine, PropertyCollection& objProperties,
                                std::optional<std::unique_ptr<IXmlParser>>& parser) {
  if (!parser) parser = CreateXMLParser(environment_);
  const std::string trimmed(TrimBlanks(strLine));
  std::string name, value;
  Use(*parser).ParseSingleTag(trimmed, name, value);
  objProperties.AddProperty(name, value);
}

std::shared_ptr<const PropertyCollection> FileSet::HeaderProperties(int32_t FileIndex) const {
  if (!colFileProperties) throw Error(kObjectNotSet);
  if (FileIndex < 1 || static_cast<size_t>(FileIndex) > colFileProperties->size()) {
    throw Error(kSubscriptOutOfRange);
  }
  return (*colFileProperties)[static_cast<size_t>(FileIndex) - 1];
}

std::string FileSet::FileProperties(int32_t FileIndex, const std::string& PropertyType) const {
  return HeaderProperties(FileIndex)->PropertyContent(PropertyType);
}

std::shared_ptr<LogData> FileSet::LogContent(int32_t FileIndex) {
  if (!colLogData) colLogData.emplace();
  for (const auto& logData : *colLogData) {
    if (logData->FileIndex() == FileIndex) return logData;
  }
  auto logData = std::make_shared<LogData>(environment_);
  logData->SetFileIndex(FileIndex);
  logData->SetParent(shared_from_this());
  logData->LoadLogData();  // an error leaves nothing cached
  colLogData->push_back(logData);
  return logData;
}

void FileSet::RemoveFile(size_t position) {
  colFiles.erase(colFiles.begin() + static_cast<std::ptrdiff_t>(position));
  if (colFileProperties && position < colFileProperties->size()) {
    colFileProperties->erase(colFileProperties->begin() + static_cast<std::ptrdiff_t>(position));
  }
  // The cache follows the files: the removed file's content leaves it, the contents of
  // the files behind it move up with them.
  if (!colLogData) return;
  const auto removedIndex = static_cast<int32_t>(position + 1);
  std::erase_if(*colLogData, [&](const std::shared_ptr<LogData>& logData) {
    return logData->FileIndex() == removedIndex;
  });
  for (const auto& logData : *colLogData) {
    if (logData->FileIndex() > removedIndex) logData->SetFileIndex(logData->FileIndex() - 1);
  }
}

bool FileSet::DeleteOldFiles(DateValue datKeepNewerThan) {
  skippedLogs_.clear();
  if (!bolFileSetLoaded) return false;
  if (!bolPropertiesRead) ReadFileSetProperties();
  // A removal only closes the gap behind it, and the files before it were kept already,
  // so one pass gives the outcome of restarting after every removal.
  size_t i = 0;
  while (i < colFiles.size()) {
    std::optional<DateValue> age;
    try {
      age = ParseDate(FileProperties(static_cast<int32_t>(i + 1), "SESSIONTIME"));
    } catch (...) {
    }
    if (!age || !(age->serial < datKeepNewerThan.serial)) {
      ++i;
      continue;
    }
    const std::string path = File(static_cast<int32_t>(i + 1));
    // A live log is a file in use: it leaves the set and stays on disk.
    if (const auto live = LiveLog(path)) {
      skippedLogs_.push_back({path, *live});
    } else {
      try {
        DeleteFileOrFail(path);
      } catch (...) {
        // A file that cannot be deleted still leaves the set.
      }
    }
    RemoveFile(i);
  }
  return true;
}

}  // namespace tarvesk
