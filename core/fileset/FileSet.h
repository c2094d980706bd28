// FileSet: the log files of one folder - their names in listing order, the header
// properties of each file and a cache of the LogData objects handed out so far.
//
// Owns its file list, its PropertyCollections and its LogData cache. Each cached LogData
// knows the FileSet as its Parent without owning it, so a set dropped without EjectFileset
// goes with its cache. Create it with std::make_shared (LogContent hands
// shared_from_this() to the LogData it creates), giving it the environment through which
// it and its LogData create their components. Used on its creator's thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/TextFile.h"
#include "automation/Variant.h"
#include "fileset/PropertyCollection.h"

namespace tarvesk {

class Environment;
class IXmlParser;
class LogData;

inline constexpr const char* kLogMarker = "<TarveskDataLayerLog>";
// The last line of a log its writer has finished with (or left between two actions).
inline constexpr const char* kLogEndMarker = "</TarveskDataLayerLog>";
// A log without its end marker that changed this recently may still be written to.
inline constexpr double kUnfinishedLogSeconds = 5 * 60;

// Why pruning leaves an old log on disk: its writer holds its lock, or it lacks its end
// marker and changed within kUnfinishedLogSeconds.
enum class LiveLogReason { Locked, Unfinished };
struct SkippedLog {
  std::string path;
  LiveLogReason reason;
};
// Whether the log at path is still being written; nullopt for a finished one (or one that
// cannot be looked at, whose deletion then fails by itself).
std::optional<LiveLogReason> LiveLog(const std::string& path);

class FileSet : public std::enable_shared_from_this<FileSet> {
 public:
  explicit FileSet(Environment& environment) : environment_(environment) {}

  // Deletes the files whose SESSIONTIME is earlier than datKeepNewerThan and removes them
  // from the set. False when no set is loaded. A file whose SESSIONTIME is missing or not
  // a date is kept; a file that cannot be deleted leaves the set but stays on disk, and so
  // does a live log (see LiveLog), which SkippedLogs then lists.
  bool DeleteOldFiles(DateValue datKeepNewerThan);
  // The live logs that the last DeleteOldFiles left on disk, in the order of the set.
  const std::vector<SkippedLog>& SkippedLogs() const { return skippedLogs_; }
  // The full path of file Index; "" for an index outside the set. Never raises.
  std::string File(int32_t Index) const;
  // The name a person is shown for file Index, and knows it by: its name in the folder,
  // whatever FILENAME its header may carry; "" for an index outside the set. Never raises.
  std::string FileName(int32_t Index) const;
  int32_t FileCount() const { return static_cast<int32_t>(colFiles.size()); }
  // Header property PropertyType of file FileIndex; "" when the file has none. Raises 91
  // before ReadFileSetProperties, 9 for an index outside the set.
  std::string FileProperties(int32_t FileIndex, const std::string& PropertyType) const;
  // Lists FilePath's *.xml files and keeps those whose second line holds the log marker.
  // False when the folder holds no *.xml file.
  bool LoadFileSet(const std::string& FilePath);
  void EjectFileset();
  // Reads the header of every file into a PropertyCollection, "FILENAME" last. The first
  // call after LoadFileSet parses the headers that LoadFileSet read with the markers, so
  // that each file is opened and read once, when no file of the folder was added, removed
  // or renamed in between; every other call reads the files anew.
  void ReadFileSetProperties();
  // The cached LogData of FileIndex, created, bound and loaded on first request.
  std::shared_ptr<LogData> LogContent(int32_t FileIndex);

  // The folder of the set, ending in the platform's separator; "" when none.
  const std::string& FolderPath() const { return strFilePath; }
  Environment& GetEnvironment() const { return environment_; }
  // All header properties of a file, in their order; the errors of FileProperties.
  std::shared_ptr<const PropertyCollection> HeaderProperties(int32_t FileIndex) const;

 private:
  void AddHeaderProperty(const std::string& strLine, PropertyCollection& objProperties,
                         std::optional<std::unique_ptr<IXmlParser>>& parser);
  void RemoveFile(size_t position);

  Environment& environment_;
  std::vector<std::string> colFiles;
  std::optional<std::vector<std::shared_ptr<PropertyCollection>>> colFileProperties;
  bool bolFileSetLoaded = false;
  std::string strFilePath;
  std::optional<std::vector<std::shared_ptr<LogData>>> colLogData{std::in_place};
  bool bolPropertiesRead = false;
  std::vector<SkippedLog> skippedLogs_;
  // The header lines of each file as LoadFileSet read them with its marker (nullopt where
  // its first bytes did not hold them all), for the next ReadFileSetProperties only.
  std::vector<std::optional<std::string>> heads_;
  FolderStamp headsStamp_;  // the folder when heads_ were read
};

}  // namespace tarvesk
