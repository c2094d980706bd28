// What the runtime asks of the operating system: opening and measuring files, looking at a
// log another process may be writing, deleting a file, the system's code page and the
// user's locale. One implementation per platform, chosen by file in CMake
// (platform/posix/System.cpp, platform/windows/System.cpp, the library tarvesk_system),
// so that no file of the core holds code of one platform.
//
// None of these raises: a failure is answered as an errno value or nullopt, and the
// runtime (TextFile.cpp, Conversions.cpp, Text.cpp) turns it into its error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "automation/Variant.h"

namespace tarvesk {
namespace sys {

// How an open for reading went.
struct OpenedFile {
  std::FILE* file = nullptr;  // the caller owns it; nullptr when not opened
  int err = 0;                // errno of a failed open
  bool noFile = false;        // something other than a regular file: FIFO, device, folder
};
// Opens a file (path UTF-8) for reading without waiting: a FIFO with no writer would block
// a plain open. Only a regular file is handed out.
OpenedFile OpenForReading(const std::string& path);
// A regular file opened for a few reads from its start, with no stream set up: a descriptor
// on POSIX, an unbuffered stream on Windows. handle is -1 when not opened (err and noFile
// then say why, as for OpenForReading).
struct RawFile {
  intptr_t handle = -1;
  int err = 0;
  bool noFile = false;
};
RawFile OpenRaw(const std::string& path);
// Reads up to n bytes; how many it read (fewer only at the end), or -1 on a read error.
int64_t ReadRaw(const RawFile& file, char* buffer, size_t n);
void CloseRaw(const RawFile& file);

// The size of an open file in bytes; nullopt when it cannot be told.
std::optional<uint64_t> SizeOf(std::FILE* file);

// Deletes a file that is not read-only; 0, or the errno value of the failure (ENOENT,
// ENOTDIR for a missing folder, EACCES for a file in use or read-only).
int RemoveFile(const std::string& path);

// The code point of a byte of 8-bit text in the system's ANSI code page; nullopt where the
// system has none of its own (the runtime then reads Windows-1252) or does not map it.
std::optional<char32_t> SystemCodePoint(unsigned char byte);

// A truth value, number or date as the user's locale writes it, and a date read as the
// user's locale reads it; nullopt where the system has no locale conversion or it fails.
std::optional<std::string> LocaleText(const Variant& value);
std::optional<DateValue> LocaleDate(std::string_view text);

}  // namespace sys

// What pruning asks of a file before it deletes it. The data layer holds a lock on the log
// it writes (an advisory flock elsewhere; on Windows a sharing mode that denies writing and
// deletion to others), so `locked` tells a live log from a finished one.
struct FileState {
  bool locked = false;
  double secondsSinceChange = 0;  // negative for a change time in the future
  std::string end;                // the last bytes, as they stand in the file
};
// Looks at the file without waiting on it; nullopt when it is no regular file or cannot be
// opened.
std::optional<FileState> InspectFile(const std::string& path, size_t endBytes);

// When a folder last changed: a file created, removed or renamed in it changes the stamp,
// unless the folder had changed just before within the clock's granularity (file times
// may tick in steps of milliseconds), so a stamp tells something only once it is older.
struct FolderStamp {
  int64_t changed = 0, other = 0;
  double secondsSinceChange = 0;  // when stamped
  bool operator==(const FolderStamp& o) const { return changed == o.changed && other == o.other; }
  bool Settled() const { return secondsSinceChange > 0.1; }
};
// nullopt when path names no folder.
std::optional<FolderStamp> StampOfFolder(const std::string& path);

}  // namespace tarvesk
