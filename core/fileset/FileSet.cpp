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
// One read of this many bytes holds the marker and the header of a usual log.
constexpr size_t kStartBytes = 4096;

// True when the file's second line holds the log marker. A file of fewer than two lines
// is no log, nor is anything but a regular file (a FIFO, a device or a folder swapped in
// after the listing). Open errors are raised.
bool CarriesMarker(const std::string& path) {
  LineReader reader(path, Irregular::Skip);
  std::string line;
  if (!reader.ReadLine(line) || !reader.ReadLine(line)) return false;
  return line.find(kLogMarker) != std::string::npos;
}

// The lines of a file's first bytes, decoded, as LineReader reads them.
class StartLines {
 public:
  StartLines(std::string_view bytes, bool whole) : bytes_(bytes), whole_(whole) {}
  // The next line; false at the end of the file; nullopt where the line may run on past
  // the bytes read (they end before its break, or right after a CR that a LF may follow).
  std::optional<bool> Next(std::string& line) {
    line.clear();
    if (at_ == bytes_.size()) return whole_ ? std::optional<bool>(false) : std::nullopt;
    size_t end = bytes_.find('\r', at_);
    if (end == std::string_view::npos) {
      if (!whole_) return std::nullopt;
      end = bytes_.size();
    }
    AppendAnsiAsUtf8(line, bytes_.substr(at_, end - at_));
    at_ = std::min(end + 1, bytes_.size());
    if (at_ < bytes_.size() && bytes_[at_] == '\n') ++at_;
    return true;
  }

 private:
  std::string_view bytes_;
  bool whole_;
  size_t at_ = 0;
};

// Calls take(line) for each line of the header block among the first 20 lines - the lines
// ReadFileSetProperties parses - as next(line) hands them out.
template <class Next, class Take>
bool WalkHeader(Next next, Take take) {
  bool inHeader = false;
  std::string line;
  // A file that ends before its header closes ends its header there.
  for (int read = 0; read < kHeaderLineLimit; ++read) {
    const std::optional<bool> got = next(line);
    if (!got) return false;
    if (!*got) break;
    if (line.find("<HEAD>") != std::string::npos) {
      inHeader = true;
    } else if (line.find("</HEAD>") != std::string::npos) {
      break;
    } else if (inHeader) {
      take(line);
    }
  }
  return true;
}

// What LoadFileSet learns of a candidate from one reading of its start: whether it is a
// log, and the header lines that ReadFileSetProperties parses, each ended by a CR (a
// decoded line holds none); no header where the first bytes do not hold all of it.
struct Candidate {
  bool isLog = false;
  std::optional<std::string> header;
};

// The header lines of a file's first bytes, each ended by a CR; nullopt where they may
// run on past them.
std::optional<std::string> HeaderLines(std::string_view start, bool whole) {
  std::string header;
  StartLines lines(start, whole);
  if (!WalkHeader([&](std::string& line) { return lines.Next(line); },
                  [&](const std::string& line) { (header += line) += '\r'; })) {
    return std::nullopt;
  }
  return header;
}

Candidate ReadCandidate(const std::string& path, char (&buffer)[kStartBytes]) {
  bool whole = false;
  std::optional<std::string> header;
  const std::optional<size_t> got =
      ReadFileStart(path, buffer, kStartBytes, Irregular::Skip, whole, [&](std::string_view start) {
        header = HeaderLines(start, whole);
        return header.has_value();
      });
  if (!got) return {};
  StartLines lines(std::string_view(buffer, *got), whole);
  std::string line;
  std::optional<bool> read = lines.Next(line);
  if (read && *read) read = lines.Next(line);
  // A second line beyond the first bytes: read it as it comes.
  if (!read) return {CarriesMarker(path), std::nullopt};
  if (!*read || line.find(kLogMarker) == std::string::npos) return {};
  return {true, std::move(header)};
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

  // Taken before the listing: whatever changes the folder from now on makes the headers
  // read with the markers stale.
  const std::optional<FolderStamp> stamp = StampOfFolder(strFilePath);
  const auto fileSystem = CreateFileSystem(environment_);
  colFiles = Use(fileSystem).GetFilesInFolder(FilePath, "*.xml");
  if (colFiles.empty()) return false;

  // One pass keeps the listing order of the files that carry the marker. Should a file
  // fail to open, the files before it stay filtered and those from it on unfiltered.
  std::vector<std::string> kept;
  std::vector<std::optional<std::string>> heads;
  char buffer[kStartBytes];
  kept.reserve(colFiles.size());
  heads.reserve(colFiles.size());
  for (size_t i = 0; i < colFiles.size(); ++i) {
    try {
      Candidate candidate = ReadCandidate(strFilePath + colFiles[i], buffer);
      if (!candidate.isLog) continue;
      kept.push_back(std::move(colFiles[i]));
      heads.push_back(std::move(candidate.header));
    } catch (...) {
      kept.insert(kept.end(), std::make_move_iterator(colFiles.begin() + i),
                  std::make_move_iterator(colFiles.end()));
      colFiles = std::move(kept);
      throw;
    }
  }
  colFiles = std::move(kept);
  if (stamp && stamp->Settled()) {
    heads_ = std::move(heads);
    headsStamp_ = *stamp;
  }
  bolFileSetLoaded = true;
  return true;
}

void FileSet::EjectFileset() {
  colFiles.clear();
  heads_.clear();
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
  // The first reading after LoadFileSet takes the headers that it read with the markers,
  // unless a file of the folder was added, removed or renamed since; any later one reads
  // the files again.
  auto heads = std::move(heads_);
  heads_.clear();
  if (!heads.empty() && StampOfFolder(strFilePath) != headsStamp_) heads.clear();
  const size_t n = colFiles.size();
  for (size_t i = 0; i < n; ++i) {
    auto properties = std::make_shared<PropertyCollection>();
    const auto take = [&](const std::string& line) {
      AddHeaderProperty(line, *properties, parser);
    };
    if (i < heads.size() && heads[i]) {
      const std::string_view header = *heads[i];
      for (size_t at = 0, end; at < header.size(); at = end + 1) {
        end = header.find('\r', at);
        take(std::string(header.substr(at, end - at)));
      }
    } else {
      LineReader reader(strFilePath + colFiles[i]);
      WalkHeader([&](std::string& line) { return std::optional<bool>(reader.ReadLine(line)); },
                 take);
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
  heads_.clear();
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
