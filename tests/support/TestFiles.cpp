#include "tests/support/TestFiles.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <stdexcept>

#include "automation/Text.h"

namespace tarvesk::test {
namespace {

std::atomic<int> counter{0};

}  // namespace

TempFolder::TempFolder() {
  path_ = std::filesystem::temp_directory_path() /
          ("tarvesk-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ec;
  // Read-only files of a test must not stay behind.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ec)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

void TempFolder::WriteBytes(const std::string& name, const std::string& bytes) const {
  std::ofstream out(path_ / name, std::ios::binary);
  out << bytes;
}

std::string Utf8ToAnsi(const std::string& utf8) {
  std::string out;
  for (size_t pos = 0; pos < utf8.size();) {
    const auto byte = AnsiByteOf(NextCodePoint(utf8, pos));
    if (!byte) throw std::invalid_argument("no Windows-1252 byte for a character of " + utf8);
    out += static_cast<char>(*byte);
  }
  return out;
}

void TempFolder::WriteAnsi(const std::string& name, const std::string& utf8) const {
  WriteBytes(name, Utf8ToAnsi(utf8));
}

void TempFolder::WriteLines(const std::string& name, const std::vector<std::string>& lines) const {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  WriteAnsi(name, text);
}

std::vector<std::string> LogLines(const std::string& database, const std::string& sessionTime,
                                  const std::vector<std::string>& body,
                                  const std::string& errorInfo) {
  std::vector<std::string> lines = {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>",
                                    "<TarveskDataLayerLog>",
                                    "<HEAD>",
                                    "<DATABASE>" + database + "</DATABASE>",
                                    "<SESSIONTIME>" + sessionTime + "</SESSIONTIME>",
                                    "<USER>test</USER>",
                                    "</HEAD>",
                                    "<LOGDATA>"};
  lines.insert(lines.end(), body.begin(), body.end());
  lines.push_back("</LOGDATA>");
  if (!errorInfo.empty()) {
    lines.push_back("<ERRORINFO>" + errorInfo + "</ERRORINFO>");
    lines.push_back("<ERRORCOUNT>1</ERRORCOUNT>");
  }
  lines.push_back("</TarveskDataLayerLog>");
  return lines;
}

}  // namespace tarvesk::test
