#include "automation/TextFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "automation/Error.h"
#include "automation/Text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tarvesk {
namespace {

constexpr size_t kChunk = 1 << 20;
// Headers and markers sit in the first few kilobytes of a log.
constexpr size_t kReaderBuffer = 4096;

std::filesystem::path ToPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The VB error of a failed open or delete, from errno.
[[noreturn]] void RaiseFileError(int err, const std::string& path) {
  switch (err) {
    case ENOENT: {
      std::error_code ec;
      const auto parent = ToPath(path).parent_path();
      if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) throw Error(kPathNotFound);
      throw Error(kFileNotFound);
    }
    case ENOTDIR:
      throw Error(kPathNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
      throw Error(kPermissionDenied);
    case ENAMETOOLONG:
      throw Error(kBadFileName);
    case EMFILE:
    case ENFILE:
      throw Error(67);
    default:
      throw Error(kPathFileAccessError);
  }
}

std::FILE* OpenForInput(const std::string& path) {
  if (path.empty()) throw Error(kBadFileName);
#ifdef _WIN32
  std::FILE* file = _wfopen(ToPath(path).c_str(), L"rb");
#else
  std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
  if (!file) RaiseFileError(errno, path);
  struct stat info;
  if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    throw Error(kPathFileAccessError);
  }
  return file;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

LineReader::LineReader(const std::string& path) : file_(OpenForInput(path)) {}

LineReader::~LineReader() { std::fclose(file_); }

bool LineReader::Fill() {
  if (eof_) return false;
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kReaderBuffer);
  begin_ = 0;
  end_ = std::fread(buffer_.get(), 1, kReaderBuffer, file_);
  if (end_ == 0) {
    if (std::ferror(file_)) throw Error(57);
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
  if (!ReadLine(line)) throw Error(kInputPastEndOfFile);
  return line;
}

void LineList::Append(std::string_view chunk, bool& pendingCr) {
  size_t i = 0;
  if (pendingCr && !chunk.empty()) {
    pendingCr = false;
    if (chunk[0] == '\n') i = 1;
  }
  while (i < chunk.size()) {
    size_t j = i;
    while (j < chunk.size() && chunk[j] != '\r' && static_cast<signed char>(chunk[j]) >= 0) ++j;
    text_.append(chunk.data() + i, j - i);
    if (j == chunk.size()) break;
    if (chunk[j] == '\r') {
      starts_.push_back(text_.size());
      if (j + 1 == chunk.size()) {
        pendingCr = true;
      } else if (chunk[j + 1] == '\n') {
        ++j;
      }
      i = j + 1;
    } else {
      AppendAnsiAsUtf8(text_, chunk.substr(j, 1));
      i = j + 1;
    }
  }
}

void LineList::Finish(bool /*pendingCr*/) {
  // starts_ holds the start of line 1 and the end of every line closed by a break; text
  // after the last break is a line of its own.
  if (starts_.back() != text_.size()) starts_.push_back(text_.size());
}

LineList LineList::ReadFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(OpenForInput(path));
  LineList list;
  struct stat info;
  if (fstat(fileno(file.get()), &info) == 0 && info.st_size > 0) {
    list.text_.reserve(static_cast<size_t>(info.st_size) + static_cast<size_t>(info.st_size) / 32);
    list.starts_.reserve(static_cast<size_t>(info.st_size) / 40 + 2);
  }
  list.starts_.push_back(0);
  std::vector<char> chunk(kChunk);
  bool pendingCr = false;
  for (;;) {
    const size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (got == 0) {
      if (std::ferror(file.get())) throw Error(57);
      break;
    }
    list.Append(std::string_view(chunk.data(), got), pendingCr);
  }
  list.Finish(pendingCr);
  return list;
}

LineList LineList::FromText(std::string_view utf8Text) {
  LineList list;
  list.starts_.push_back(0);
  for (size_t i = 0; i < utf8Text.size(); ++i) {
    if (utf8Text[i] == '\r') {
      list.starts_.push_back(list.text_.size());
      if (i + 1 < utf8Text.size() && utf8Text[i + 1] == '\n') ++i;
    } else {
      list.text_ += utf8Text[i];
    }
  }
  list.Finish(false);
  return list;
}

void LineList::RemoveFirst(size_t n) { first_ += std::min(n, Count()); }

void LineList::RemoveLast() {
  if (Count() > 0) starts_.pop_back();
}

void DeleteFileOrFail(const std::string& path) {
  if (path.empty()) throw Error(kBadFileName);
  std::error_code ec;
  if (std::filesystem::is_directory(ToPath(path), ec)) throw Error(kPathFileAccessError);
#ifdef _WIN32
  if (!DeleteFileW(ToPath(path).c_str())) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND) throw Error(kFileNotFound);
    if (err == ERROR_PATH_NOT_FOUND) throw Error(kPathNotFound);
    if (err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION)
      throw Error(kPermissionDenied);
    throw Error(kPathFileAccessError);
  }
#else
  // A read-only file stays, as on Windows, although the folder would allow the unlink.
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    throw Error(kPermissionDenied);
  }
  if (std::remove(path.c_str()) != 0) RaiseFileError(errno, path);
#endif
}

}  // namespace tarvesk
