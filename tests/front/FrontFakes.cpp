#include "tests/front/FrontFakes.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include "automation/Text.h"
#include "service/ComponentRegistry.h"
#include "service/modService.h"

namespace tarvesk::test {
namespace {

const char* ChangeName(ControlChange change) {
  switch (change) {
    case ControlChange::Visible:
      return "Visible";
    case ControlChange::Text:
      return "Text";
    case ControlChange::Cleared:
      return "Cleared";
    case ControlChange::Appended:
      return "Appended";
  }
  return "?";
}

std::string ToAnsi(const std::string& utf8) {
  std::string out;
  size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t c = NextCodePoint(utf8, pos);
    const auto byte = AnsiByteOf(c);
    if (!byte) throw std::invalid_argument("no Windows-1252 form: " + utf8);
    out += static_cast<char>(*byte);
  }
  return out;
}

}  // namespace

void FakeFolderPicker::SetShowDirectoryOnly(bool value) {
  script_->calls.push_back(std::string("bolShowDirectoryOnly=") + (value ? "True" : "False"));
}
void FakeFolderPicker::SetHideIcon(bool value) {
  script_->calls.push_back(std::string("bolHideIcon=") + (value ? "True" : "False"));
}
void FakeFolderPicker::SetDefaultPath(const std::string& path) {
  script_->calls.push_back("strDefaultPath=" + path);
}
void FakeFolderPicker::SetFormCaption(const std::string& caption) {
  script_->calls.push_back("strFormCaption=" + caption);
}
void FakeFolderPicker::DisplayFileManager() { script_->calls.push_back("DisplayFileManager"); }
std::string FakeFolderPicker::ResultFullPath() {
  script_->calls.push_back("strResultFullPath");
  return script_->answer;
}

std::shared_ptr<PickerScript> RegisterFakePicker() {
  auto script = std::make_shared<PickerScript>();
  Registry().Register<IFolderPicker>(kFileManagerProgId, [script] {
    ++script->created;
    return std::make_unique<FakeFolderPicker>(script);
  });
  return script;
}

void UnregisterPicker() { Registry().Unregister(kFileManagerProgId); }

ScriptedMessages::ScriptedMessages() { SetUserMessages(this); }
ScriptedMessages::~ScriptedMessages() { SetUserMessages(nullptr); }

MessageAnswer ScriptedMessages::Show(const UserMessage& message) {
  shown.push_back(message);
  if (!answers.empty()) {
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

FakeView::~FakeView() { record_.log.push_back("destroyed"); }

void FakeView::Show() {
  record_.log.push_back(std::string("Show ") + (window_.IsLoaded() ? "loaded" : "unloaded"));
}
void FakeView::Close() {
  record_.log.push_back("Close");
  if (record_.onClose) record_.onClose();
}
void FakeView::ControlChanged(ControlId control, ControlChange change) {
  record_.log.push_back(std::string(ChangeName(change)) + " " + LayoutOf(control).name);
}

TempFolder::TempFolder() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto candidate = base / ("tarvesk-front-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempFolder::Write(const std::string& name, const std::vector<std::string>& lines) const {
  std::ofstream file(std::filesystem::path(path_) / name, std::ios::binary);
  for (const auto& line : lines) file << ToAnsi(line) << "\r\n";
  if (!file) throw std::runtime_error("cannot write " + name);
}

std::vector<std::string> LogLines(const std::string& database, const std::string& sessionTime,
                                  const std::vector<std::string>& body,
                                  const std::string& errorInfo) {
  std::vector<std::string> lines = {R"(<?xml version="1.0" encoding="windows-1252"?>)",
                                    "<TarveskDataLayerLog>", "<HEAD>"};
  if (database != "-") lines.push_back("  <DATABASE>" + database + "</DATABASE>");
  if (sessionTime != "-") lines.push_back("  <SESSIONTIME>" + sessionTime + "</SESSIONTIME>");
  lines.push_back("  <USER>pruefer</USER>");
  lines.push_back("</HEAD>");
  lines.push_back("<LOGDATA>");
  lines.insert(lines.end(), body.begin(), body.end());
  if (!errorInfo.empty()) {
    lines.push_back("<ERRORINFO>" + errorInfo + "</ERRORINFO>");
    lines.push_back("<ERRORCOUNT>1</ERRORCOUNT>");
  }
  lines.push_back("</LOGDATA>");
  lines.push_back("</TarveskDataLayerLog>");
  return lines;
}

std::vector<std::string> UpdateAction(int recordId, const std::string& table,
                                      const std::string& field, const std::string& oldValue,
                                      const std::string& newValue) {
  const std::string id = std::to_string(recordId);
  return {R"(<ACTION Info="UPDATE RECORDID=)" + id + R"(">)",
          "<TABLE>" + table + "</TABLE>",
          "<QueryString>SELECT * FROM " + table + " WHERE ID=" + id + "</QueryString>",
          "<FIELDS>",
          "<FieldName>" + field + "</FieldName>",
          "<OldValue>" + oldValue + "</OldValue>",
          "<NewValue>" + newValue + "</NewValue>",
          "</ACTION>"};
}

std::vector<std::string> NewRecordAction(int recordId, const std::string& table) {
  const std::string id = std::to_string(recordId);
  return {R"(<ACTION Info="NEWRECORD RECORDID=)" + id + R"(">)", "<TABLE>" + table + "</TABLE>",
          "<QueryString>SELECT * FROM " + table + " WHERE ID=" + id + "</QueryString>",
          "<FIELDS></FIELDS>", "</ACTION>"};
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace tarvesk::test
