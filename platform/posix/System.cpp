// The operating system's part of the runtime on POSIX: files through file descriptors (an
// advisory flock tells a live log), Windows-1252 as the ANSI code page, no locale
// conversions of its own.
#include "automation/System.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

namespace tarvesk {
namespace sys {

OpenedFile OpenForReading(const std::string& path) {
  OpenedFile opened;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    opened.err = errno;
    // What an open meets that is no file: a FIFO or socket (ENXIO), a device without a
    // driver, a loop of symbolic links, a folder.
    opened.noFile =
        opened.err == ELOOP || opened.err == ENXIO || opened.err == ENODEV || opened.err == EISDIR;
    return opened;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    opened.noFile = true;
    return opened;
  }
  // Reads of a regular file never wait anyway; the flag goes for plain blocking reads.
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  opened.file = fdopen(fd, "rb");
  if (!opened.file) {
    opened.err = errno;
    close(fd);
  }
  return opened;
}

RawFile OpenRaw(const std::string& path) {
  RawFile raw;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    raw.err = errno;
    raw.noFile = raw.err == ELOOP || raw.err == ENXIO || raw.err == ENODEV || raw.err == EISDIR;
    return raw;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    raw.noFile = true;
    return raw;
  }
  raw.handle = fd;  // reads of a regular file never wait, O_NONBLOCK or not
  return raw;
}

int64_t ReadRaw(const RawFile& file, char* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t r = read(static_cast<int>(file.handle), buffer + done, n - done);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return static_cast<int64_t>(done);
}

void CloseRaw(const RawFile& file) {
  if (file.handle >= 0) close(static_cast<int>(file.handle));
}

std::optional<uint64_t> SizeOf(std::FILE* file) {
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || info.st_size < 0) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

int RemoveFile(const std::string& path) {
  // A read-only file stays, as on Windows, although the folder would allow the unlink.
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    return EACCES;
  }
  return std::remove(path.c_str()) == 0 ? 0 : errno;
}

std::optional<char32_t> SystemCodePoint(unsigned char) { return std::nullopt; }

std::optional<std::string> LocaleText(const Variant&) { return std::nullopt; }
std::optional<DateValue> LocaleDate(std::string_view) { return std::nullopt; }

}  // namespace sys

std::optional<FileState> InspectFile(const std::string& path, size_t endBytes) {
  if (path.empty()) return std::nullopt;
  FileState state;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct FdCloser {
    int fd;
    ~FdCloser() { close(fd); }
  } closer{fd};
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  // A shared lock is refused while the writer holds its exclusive one; taken, it goes
  // with the descriptor.
  if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
    state.locked = errno == EWOULDBLOCK;
  }
  const auto changed = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(info.st_mtim.tv_sec) +
          std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
  state.secondsSinceChange =
      std::chrono::duration<double>(std::chrono::system_clock::now() - changed).count();
  const auto size = static_cast<uint64_t>(info.st_size);
  const uint64_t from = size > endBytes ? size - endBytes : 0;
  state.end.resize(static_cast<size_t>(size - from));
  const ssize_t got = pread(fd, state.end.data(), state.end.size(), static_cast<off_t>(from));
  state.end.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return state;
}

std::optional<FolderStamp> StampOfFolder(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) return std::nullopt;
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  const auto nanoseconds = [](const timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
  };
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return FolderStamp{nanoseconds(info.st_mtim), nanoseconds(info.st_ctim),
                     static_cast<double>(nanoseconds(now) - nanoseconds(info.st_mtim)) / 1e9};
}

}  // namespace tarvesk
