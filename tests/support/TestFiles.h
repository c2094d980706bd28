// Test support: temporary folders and log files written as the data layer writes them
// (Windows-1252 bytes, CR LF), plus a recording fake of the user-message seam.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "service/UserMessages.h"

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

// Records every message and answers from a script (then with defaultAnswer).
class RecordingMessages : public IUserMessages {
 public:
  RecordingMessages() { previous_ = SetUserMessages(this); }
  ~RecordingMessages() override { SetUserMessages(previous_); }

  MessageAnswer Show(const UserMessage& message) override {
    shown.push_back(message);
    if (!answers.empty()) {
      const MessageAnswer answer = answers.front();
      answers.erase(answers.begin());
      return answer;
    }
    return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  }

  std::vector<UserMessage> shown;
  std::vector<MessageAnswer> answers;

 private:
  IUserMessages* previous_;
};

}  // namespace tarvesk::test
