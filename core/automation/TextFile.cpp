// The files behind TextFile.h: opening a log for reading, the line reader, the whole-file
// line list (with its SSE2 scan for line breaks), file inspection and deletion. It runs past
// 400 lines because each operation keeps its POSIX and its Windows branch side by side, so
// that the two stay alike; split by operation they would drift apart.
#include "automation/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "automation/Error.h"
#include "automation/Text.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace tarvesk {
namespace {

// Reads of a whole file go through a buffer that stays in the processor's cache.
constexpr size_t kChunk = 1 << 18;
constexpr size_t kDecodePiece = 1 << 16;
// Headers and markers sit in the first few kilobytes of a log.
constexpr size_t kReaderBuffer = 4096, kFirstRead = 1024;

std::filesystem::path ToPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A file error whose description names the file: the standard text, ": " and the path.
[[noreturn]] void RaiseNamed(int32_t number, const std::string& path) {
  throw Error(number, StandardErrorText(number) + ": " + path);
}

// The VB error of a failed open or delete, from errno.
[[noreturn]] void RaiseFileError(int err, const std::string& path) {
  switch (err) {
    case ENOENT: {
      std::error_code ec;
      const auto parent = ToPath(path).parent_path();
      if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
        RaiseNamed(kPathNotFound, path);
      }
      RaiseNamed(kFileNotFound, path);
    }
    case ENOTDIR:
      RaiseNamed(kPathNotFound, path);
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
      RaiseNamed(kPermissionDenied, path);
    case ENAMETOOLONG:
      RaiseNamed(kBadFileName, path);
    case EMFILE:
    case ENFILE:
      RaiseNamed(kTooManyFiles, path);
    default:
      RaiseNamed(kPathFileAccessError, path);
  }
}

#ifndef _WIN32
// Errors of an open that find something other than a file: a FIFO or socket (ENXIO), a
// device without a driver, a loop of symbolic links.
bool IsNoFileError(int err) {
  return err == ELOOP || err == ENXIO || err == ENODEV || err == EISDIR;
}
#endif

#ifndef _WIN32
// The POSIX part of OpenForInput: a descriptor of a regular file, opened without waiting;
// -1 for something else when `irregular` is Skip.
int OpenDescriptor(const std::string& path, Irregular irregular) {
  if (path.empty()) throw Error(kBadFileName);
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (irregular == Irregular::Skip && IsNoFileError(err)) return -1;
    RaiseFileError(err, path);
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    if (irregular == Irregular::Skip) return -1;
    RaiseNamed(kPathFileAccessError, path);
  }
  return fd;
}
#endif

// Opens a file for reading. The open never waits (a FIFO with no writer would block it), and
// the handle must be a regular file: anything else - FIFO, device, folder, socket - is no
// log, whatever its name. nullptr for such a thing when `irregular` is Skip; else the
// errors are raised, each naming the file.
FileOwner OpenForInput(const std::string& path, Irregular irregular) {
  if (path.empty()) throw Error(kBadFileName);
#ifdef _WIN32
  FileOwner file(_wfopen(ToPath(path).c_str(), L"rb"));
  if (!file) RaiseFileError(errno, path);
  // CON.xml and the like name a device, not a file.
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.get())));
  BY_HANDLE_FILE_INFORMATION info;
  const bool regular = GetFileType(handle) == FILE_TYPE_DISK &&
                       GetFileInformationByHandle(handle, &info) &&
                       !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  if (!regular) {
    if (irregular == Irregular::Skip) return nullptr;
    RaiseNamed(kPathFileAccessError, path);
  }
  return file;
#else
  const int fd = OpenDescriptor(path, irregular);
  if (fd < 0) return nullptr;
  // Reads of a regular file never wait anyway; the flag goes for plain blocking reads.
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FileOwner file(fdopen(fd, "rb"));
  if (!file) {
    const int err = errno;
    close(fd);
    RaiseFileError(err, path);
  }
  return file;
#endif
}

}  // namespace

LineReader::LineReader(const std::string& path, Irregular irregular)
    : path_(path), file_(OpenForInput(path, irregular)) {
  // The reader has its own buffer; the stream's would copy each read once more.
  if (file_) std::setvbuf(file_.get(), nullptr, _IONBF, 0);
}

LineReader::~LineReader() = default;

bool LineReader::Fill() {
  if (eof_ || !file_) return false;
  // The first read asks for little: a marker or a header needs only the first lines.
  const bool first = !buffer_;
  if (first) buffer_ = std::make_unique_for_overwrite<char[]>(kReaderBuffer);
  begin_ = 0;
  end_ = std::fread(buffer_.get(), 1, first ? kFirstRead : kReaderBuffer, file_.get());
  if (end_ == 0) {
    if (std::ferror(file_.get())) RaiseNamed(kDeviceIOError, path_);
    eof_ = true;
    return false;
  }
  return true;
}

bool LineReader::ReadLine(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (begin_ == end_ && !Fill()) return any;
    any = true;
    const char* start = buffer_.get() + begin_;
    const void* cr = std::memchr(start, '\r', end_ - begin_);
    if (!cr) {
      AppendAnsiAsUtf8(line, std::string_view(start, end_ - begin_));
      begin_ = end_;
      continue;
    }
    const size_t length = static_cast<const char*>(cr) - start;
    AppendAnsiAsUtf8(line, std::string_view(start, length));
    begin_ += length + 1;
    if (begin_ == end_) Fill();
    if (begin_ < end_ && buffer_[begin_] == '\n') ++begin_;
    return true;
  }
}

std::string LineReader::ReadLineOrFail() {
  std::string line;
  if (!ReadLine(line)) RaiseNamed(kInputPastEndOfFile, path_);
  return line;
}

std::optional<size_t> ReadFileStart(const std::string& path, char* buffer, size_t limit,
                                    Irregular irregular, bool& whole,
                                    const std::function<bool(std::string_view)>& enough) {
  size_t got = 0;
  whole = false;
#ifdef _WIN32
  std::unique_ptr<std::FILE, FileCloser> file(OpenForInput(path, irregular));
  if (!file) return std::nullopt;
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  const auto readSome = [&](size_t n) {
    const size_t read = std::fread(buffer + got, 1, n, file.get());
    if (read < n && std::ferror(file.get())) RaiseNamed(57, path);
    return read;
  };
#else
  // The descriptor alone: no stream to set up for a read or two.
  const int fd = OpenDescriptor(path, irregular);
  if (fd < 0) return std::nullopt;
  struct FdCloser {
    int fd;
    ~FdCloser() { close(fd); }
  } closer{fd};
  const auto readSome = [&](size_t n) {
    size_t read = 0;
    while (read < n) {
      const ssize_t r = ::read(fd, buffer + got + read, n - read);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) RaiseNamed(57, path);
      if (r == 0) break;
      read += static_cast<size_t>(r);
    }
    return read;
  };
#endif
  // A little first: most of what is looked for sits in the first kilobyte.
  for (size_t step = std::min(kFirstRead, limit); got < limit && !whole; step = limit - got) {
    const size_t read = readSome(step);
    got += read;
    whole = read < step;
    if (enough(std::string_view(buffer, got))) break;
  }
  return got;
}

// High bytes of the ANSI text as UTF-8 (two or three bytes each), as AnsiToUtf8 has them.
struct HighByteTable {
  char bytes[128][3];
  uint8_t length[128];
  HighByteTable() {
    for (int b = 0; b < 128; ++b) {
      const std::string utf8 = AnsiToUtf8(std::string(1, static_cast<char>(b + 0x80)));
      length[b] = static_cast<uint8_t>(utf8.size());
      std::memcpy(bytes[b], utf8.data(), utf8.size());
    }
  }
};

// Collects the text and its line starts, chunk by chunk, in memory of its own.
class LineList::Builder {
 public:
  explicit Builder(uint64_t expected) {
    if (expected > static_cast<uint64_t>(SIZE_MAX / 2)) throw Error(kOutOfMemory);
    Reserve(static_cast<size_t>(expected + expected / 32) + 3 * kDecodePiece + 16);
    // A line of a log averages some 30 characters; more lines grow the index.
    starts_.reserve(static_cast<size_t>(expected / 24) + 2);
    starts_.push_back(0);
  }
  ~Builder() { std::free(text_); }

  // Room for n more characters at Tail().
  char* Tail(size_t n) {
    if (capacity_ - size_ < n) Reserve(std::max(size_ + n, capacity_ + capacity_ / 4));
    return text_ + size_;
  }
  // Appends ANSI text, decoded, and indexes it.
  void AppendAnsi(const char* ansi, size_t n) {
    const size_t from = size_;
    // A piece at a time: each high byte becomes at most three, and the copy stores whole
    // blocks of 16, so the room asked for stays small.
    for (size_t done = 0; done < n; done += kDecodePiece) {
      const size_t piece = std::min(kDecodePiece, n - done);
      size_ += Decode(ansi + done, piece, Tail(3 * piece + 16));
    }
    Index(from);
  }
  void Append(std::string_view utf8) {
    std::memcpy(Tail(utf8.size()), utf8.data(), utf8.size());
    const size_t from = size_;
    size_ += utf8.size();
    Index(from);
  }
  LineList Finish() {
    // A CR at the very end closes its line: the next line would start after it.
    if (pendingCr_) PushStart(size_);
    LineList list;
    // Text after the last break is a line of its own.
    if ((static_cast<uint64_t>(wraps_.size()) << 32 | starts_.back()) != size_) {
      PushStart(size_);
      list.openEnd_ = true;
    }
    list.size_ = size_;
    list.owner_ = std::shared_ptr<char>(text_, [](char* p) { std::free(p); });
    text_ = nullptr;
    list.text_ = list.owner_.get();
    list.starts_ = std::move(starts_);
    list.wraps_ = std::move(wraps_);
    return list;
  }

 private:
  void Reserve(size_t capacity) {
    // realloc of a large block moves pages, not bytes, where the system can.
    char* grown = static_cast<char*>(std::realloc(text_, capacity));
    if (!grown) throw Error(kOutOfMemory);
    text_ = grown;
    capacity_ = capacity;
  }

  // Writes the UTF-8 form of n ANSI characters to out; answers its length.
  static size_t Decode(const char* in, size_t n, char* const out) {
    static const HighByteTable table;
    const char* const end = in + n;
    char* to = out;
    while (in < end) {
#ifdef __SSE2__
      if (end - in >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), block);
        const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(block));
        if (high == 0) {
          in += 16, to += 16;
          continue;
        }
        const int ascii = std::countr_zero(high);
        in += ascii, to += ascii;
      }
#endif
      if (static_cast<signed char>(*in) >= 0) {
        *to++ = *in++;
        continue;
      }
      const unsigned b = static_cast<unsigned char>(*in++) - 0x80;
      std::memcpy(to, table.bytes[b], 3);
      to += table.length[b];
    }
    return static_cast<size_t>(to - out);
  }

  void PushStart(uint64_t start) {
    while (static_cast<uint64_t>(wraps_.size()) < start >> 32) wraps_.push_back(starts_.size());
    starts_.push_back(static_cast<uint32_t>(start));
  }

  // Notes the line starts in the text from `from` to the end.
  void Index(size_t from) {
    if (pendingCr_ && from < size_) {
      pendingCr_ = false;
      PushStart(from + (text_[from] == '\n' ? 1 : 0));
    }
    const char* p = text_ + from;
    const char* const end = text_ + size_;
#ifdef __SSE2__
    // Sixteen characters at a time: lines average some 30.
    const __m128i cr = _mm_set1_epi8('\r');
    for (; end - p >= 16; p += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      for (unsigned found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, cr)));
           found != 0; found &= found - 1) {
        NoteBreak(p + std::countr_zero(found), end);
      }
    }
#endif
    while (p < end) {
      const char* found =
          static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
      if (!found) break;
      NoteBreak(found, end);
      p = found + 1;
    }
  }

  // A CR at `at`: the next line starts after it, or after the LF that follows it.
  void NoteBreak(const char* at, const char* end) {
    if (at + 1 == end) {
      pendingCr_ = true;
    } else {
      PushStart(static_cast<uint64_t>(at + (at[1] == '\n' ? 2 : 1) - text_));
    }
  }

  char* text_ = nullptr;
  size_t size_ = 0, capacity_ = 0;
  bool pendingCr_ = false;
  std::vector<uint32_t> starts_;
  std::vector<size_t> wraps_;
};

LineList::LineList() : starts_{0} {}
LineList::~LineList() = default;
LineList::LineList(LineList&&) noexcept = default;
LineList& LineList::operator=(LineList&&) noexcept = default;

LineList LineList::ReadFile(const std::string& path) {
  FileOwner file(OpenForInput(path, Irregular::Raise));
  uint64_t expected = 0;
#ifdef _WIN32
  struct _stat64 info;  // sizes beyond 2 GiB
  if (_fstat64(_fileno(file.get()), &info) == 0 && info.st_size > 0) {
#else
  struct stat info;
  if (fstat(fileno(file.get()), &info) == 0 && info.st_size > 0) {
#endif
    expected = static_cast<uint64_t>(info.st_size);
  }
  try {
    Builder builder(expected);
    const auto chunk = std::make_unique_for_overwrite<char[]>(kChunk);
    for (;;) {
      const size_t got = std::fread(chunk.get(), 1, kChunk, file.get());
      if (got == 0) {
        if (std::ferror(file.get())) RaiseNamed(kDeviceIOError, path);
        break;
      }
      builder.AppendAnsi(chunk.get(), got);
    }
    return builder.Finish();
  } catch (const std::bad_alloc&) {
    throw Error(kOutOfMemory);
  } catch (const std::length_error&) {
    throw Error(kOutOfMemory);
  }
}

LineList LineList::FromText(std::string_view utf8Text) {
  Builder builder(utf8Text.size());
  builder.Append(utf8Text);
  return builder.Finish();
}

size_t LineList::LineAt(size_t hint, uint64_t offset) const {
  const uint64_t target = Start(first_) + offset;
  size_t k = first_ + hint;
  const size_t last = starts_.size() - 1;
  while (k < last && Start(k + 1) <= target) ++k;
  return k - first_;
}

void LineList::RemoveFirst(size_t n) { first_ += std::min(n, Count()); }

void LineList::RemoveLast() {
  if (Count() == 0) return;
  starts_.pop_back();
  while (!wraps_.empty() && wraps_.back() >= starts_.size()) wraps_.pop_back();
  openEnd_ = false;
}

std::optional<FileState> InspectFile(const std::string& path, size_t endBytes) {
  if (path.empty()) return std::nullopt;
  FileState state;
#ifdef _WIN32
  // Asking for the right to delete meets the writer's sharing mode.
  HANDLE handle = CreateFileW(ToPath(path).c_str(), GENERIC_READ | DELETE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (GetLastError() != ERROR_SHARING_VIOLATION) return std::nullopt;
    state.locked = true;
    return state;
  }
  struct HandleCloser {
    HANDLE h;
    ~HandleCloser() { CloseHandle(h); }
  } closer{handle};
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& t) {
    return static_cast<double>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime);
  };
  state.secondsSinceChange = (ticks(now) - ticks(info.ftLastWriteTime)) / 1e7;
  const uint64_t size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  const uint64_t from = size > endBytes ? size - endBytes : 0;
  LARGE_INTEGER offset;
  offset.QuadPart = static_cast<LONGLONG>(from);
  state.end.resize(static_cast<size_t>(size - from));
  DWORD got = 0;
  if (!SetFilePointerEx(handle, offset, nullptr, FILE_BEGIN) ||
      !ReadFile(handle, state.end.data(), static_cast<DWORD>(state.end.size()), &got, nullptr)) {
    got = 0;
  }
  state.end.resize(got);
#else
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
#endif
  return state;
}

std::optional<FolderStamp> StampOfFolder(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
  if (folder.empty()) return std::nullopt;
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(ToPath(folder).c_str(), GetFileExInfoStandard, &data) ||
      !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  const auto ticks = [](const FILETIME& t) {
    return static_cast<int64_t>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime);
  };
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return FolderStamp{ticks(data.ftLastWriteTime), ticks(data.ftCreationTime),
                     static_cast<double>(ticks(now) - ticks(data.ftLastWriteTime)) / 1e7};
#else
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  const auto nanoseconds = [](const timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
  };
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return FolderStamp{nanoseconds(info.st_mtim), nanoseconds(info.st_ctim),
                     static_cast<double>(nanoseconds(now) - nanoseconds(info.st_mtim)) / 1e9};
#endif
}

void DeleteFileOrFail(const std::string& path) {
  if (path.empty()) throw Error(kBadFileName);
  std::error_code ec;
  if (std::filesystem::is_directory(ToPath(path), ec)) RaiseNamed(kPathFileAccessError, path);
#ifdef _WIN32
  if (!DeleteFileW(ToPath(path).c_str())) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND) RaiseNamed(kFileNotFound, path);
    if (err == ERROR_PATH_NOT_FOUND) RaiseNamed(kPathNotFound, path);
    if (err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION) {
      RaiseNamed(kPermissionDenied, path);
    }
    RaiseNamed(kPathFileAccessError, path);
  }
#else
  // A read-only file stays, as on Windows, although the folder would allow the unlink.
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    RaiseNamed(kPermissionDenied, path);
  }
  if (std::remove(path.c_str()) != 0) RaiseFileError(errno, path);
#endif
}

}  // namespace tarvesk
