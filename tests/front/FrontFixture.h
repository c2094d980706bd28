// The front tests' fixture: scripted folder picker, recording views, the thread's window reset.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fileset/FileSet.h"
#include "front/LogManager.h"
#include "front/frmLogManager.h"
#include "service/modService.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace tarvesk::test {

using enum ControlId;
using ::testing::ElementsAre;
using ::testing::StartsWith;
using Lines = std::vector<std::string>;  // also what a fake saw, in order

// What the pickers answer (strResultFullPath, "" as a cancelled choice) and were told.
struct PickerScript {
  std::string answer;
  int created = 0;
  Lines calls;
};

class FakeFolderPicker : public IFolderPicker {
 public:
  explicit FakeFolderPicker(PickerScript& script) : s_(script) { ++s_.created; }
  void SetShowDirectoryOnly(bool v) override { Note("bolShowDirectoryOnly=" + Bool(v)); }
  void SetHideIcon(bool v) override { Note("bolHideIcon=" + Bool(v)); }
  void SetDefaultPath(const std::string& path) override { Note("strDefaultPath=" + path); }
  void SetFormCaption(const std::string& text) override { Note("strFormCaption=" + text); }
  void DisplayFileManager() override { Note("DisplayFileManager"); }
  std::string ResultFullPath() override { return Note("strResultFullPath"), s_.answer; }

 private:
  static std::string Bool(bool v) { return v ? "True" : "False"; }
  void Note(std::string call) { s_.calls.push_back(std::move(call)); }
  PickerScript& s_;
};

// What the views of a test record; onClose runs inside Close.
struct ViewRecord {
  Lines log;
  std::function<void()> onClose;
};

class FakeView : public IViewerWindowView {
 public:
  FakeView(frmLogManager& window, ViewRecord& record) : window_(window), r_(record) {}
  void Show() override { r_.log.push_back(window_.IsLoaded() ? "Show loaded" : "Show unloaded"); }
  void Close() override {
    r_.log.push_back("Close");
    if (r_.onClose) r_.onClose();
  }
  void ControlChanged(ControlId control, ControlChange change) override {
    static const char* const kNames[] = {"Visible ", "Text ", "Cleared ", "Appended "};
    r_.log.push_back(kNames[static_cast<int>(change)] + std::string(LayoutOf(control).name));
  }

 private:
  frmLogManager& window_;
  ViewRecord& r_;
};

// An action as the data layer writes it: an update of one field, or a new record without one.
inline Lines Action(int id, const std::string& table, const std::string& field = "",
                    const std::string& oldValue = "", const std::string& newValue = "") {
  const std::string n = std::to_string(id), kind = field.empty() ? "NEWRECORD" : "UPDATE";
  Lines lines = {
      "<ACTION Info=\"" + kind + " RECORDID=" + n + "\">", "<TABLE>" + table + "</TABLE>",
      "<QueryString>SELECT * FROM " + table + " WHERE ID=" + n + "</QueryString>", "<FIELDS>"};
  if (!field.empty()) {
    lines.insert(lines.end(),
                 {"<FieldName>" + field + "</FieldName>", "<OldValue>" + oldValue + "</OldValue>",
                  "<NewValue>" + newValue + "</NewValue>"});
  }
  lines.push_back("</ACTION>");
  return lines;
}

class FrontTest : public ::testing::Test {
 protected:
  FrontTest() {
    env.Components().Register<IFolderPicker>(
        kFileManagerProgId, [this] { return std::make_unique<FakeFolderPicker>(picker); });
    env.views = [this](frmLogManager& window) { return std::make_unique<FakeView>(window, view); };
    frmLogManager::DiscardCurrentThreadWindow();
  }
  ~FrontTest() override {  // a set with cached logs keeps itself alive: empty it
    if (manager) manager->FileSetManager()->EjectFileset();
    for (const auto& set : setsToEject) set->EjectFileset();
    frmLogManager::DiscardCurrentThreadWindow();
  }

  std::shared_ptr<LogManager> NewManager() { return std::make_shared<LogManager>(env); }
  // A host that creates a LogManager and displays the window.
  frmLogManager& Open() {
    manager = NewManager();
    manager->Display();
    return Window();
  }
  frmLogManager& Window() { return frmLogManager::ForCurrentThread(env); }
  void Write(const std::string& name, const std::string& database, const std::string& time,
             const Lines& body, const std::string& errorInfo = "") {
    folder.WriteLines(name, LogLines(database, time, body, errorInfo));
  }
  void Load(const std::string& path) {
    picker.answer = path;
    Window().Click(cmdFileManager);
  }
  void Choose(ControlId list, int position) {
    Window().SelectListEntry(list, position);
    Window().Click(list);
  }
  const Lines& Entries(ControlId list) { return Window().Entries(list); }
  bool Seen(ControlId id) { return Window().IsVisible(id); }
  // Visibility of the three frames below the file list, as "AD-" (Actions, Details, Next).
  std::string Frames() {
    return std::string(Seen(fmeActions) ? "A" : "-") + (Seen(fmeDetails) ? "D" : "-") +
           (Seen(fmeNextActions) ? "N" : "-");
  }
  Lines TakeViewLog() { return std::exchange(view.log, {}); }
  // Title and text of the only message shown since the last call.
  std::string TakeMessage() {
    EXPECT_EQ(messages.shown.size(), 1u);
    const std::string shown =
        messages.shown.empty() ? "" : messages.shown[0].title + ": " + messages.shown[0].text;
    messages.shown.clear();
    return shown;
  }

  TestEnvironment env;
  ScriptedMessages& messages = env.messages;
  ViewRecord view;
  PickerScript picker;
  TempFolder folder;
  std::shared_ptr<LogManager> manager;
  std::vector<std::shared_ptr<FileSet>> setsToEject;
};

}  // namespace tarvesk::test
