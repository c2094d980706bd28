// Test support: temporary folders, logs as the data layer writes them, errors a call raises.
#pragma once

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace tarvesk::test {

// A fresh folder under parent, removed with everything in it (read-only files too).
class TempFolder {
 public:
  explicit TempFolder(const std::filesystem::path& parent = std::filesystem::temp_directory_path());
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string Path() const { return path_.string(); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  void WriteBytes(const std::string& name, const std::string& bytes) const;
  // Writes the lines (UTF-8) as Windows-1252, each ended by CR LF.
  void WriteLines(const std::string& name, const std::vector<std::string>& lines) const;

 private:
  std::filesystem::path path_;
};

inline size_t EntriesIn(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

// A complete log as the data layer writes it ("-" leaves DATABASE or SESSIONTIME out).
std::vector<std::string> LogLines(const std::string& database, const std::string& sessionTime,
                                  const std::vector<std::string>& body,
                                  const std::string& errorInfo = "");

// The number and the description of the error that call raises; 0 and "" for none.
int32_t ErrorNumberOf(const std::function<void()>& call);
std::string ErrorTextOf(const std::function<void()>& call);

inline std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace tarvesk::test
