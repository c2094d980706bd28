// The operating system's part of the runtime on Windows: files through wide paths and
// handles (a sharing mode that denies deletion tells a live log), the system's ANSI code
// page, and the OLE conversions of the user's locale, as a VB program's CStr and CDate use
// them.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// after windows.h
#include <io.h>
#include <oleauto.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <filesystem>

#include "automation/System.h"
#include "automation/Text.h"

namespace tarvesk {
namespace {

std::filesystem::path ToPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A BSTR made by an OLE conversion as UTF-8, freed here.
std::string TakeBstr(BSTR text) {
  std::string out =
      Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text)));
  SysFreeString(text);
  return out;
}

}  // namespace

namespace sys {

OpenedFile OpenForReading(const std::string& path) {
  OpenedFile opened;
  std::FILE* file = _wfopen(ToPath(path).c_str(), L"rb");
  if (!file) {
    opened.err = errno;
    return opened;
  }
  // CON.xml and the like name a device, not a file.
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  BY_HANDLE_FILE_INFORMATION info;
  const bool regular = GetFileType(handle) == FILE_TYPE_DISK &&
                       GetFileInformationByHandle(handle, &info) &&
                       !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  if (!regular) {
    std::fclose(file);
    opened.noFile = true;
    return opened;
  }
  opened.file = file;
  return opened;
}

RawFile OpenRaw(const std::string& path) {
  const OpenedFile opened = OpenForReading(path);
  RawFile raw{-1, opened.err, opened.noFile};
  if (!opened.file) return raw;
  std::setvbuf(opened.file, nullptr, _IONBF, 0);  // no buffer to fill for a read or two
  raw.handle = reinterpret_cast<intptr_t>(opened.file);
  return raw;
}

int64_t ReadRaw(const RawFile& file, char* buffer, size_t n) {
  std::FILE* stream = reinterpret_cast<std::FILE*>(file.handle);
  const size_t read = std::fread(buffer, 1, n, stream);
  return read < n && std::ferror(stream) ? -1 : static_cast<int64_t>(read);
}

void CloseRaw(const RawFile& file) {
  if (file.handle != -1) std::fclose(reinterpret_cast<std::FILE*>(file.handle));
}

std::optional<uint64_t> SizeOf(std::FILE* file) {
  struct _stat64 info;  // sizes beyond 2 GiB
  if (_fstat64(_fileno(file), &info) != 0 || info.st_size < 0) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

int RemoveFile(const std::string& path) {
  if (DeleteFileW(ToPath(path).c_str())) return 0;
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
      return ENOENT;
    case ERROR_PATH_NOT_FOUND:
      return ENOTDIR;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    default:
      return EIO;
  }
}

// Windows decodes with the system's ANSI code page, byte by byte (the logs are single-byte
// text).
std::optional<char32_t> SystemCodePoint(unsigned char b) {
  static const std::array<std::optional<char32_t>, 256> table = [] {
    std::array<std::optional<char32_t>, 256> codePoints{};
    for (int i = 0; i < 256; ++i) {
      const char byte = static_cast<char>(i);
      wchar_t wide = 0;
      if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &wide, 1) == 1) {
        codePoints[i] = static_cast<char32_t>(wide);
      }
    }
    return codePoints;
  }();
  return table[b];
}

std::optional<std::string> LocaleText(const Variant& value) {
  BSTR text = nullptr;
  HRESULT hr = E_FAIL;
  switch (value.GetType()) {
    case Variant::Type::Boolean:
      hr = VarBstrFromBool(value.AsBool() ? VARIANT_TRUE : VARIANT_FALSE, LOCALE_USER_DEFAULT,
                           VAR_LOCALBOOL, &text);
      break;
    case Variant::Type::Double:
      hr = VarBstrFromR8(value.AsDouble(), LOCALE_USER_DEFAULT, 0, &text);
      break;
    case Variant::Type::Date:
      hr = VarBstrFromDate(value.AsDate().serial, LOCALE_USER_DEFAULT, 0, &text);
      break;
    default:
      return std::nullopt;
  }
  if (FAILED(hr)) return std::nullopt;
  return TakeBstr(text);
}

std::optional<DateValue> LocaleDate(std::string_view text) {
  std::u16string wide = Utf8ToUtf16(text);
  DATE date = 0;
  if (!wide.empty() && SUCCEEDED(VarDateFromStr(reinterpret_cast<LPOLESTR>(wide.data()),
                                                LOCALE_USER_DEFAULT, 0, &date))) {
    return DateValue{date};
  }
  return std::nullopt;
}

}  // namespace sys

std::optional<FileState> InspectFile(const std::string& path, size_t endBytes) {
  if (path.empty()) return std::nullopt;
  FileState state;
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
  return state;
}

std::optional<FolderStamp> StampOfFolder(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  if (folder.empty()) return std::nullopt;
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
}

}  // namespace tarvesk
