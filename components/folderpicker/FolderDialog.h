// The system's folder dialog, for the folder picker TarveskFileManager.clsFileManager:
// picks folders only, with a title and a start folder. Windows only.
#pragma once

#include <string>

namespace tarvesk {

// The chosen folder's full path (UTF-8), or "" when the user cancels or no dialog can be
// shown. An empty or missing startFolder leaves the start to the system. Modal; the
// calling thread must have initialised COM (apartment).
std::string ShowFolderDialog(const std::string& title, const std::string& startFolder);

}  // namespace tarvesk
