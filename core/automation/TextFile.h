// Reading of 8-bit ANSI log files. Each reading opens the file, reads and closes it within
// one operation. Failures raise the VB file errors (52, 53, 57, 62, 70, 75, 76), whose
// descriptions name the file. Only regular files are read: an open never waits on a FIFO.
//
// LineReader reads a file's first lines without reading the rest (for markers and
// headers). LineList holds a whole file as its decoded text in one block plus the start
// of each line (4 bytes a line), so that a log of millions of lines costs little more
// than its text and hands out lines without copying them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/FileOwner.h"
#include "automation/System.h"  // InspectFile, StampOfFolder

namespace tarvesk {

// What opening a path that is no regular file (a FIFO, a device, a folder, a loop of
// symbolic links) does: raise error 75 naming it, or leave the reader without a file.
enum class Irregular { Raise, Skip };

class LineReader {
 public:
  // Raises the open errors; their descriptions name the file.
  explicit LineReader(const std::string& path, Irregular irregular = Irregular::Raise);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // False when Irregular::Skip met something that is no regular file.
  bool IsOpen() const { return file_ != nullptr; }
  // Reads the next line (decoded to UTF-8); false at the end of the file (or without one).
  bool ReadLine(std::string& line);
  // As ReadLine, but the end of the file raises error 62.
  std::string ReadLineOrFail();

 private:
  bool Fill();

  std::string path_;
  FileOwner file_;
  std::unique_ptr<char[]> buffer_;
  size_t begin_ = 0, end_ = 0;
  bool eof_ = false;
};

// Opens the file, reads at most `limit` bytes of its start into buffer and closes it: the
// marker and the header of a log in one go. Reads a first kilobyte, then the rest up to
// limit unless enough(bytes read) answers true. Answers how many bytes it read; `whole`
// tells whether that was the whole file. nullopt for what Irregular::Skip skips; raises
// the errors of LineReader and ReadLine.
std::optional<size_t> ReadFileStart(const std::string& path, char* buffer, size_t limit,
                                    Irregular irregular, bool& whole,
                                    const std::function<bool(std::string_view)>& enough);

class LineList {
 public:
  LineList();
  ~LineList();
  LineList(LineList&&) noexcept;
  LineList& operator=(LineList&&) noexcept;
  LineList(const LineList&) = delete;
  LineList& operator=(const LineList&) = delete;

  // Raises the open and read errors, and 7 when the text does not fit in memory.
  static LineList ReadFile(const std::string& path);
  static LineList FromText(std::string_view utf8Text);

  size_t Count() const { return starts_.size() - 1 - first_; }
  // Line i, 0-based, without its break; the caller has checked i < Count().
  std::string_view Line(size_t i) const {
    const size_t k = first_ + i;
    const uint64_t begin = Start(k), next = Start(k + 1);
    if (k + 2 == starts_.size() && openEnd_) return {text_ + begin, next - begin};
    // The break is CR LF when the next line starts after a LF, else CR.
    return {text_ + begin, next - begin - (text_[next - 1] == '\n' ? 2 : 1)};
  }
  // The text from the start of line 0 to the end of the text, breaks and tail included:
  // where a scan for a word finds it. Offset(i) is where line i starts in it, LineAt the
  // line that holds an offset (Count() past the last line), looked for from line `hint` on.
  std::string_view Text() const {
    const uint64_t begin = Start(first_);
    return {text_ + begin, static_cast<size_t>(size_ - begin)};
  }
  uint64_t Offset(size_t i) const { return Start(first_ + i) - Start(first_); }
  size_t LineAt(size_t hint, uint64_t offset) const;
  // Keeps the text alive for views into it that outlive the list.
  std::shared_ptr<const void> Owner() const { return owner_; }

  void RemoveFirst(size_t n);  // clipped at Count()
  void RemoveLast();           // nothing when empty

 private:
  class Builder;
  uint64_t Start(size_t k) const {
    uint64_t high = 0;
    if (!wraps_.empty()) {
      high =
          static_cast<uint64_t>(std::upper_bound(wraps_.begin(), wraps_.end(), k) - wraps_.begin());
    }
    return high << 32 | starts_[k];
  }

  // The decoded text (UTF-8) with its line breaks, in one block; a line is a view into it.
  std::shared_ptr<char> owner_;
  const char* text_ = nullptr;
  uint64_t size_ = 0;
  // The start of each line, then where a next line would start: the low 32 bits. Texts
  // beyond 4 GiB list in wraps_ each line from which on 4 GiB more are to be added.
  std::vector<uint32_t> starts_;
  std::vector<size_t> wraps_;
  size_t first_ = 0;      // lines before it were removed
  bool openEnd_ = false;  // the last line ends at the end of the text, without a break
};

// Deletes a file; raises 53, 70, 75 or 76, naming it, when that fails.
void DeleteFileOrFail(const std::string& path);

// The folder separator of the platform: "\" on Windows, "/" elsewhere.
inline constexpr char kPathSeparator =
    static_cast<char>(std::filesystem::path::preferred_separator);

}  // namespace tarvesk
