// Support for the libFuzzer targets: a folder of the target's own for the files a target
// writes, and the environment of the reference components, both once per process; the input
// as the one log file of a loaded set.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "automation/Error.h"
#include "fileset/FileSet.h"
#include "platform/posix/PosixEnvironment.h"

namespace tarvesk::fuzz {

// A fresh folder, made at the first call (in /dev/shm where there is one: the targets
// write a file per input), removed when the process ends.
inline const std::string& Folder() {
  static const std::string folder = [] {
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? "/dev/shm"
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "tarvesk-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    static const std::string removed = pattern;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(removed, ec);
    });
    return pattern;
  }();
  return folder;
}

// The environment of the targets: the reference components, messages on stderr.
inline Environment& TheEnvironment() {
  static PosixEnvironment environment;
  return environment;
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string_view Bytes(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Writes the input as the one log of the folder and hands read the set that loaded it (when
// it holds that one file). Only the core's own errors may come out; the set is ejected.
template <class Read>
void WithLogFile(const uint8_t* data, size_t size, Read read) {
  WriteFile(Folder() + "/log.xml", Bytes(data, size));
  auto set = std::make_shared<FileSet>(TheEnvironment());
  try {
    if (set->LoadFileSet(Folder()) && set->FileCount() == 1) read(*set);
  } catch (const Error&) {
  }
  set->EjectFileset();
}

}  // namespace tarvesk::fuzz
