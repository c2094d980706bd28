#include "tests/support/TestFiles.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "automation/Error.h"
#include "automation/Text.h"

namespace tarvesk::test {

TempFolder::TempFolder(const std::filesystem::path& parent) {
  std::string pattern = (parent / "tarvesk-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
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

void TempFolder::WriteLines(const std::string& name, const std::vector<std::string>& lines) const {
  std::string text;
  for (const auto& line : lines) {
    for (size_t pos = 0; pos < line.size();) {
      const auto byte = AnsiByteOf(NextCodePoint(line, pos));
      if (!byte) throw std::invalid_argument("no Windows-1252 byte for a character of " + line);
      text += static_cast<char>(*byte);
    }
    text += "\r\n";
  }
  WriteBytes(name, text);
}

std::vector<std::string> LogLines(const std::string& database, const std::string& sessionTime,
                                  const std::vector<std::string>& body,
                                  const std::string& errorInfo) {
  std::vector<std::string> lines = {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>",
                                    "<TarveskDataLayerLog>", "<HEAD>"};
  if (database != "-") lines.push_back("<DATABASE>" + database + "</DATABASE>");
  if (sessionTime != "-") lines.push_back("<SESSIONTIME>" + sessionTime + "</SESSIONTIME>");
  lines.insert(lines.end(), {"<USER>test</USER>", "</HEAD>", "<LOGDATA>"});
  lines.insert(lines.end(), body.begin(), body.end());
  lines.push_back("</LOGDATA>");
  if (!errorInfo.empty()) {
    lines.push_back("<ERRORINFO>" + errorInfo + "</ERRORINFO>");
    lines.push_back("<ERRORCOUNT>1</ERRORCOUNT>");
  }
  lines.push_back("</TarveskDataLayerLog>");
  return lines;
}

int32_t ErrorNumberOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& error) {
    return error.Number();
  }
  return 0;
}

std::string ErrorTextOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& error) {
    return error.Description();
  }
  return "";
}

}  // namespace tarvesk::test
