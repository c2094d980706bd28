#include "components/filesystem/FileSystem.h"

#include <algorithm>
#include <filesystem>

#include "automation/Error.h"

namespace tarvesk {
namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive name order; names that differ only in case keep a fixed order.
bool LessFolded(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(Fold(a[i]));
    const auto y = static_cast<unsigned char>(Fold(b[i]));
    if (x != y) return x < y;
  }
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::string ToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  // Greedy wildcard match with one back-tracking point for the last "*".
  size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
      ++n, ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> FileSystem::GetFilesInFolder(const std::string& folder,
                                                      const std::string& pattern) {
  if (folder.empty()) throw Error(kPathNotFound);
  const std::filesystem::path path(std::u8string(folder.begin(), folder.end()));
  std::error_code ec;
  if (!std::filesystem::is_directory(path, ec)) throw Error(kPathNotFound);
  std::vector<std::string> names;
  std::filesystem::directory_iterator it(path, ec);
  if (ec)
    throw Error(ec == std::errc::permission_denied ? kPermissionDenied : kPathFileAccessError);
  for (const auto& entry : it) {
    std::error_code typeError;
    if (!entry.is_regular_file(typeError)) continue;
    std::string name = ToUtf8(entry.path().filename());
    if (MatchesPattern(name, pattern)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), LessFolded);
  return names;
}

}  // namespace tarvesk
