// Test support: temporary folders and log files written as the data layer writes them
// (Windows-1252 bytes, CR LF).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarvesk::test {

// A fresh folder under the system's temp folder, removed with the object.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string Str() const { return path_.string(); }
  std::string FileStr(const std::string& name) const { return (path_ / name).string(); }

  // Writes raw bytes.
  void WriteBytes(const std::string& name, const std::string& bytes) const;
  // Writes UTF-8 text as Windows-1252 bytes (every character must have one).
  void WriteAnsi(const std::string& name, const std::string& utf8) const;
  // Writes the lines as Windows-1252, each ended by CR LF.
  void WriteLines(const std::string& name, const std::vector<std::string>& lines) const;

 private:
  std::filesystem::path path_;
};

std::string Utf8ToAnsi(const std::string& utf8);

// A complete log: marker, header (DATABASE, SESSIONTIME, extra), <LOGDATA>, body, tail.
std::vector<std::string> LogLines(const std::string& database, const std::string& sessionTime,
                                  const std::vector<std::string>& body,
                                  const std::string& errorInfo = "");

}  // namespace tarvesk::test
