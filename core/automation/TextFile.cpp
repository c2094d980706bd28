// The files behind TextFile.h: opening a log for reading, the line reader, the start of a
// file read in one open, and the whole-file line list (with its SSE2 scan for line breaks).
#include "automation/TextFile.h"

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
#include "automation/System.h"
#include "automation/Text.h"

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

// Opens a file for reading. The open never waits (a FIFO with no writer would block it), and
// the handle must be a regular file: anything else - FIFO, device, folder, socket - is no
// log, whatever its name. nullptr for such a thing when `irregular` is Skip; else the
// errors are raised, each naming the file.
std::FILE* OpenForInput(const std::string& path, Irregular irregular) {
  if (path.empty()) throw Error(kBadFileName);
  const sys::OpenedFile opened = sys::OpenForReading(path);
  if (opened.noFile) {
    if (irregular == Irregular::Skip) return nullptr;
    RaiseNamed(kPathFileAccessError, path);
  }
  if (!opened.file) RaiseFileError(opened.err, path);
  return opened.file;
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
  if (path.empty()) throw Error(kBadFileName);
  const sys::RawFile file = sys::OpenRaw(path);
  if (file.noFile) {
    if (irregular == Irregular::Skip) return std::nullopt;
    RaiseNamed(kPathFileAccessError, path);
  }
  if (file.handle == -1) RaiseFileError(file.err, path);
  struct Closer {
    const sys::RawFile& file;
    ~Closer() { sys::CloseRaw(file); }
  } closer{file};
  const auto readSome = [&](size_t n) {
    const int64_t read = sys::ReadRaw(file, buffer + got, n);
    if (read < 0) RaiseNamed(kDeviceIOError, path);
    return static_cast<size_t>(read);
  };
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
  const uint64_t expected = sys::SizeOf(file.get()).value_or(0);
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

void DeleteFileOrFail(const std::string& path) {
  if (path.empty()) throw Error(kBadFileName);
  std::error_code ec;
  if (std::filesystem::is_directory(ToPath(path), ec)) RaiseNamed(kPathFileAccessError, path);
  if (const int err = sys::RemoveFile(path)) RaiseFileError(err, path);
}

}  // namespace tarvesk
