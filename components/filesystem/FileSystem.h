// The reference file-system component, TarveskFileManager.FileSystem: lists the regular
// files of a folder whose names match a pattern of "*" and "?" (case-insensitive), sorted
// by name. A folder path may end in a separator or not. A missing folder raises error 76.
#pragma once

#include "service/Components.h"

namespace tarvesk {

class FileSystem : public IFileSystem {
 public:
  std::vector<std::string> GetFilesInFolder(const std::string& folder,
                                            const std::string& pattern) override;
};

bool MatchesPattern(std::string_view name, std::string_view pattern);  // case-insensitive

}  // namespace tarvesk
