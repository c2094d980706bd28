// Fakes and log folders for the front-end tests: a folder picker registered under its
// programmatic identifier, a scripted message seam, a recording view, and log files in
// temporary folders written as the data layer writes them (Windows-1252, CR LF).
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "front/frmLogManager.h"
#include "service/Components.h"
#include "service/UserMessages.h"

namespace tarvesk::test {

// Everything the fakes saw, in order, as "who: what" lines.
using EventLog = std::vector<std::string>;

// What the folder picker answers and what it was told. Shared with the pickers that the
// registry makes, one per load command.
struct PickerScript {
  std::string answer;  // strResultFullPath; "" as a cancelled choice
  int created = 0;
  EventLog calls;
};

class FakeFolderPicker : public IFolderPicker {
 public:
  explicit FakeFolderPicker(std::shared_ptr<PickerScript> script) : script_(std::move(script)) {}
  void SetShowDirectoryOnly(bool value) override;
  void SetHideIcon(bool value) override;
  void SetDefaultPath(const std::string& path) override;
  void SetFormCaption(const std::string& caption) override;
  void DisplayFileManager() override;
  std::string ResultFullPath() override;

 private:
  std::shared_ptr<PickerScript> script_;
};

// Registers a fake picker maker for the fixture's life; Unregister leaves the identifier
// without a maker, as on a machine without the component.
std::shared_ptr<PickerScript> RegisterFakePicker();
void UnregisterPicker();

class ScriptedMessages : public IUserMessages {
 public:
  ScriptedMessages();
  ~ScriptedMessages() override;
  MessageAnswer Show(const UserMessage& message) override;

  std::vector<UserMessage> shown;
  std::deque<MessageAnswer> answers;  // taken in order; afterwards OK, or No to a question
};

// What the views of a test record; onClose runs inside Close.
struct ViewRecord {
  EventLog log;
  int created = 0;
  std::function<void()> onClose;
};

class FakeView : public IViewerWindowView {
 public:
  FakeView(frmLogManager& window, ViewRecord& record) : window_(window), record_(record) {
    ++record_.created;
  }
  ~FakeView() override;
  void Show() override;
  void Close() override;
  void ControlChanged(ControlId control, ControlChange change) override;

 private:
  frmLogManager& window_;
  ViewRecord& record_;
};

// A folder that is removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  // Writes lines (UTF-8) as Windows-1252 text, each ended by CR LF.
  void Write(const std::string& name, const std::vector<std::string>& lines) const;

 private:
  std::string path_;
};

// The lines of a log file: marker, header with the given DATABASE and SESSIONTIME (left
// out when "-"), the body lines after <LOGDATA>, then the tail (four lines with the error
// information when errorInfo is not empty, else two).
std::vector<std::string> LogLines(const std::string& database, const std::string& sessionTime,
                                  const std::vector<std::string>& body,
                                  const std::string& errorInfo = "");

// Body lines of one UPDATE action of field FieldName from old to new value, 8 lines.
std::vector<std::string> UpdateAction(int recordId, const std::string& table,
                                      const std::string& field, const std::string& oldValue,
                                      const std::string& newValue);
// Body lines of one NEWRECORD action, 5 lines.
std::vector<std::string> NewRecordAction(int recordId, const std::string& table);

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts);

}  // namespace tarvesk::test
