// The common fixture of the front-end tests and its fakes: a folder picker registered under
// its programmatic identifier, scripted messages, a recording view for the thread's window
// (which each test starts without), and the bodies of log files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "automation/Text.h"
#include "components/ReferenceComponents.h"
#include "fileset/FileSet.h"
#include "front/LogManager.h"
#include "front/frmLogManager.h"
#include "service/ComponentRegistry.h"
#include "service/Components.h"
#include "service/UserMessages.h"
#include "service/modService.h"
#include "tests/datalayer/SqliteFixtures.h"
#include "tests/support/TestFiles.h"

namespace tarvesk::test {

using EventLog = std::vector<std::string>;  // what a fake saw, in order

// What the pickers answer (strResultFullPath, "" as a cancelled choice) and were told.
struct PickerScript {
  std::string answer;
  int created = 0;
  EventLog calls;
};

class FakeFolderPicker : public IFolderPicker {
 public:
  explicit FakeFolderPicker(std::shared_ptr<PickerScript> script) : s_(std::move(script)) {}
  void SetShowDirectoryOnly(bool v) override { Note("bolShowDirectoryOnly=" + Bool(v)); }
  void SetHideIcon(bool v) override { Note("bolHideIcon=" + Bool(v)); }
  void SetDefaultPath(const std::string& path) override { Note("strDefaultPath=" + path); }
  void SetFormCaption(const std::string& text) override { Note("strFormCaption=" + text); }
  void DisplayFileManager() override { Note("DisplayFileManager"); }
  std::string ResultFullPath() override { return Note("strResultFullPath"), s_->answer; }

 private:
  static std::string Bool(bool v) { return v ? "True" : "False"; }
  void Note(std::string call) { s_->calls.push_back(std::move(call)); }
  std::shared_ptr<PickerScript> s_;
};

inline void UnregisterPicker() { Registry().Unregister(kFileManagerProgId); }

// Records every message; answers No to a question.
class ScriptedMessages : public IUserMessages {
 public:
  ScriptedMessages() { SetUserMessages(this); }
  ~ScriptedMessages() override { SetUserMessages(nullptr); }
  MessageAnswer Show(const UserMessage& message) override {
    shown.push_back(message);
    return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  }
  std::vector<UserMessage> shown;
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
  ~FakeView() override { record_.log.push_back("destroyed"); }
  void Show() override {
    record_.log.push_back(std::string("Show ") + (window_.IsLoaded() ? "loaded" : "unloaded"));
  }
  void Close() override {
    record_.log.push_back("Close");
    if (record_.onClose) record_.onClose();
  }
  void ControlChanged(ControlId control, ControlChange change) override {
    static const char* const kNames[] = {"Visible", "Text", "Cleared", "Appended"};
    record_.log.push_back(std::string(kNames[static_cast<int>(change)]) + " " +
                          LayoutOf(control).name);
  }

 private:
  frmLogManager& window_;
  ViewRecord& record_;
};

// The body of one action: its first line, TABLE and QueryString, then the field lines.
inline std::vector<std::string> Action(const std::string& kind, int recordId,
                                       const std::string& table,
                                       const std::vector<std::string>& fields) {
  const std::string id = std::to_string(recordId);
  std::vector<std::string> lines = {
      "<ACTION Info=\"" + kind + " RECORDID=" + id + "\">", "<TABLE>" + table + "</TABLE>",
      "<QueryString>SELECT * FROM " + table + " WHERE ID=" + id + "</QueryString>"};
  lines.insert(lines.end(), fields.begin(), fields.end());
  lines.push_back("</ACTION>");
  return lines;
}
inline std::vector<std::string> UpdateAction(int recordId, const std::string& table,
                                             const std::string& field, const std::string& oldValue,
                                             const std::string& newValue) {
  return Action("UPDATE", recordId, table,
                {"<FIELDS>", "<FieldName>" + field + "</FieldName>",
                 "<OldValue>" + oldValue + "</OldValue>", "<NewValue>" + newValue + "</NewValue>"});
}
inline std::vector<std::string> NewRecordAction(int recordId, const std::string& table) {
  return Action("NEWRECORD", recordId, table, {"<FIELDS></FIELDS>"});
}
inline std::vector<std::string> Concat(std::vector<std::string> a,
                                       const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class FrontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterReferenceComponents();
    Registry().Register<IFolderPicker>(kFileManagerProgId, [script = picker] {
      ++script->created;
      return std::make_unique<FakeFolderPicker>(script);
    });
    SetViewFactory(
        [this](frmLogManager& window) { return std::make_unique<FakeView>(window, view); });
    frmLogManager::DiscardCurrentThreadWindow();
  }
  void TearDown() override {
    // A set with cached logs keeps itself alive; empty it so that nothing leaks.
    if (manager) manager->FileSetManager()->EjectFileset();
    for (const auto& set : setsToEject) set->EjectFileset();
    frmLogManager::DiscardCurrentThreadWindow();
    SetViewFactory(nullptr);
    UnregisterPicker();
  }

  // A host that creates a LogManager and displays the window.
  frmLogManager& Open() {
    manager = std::make_shared<LogManager>();
    manager->Display();
    return Window();
  }
  frmLogManager& Window() { return frmLogManager::ForCurrentThread(); }
  void Load(const std::string& path) {
    picker->answer = path;
    Window().Click(ControlId::cmdFileManager);
  }
  void Choose(ControlId list, int position) {
    Window().SelectListEntry(list, position);
    Window().Click(list);
  }
  void ChooseFile(int position) { Choose(ControlId::lstFileSet, position); }
  void ChooseAction(int position) { Choose(ControlId::lstAction, position); }
  const std::vector<std::string>& Entries(ControlId list) { return Window().Entries(list); }
  bool Seen(ControlId id) { return Window().IsVisible(id); }
  // Visibility of the three frames below the file list, as "AD-" (Actions, Details, Next).
  std::string Frames() {
    return std::string(Seen(ControlId::fmeActions) ? "A" : "-") +
           (Seen(ControlId::fmeDetails) ? "D" : "-") +
           (Seen(ControlId::fmeNextActions) ? "N" : "-");
  }
  // The view events recorded since the last call.
  EventLog TakeViewLog() {
    EventLog taken(view.log.begin() + static_cast<long>(viewLogRead), view.log.end());
    viewLogRead = view.log.size();
    return taken;
  }
  // The only message shown so far.
  const UserMessage& OnlyMessage() {
    EXPECT_EQ(messages.shown.size(), 1u);
    if (messages.shown.empty()) throw std::logic_error("no message shown");
    return messages.shown.front();
  }

  ScriptedMessages messages;
  ViewRecord view;
  size_t viewLogRead = 0;
  std::shared_ptr<PickerScript> picker = std::make_shared<PickerScript>();
  TempFolder folder;
  std::shared_ptr<LogManager> manager;
  std::vector<std::shared_ptr<FileSet>> setsToEject;
};

}  // namespace tarvesk::test
