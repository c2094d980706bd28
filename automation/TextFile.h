// Reading of 8-bit ANSI log files. Each reading opens the file, reads and closes it within
// one operation. Failures raise the VB file errors (52, 53, 62, 70, 75, 76).
//
// LineReader reads a file's first lines without reading the rest (for markers and
// headers). LineList holds a whole file as lines in one buffer, so that a log of millions
// of lines costs little more than its text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvesk {

class LineReader {
 public:
  explicit LineReader(const std::string& path);  // raises the open errors
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Reads the next line (decoded to UTF-8); false at the end of the file.
  bool ReadLine(std::string& line);
  // As ReadLine, but the end of the file raises error 62.
  std::string ReadLineOrFail();

 private:
  bool Fill();

  std::FILE* file_;
  std::unique_ptr<char[]> buffer_;
  size_t begin_ = 0, end_ = 0;
  bool eof_ = false;
};

class LineList {
 public:
  LineList() = default;
  static LineList ReadFile(const std::string& path);  // raises the open and read errors
  static LineList FromText(std::string_view utf8Text);

  size_t Count() const { return starts_.empty() ? 0 : starts_.size() - 1 - first_; }
  // Line i, 0-based; the caller has checked i < Count().
  std::string_view Line(size_t i) const {
    const size_t k = first_ + i;
    return std::string_view(text_).substr(starts_[k], starts_[k + 1] - starts_[k]);
  }
  void RemoveFirst(size_t n);  // clipped at Count()
  void RemoveLast();           // nothing when empty

 private:
  void Append(std::string_view ansiChunk, bool& pendingCr);
  void Finish(bool pendingCr);

  std::string text_;              // all lines, without their breaks
  std::vector<uint64_t> starts_;  // start of each line, then the end of the last
  size_t first_ = 0;              // lines before it were removed
};

// Deletes a file; raises 53, 70, 75 or 76 when that fails.
void DeleteFileOrFail(const std::string& path);

// The folder separator of the platform: "\" on Windows, "/" elsewhere.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace tarvesk
