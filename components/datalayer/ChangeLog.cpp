#include "components/datalayer/ChangeLog.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/TextFile.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <share.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace tarvesk {
namespace {

constexpr const char* kBreak = "\r\n";

std::filesystem::path ToPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// UTF-8 to Windows-1252; the encoders leave only characters that have a byte.
std::string ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const char32_t cp = NextCodePoint(utf8, pos);
    const auto byte = AnsiByteOf(cp);
    out += byte ? static_cast<char>(*byte) : '?';
  }
  return out;
}

void AppendReference(std::string& out, char32_t cp) {
  out += "&#";
  out += std::to_string(static_cast<uint32_t>(cp));
  out += ';';
}

bool IsAsciiLetter(char32_t cp) { return (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z'); }
bool IsAsciiDigit(char32_t cp) { return cp >= '0' && cp <= '9'; }

// Letters of Windows-1252 beyond ASCII; other characters are escaped in tag names.
bool IsAnsiLetter(char32_t cp) {
  if (cp >= 0xC0 && cp <= 0xFF) return cp != 0xD7 && cp != 0xF7;
  switch (cp) {
    case 0x160:
    case 0x161:
    case 0x152:
    case 0x153:
    case 0x17D:
    case 0x17E:
    case 0x178:
    case 0x192:
      return true;
    default:
      return false;
  }
}

void AppendNameEscape(std::string& out, char32_t cp) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, cp > 0xFFFF ? "_x%08X_" : "_x%04X_",
                static_cast<unsigned>(cp));
  out += buffer;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Creates the log and locks it for as long as it stays open, so that pruning leaves it
// alone: on Windows by a sharing mode that denies others writing and deleting, elsewhere by
// an exclusive advisory lock (flock: it belongs to this open file, and the system drops it
// when the process ends, however it ends).
std::FILE* CreateNew(const std::filesystem::path& path) {
#ifdef _WIN32
  return _wfsopen(path.c_str(), L"w+b", _SH_DENYWR);
#else
  std::FILE* file = std::fopen(path.c_str(), "w+bx");
  // A file system without locks leaves the log unlocked; pruning then goes by its end marker.
  if (file) flock(fileno(file), LOCK_EX | LOCK_NB);
  return file;
#endif
}

// Cuts the open file to size bytes; false when that fails.
bool Truncate(std::FILE* file, uint64_t size) {
#ifdef _WIN32
  return _chsize_s(_fileno(file), static_cast<long long>(size)) == 0;
#else
  return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
#endif
}

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

std::atomic<int> fileCounter{0};

}  // namespace

std::string EncodeLogText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 8);
  for (size_t pos = 0; pos < utf8.size();) {
    const char32_t cp = NextCodePoint(utf8, pos);
    switch (cp) {
      case '<':
        out += "&lt;";
        continue;
      case '>':
        out += "&gt;";
        continue;
      case '&':
        out += "&amp;";
        continue;
      case '"':
        out += "&quot;";
        continue;
      case '=':
        out += "&#61;";
        continue;
      case '\t':
        out += '\t';
        continue;
      default:
        break;
    }
    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || !AnsiByteOf(cp)) {
      AppendReference(out, cp);
    } else {
      AppendUtf8(out, cp);
    }
  }
  return out;
}

std::string EncodeTagName(std::string_view name) {
  std::string out;
  bool first = true;
  for (size_t pos = 0; pos < name.size(); first = false) {
    const size_t start = pos;
    const char32_t cp = NextCodePoint(name, pos);
    const bool plain = IsAsciiLetter(cp) || IsAnsiLetter(cp) ||
                       (!first && (IsAsciiDigit(cp) || cp == '-' || cp == '.')) ||
                       (cp == '_' && !(pos < name.size() && name[pos] == 'x'));
    if (plain) {
      out.append(name.substr(start, pos - start));
    } else {
      AppendNameEscape(out, cp);
    }
  }
  if (out == "ACTION") out = "_x0041_CTION";
  return out;
}

std::string DecodeTagName(std::string_view tag) {
  std::string out;
  size_t i = 0;
  while (i < tag.size()) {
    if (tag[i] == '_' && i + 1 < tag.size() && tag[i + 1] == 'x') {
      for (size_t digits : {size_t{4}, size_t{8}}) {
        const size_t end = i + 2 + digits;
        if (end >= tag.size() || tag[end] != '_') continue;
        char32_t cp = 0;
        bool ok = true;
        for (size_t k = i + 2; k < end && ok; ++k) {
          const int d = HexDigit(tag[k]);
          ok = d >= 0;
          cp = cp * 16 + static_cast<char32_t>(d);
        }
        if (!ok || cp > 0x10FFFF) continue;
        AppendUtf8(out, cp);
        i = end + 1;
        goto next;
      }
    }
    out += tag[i++];
  next:;
  }
  return out;
}

std::string DefaultLogFolder() {
  if (const char* value = std::getenv(kLogFolderVariable); value && *value) return value;
#ifdef _WIN32
  wchar_t buffer[1024];
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tarvesk\\DataLayer", L"LogFolder", RRF_RT_REG_SZ,
                   nullptr, buffer, &size) == ERROR_SUCCESS) {
    const std::u8string text = std::filesystem::path(buffer).u8string();
    return std::string(text.begin(), text.end());
  }
#endif
  return "";
}

DateValue LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return MakeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec)
      .value_or(DateValue{});
}

ChangeLogWriter::ChangeLogWriter(std::string folder, LogSession session)
    : folder_(std::move(folder)), session_(std::move(session)) {}

ChangeLogWriter::~ChangeLogWriter() = default;

void ChangeLogWriter::EnsureFile() {
  if (file_) return;
  std::error_code ec;
  const std::filesystem::path folder = ToPath(folder_);
  if (!std::filesystem::is_directory(folder, ec)) throw Error(kPathNotFound);

  // Session time first, so that the files list in the order of their sessions.
  const CivilDateTime t = SplitDate(session_.sessionTime);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "DataLayer_%04d%02d%02d_%02d%02d%02d_%d_", t.year, t.month,
                t.day, t.hour, t.minute, t.second, ProcessId());
  for (int attempt = 0; attempt < 1000 && !file_; ++attempt) {
    // The counter is padded so that the files of one second list in the order made.
    char counter[16];
    std::snprintf(counter, sizeof counter, "%06d", ++fileCounter);
    const std::string name = stamp + std::string(counter) + ".xml";
    const std::filesystem::path path = folder / ToPath(name);
    if (std::filesystem::exists(path, ec)) continue;
    file_.reset(CreateNew(path));
    if (file_) {
      const std::u8string text = path.u8string();
      path_.assign(text.begin(), text.end());
    } else if (errno != EEXIST) {
      throw Error(errno == EACCES || errno == EROFS ? kPermissionDenied : kPathFileAccessError);
    }
  }
  if (!file_) throw Error(kPathFileAccessError);

  std::string head = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>";
  head += kBreak;
  head += "<TarveskDataLayerLog>";
  head += kBreak;
  head += "<HEAD>";
  head += kBreak;
  const std::pair<const char*, std::string> properties[] = {
      {"DATABASE", session_.database},
      {"SESSIONTIME", FormatDate(session_.sessionTime)},
      {"USER", session_.user},
      {"COMPUTER", session_.computer},
      {"APPLICATION", session_.application}};
  for (const auto& [tag, value] : properties) {
    head += std::string("<") + tag + ">" + EncodeLogText(value) + "</" + tag + ">" + kBreak;
  }
  head += "</HEAD>";
  head += kBreak;
  head += "<LOGDATA>";
  head += kBreak;
  tailOffset_ = 0;
  fileSize_ = 0;
  WriteBlockAndTail(ToAnsi(head));
}

std::string ChangeLogWriter::Tail() const {
  std::string tail = "</LOGDATA>";
  tail += kBreak;
  if (errorCount_ > 0) {
    tail += "<ERRORINFO>" + EncodeLogText(errorInfo_) + "</ERRORINFO>" + kBreak;
    tail += "<ERRORCOUNT>" + std::to_string(errorCount_) + "</ERRORCOUNT>" + kBreak;
  }
  tail += "</TarveskDataLayerLog>";
  tail += kBreak;
  return ToAnsi(tail);
}

void ChangeLogWriter::WriteBlockAndTail(const std::string& block) {
  const std::string tail = Tail();
  std::FILE* file = file_.get();
  if (std::fseek(file, static_cast<long>(tailOffset_), SEEK_SET) != 0 ||
      std::fwrite(block.data(), 1, block.size(), file) != block.size() ||
      std::fwrite(tail.data(), 1, tail.size(), file) != tail.size() || std::fflush(file) != 0) {
    throw Error(kDeviceIOError);
  }
  tailOffset_ += block.size();
  const uint64_t end = tailOffset_ + tail.size();
  // The tail only grows, so this is for safety: never leave an old tail's end behind.
  if (end < fileSize_ && !Truncate(file, end)) throw Error(kDeviceIOError);
  fileSize_ = end;
}

void ChangeLogWriter::AppendAction(const std::string& kind, const std::string& recordId,
                                   const std::vector<LogField>& lines) {
  EnsureFile();
  std::string block = "<ACTION Info=\"" + EncodeLogText(kind) +
                      " RECORDID=" + EncodeLogText(recordId) + "\">" + kBreak;
  for (const LogField& line : lines) {
    block += "<" + line.tag + ">" + EncodeLogText(line.value) + "</" + line.tag + ">" + kBreak;
  }
  block += "</ACTION>";
  block += kBreak;
  WriteBlockAndTail(ToAnsi(block));
}

void ChangeLogWriter::SetErrors(const std::string& errorInfo, int32_t errorCount) {
  errorInfo_ = errorInfo;
  errorCount_ = errorCount;
  EnsureFile();
  WriteBlockAndTail("");
}

}  // namespace tarvesk
