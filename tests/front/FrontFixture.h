// The common fixture of the front-end tests: a test environment whose folder picker answers
// as scripted and whose views record what the presenter tells them, the thread's window
// (which each test starts without), and log files written as the data layer writes them
// (Windows-1252, CR LF) into a temporary folder.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
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
using EventLog = std::vector<std::string>;  // what a fake saw, in order
using Lines = std::vector<std::string>;

// What the pickers answer (strResultFullPath, "" as a cancelled choice) and were told.
struct PickerScript {
  std::string answer;
  int created = 0;
  EventLog calls;
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

// The lines of a log file: marker, header with DATABASE and SESSIONTIME (left out when
// "-"), the body after <LOGDATA>, then the tail, with the error information if given.
inline Lines LogFile(const std::string& database, const std::string& sessionTime, const Lines& body,
                     const std::string& errorInfo = "") {
  Lines lines = {R"(<?xml version="1.0" encoding="windows-1252"?>)", "<TarveskDataLayerLog>",
                 "<HEAD>"};
  if (database != "-") lines.push_back("  <DATABASE>" + database + "</DATABASE>");
  if (sessionTime != "-") lines.push_back("  <SESSIONTIME>" + sessionTime + "</SESSIONTIME>");
  lines.insert(lines.end(), {"  <USER>pruefer</USER>", "</HEAD>", "<LOGDATA>"});
  lines.insert(lines.end(), body.begin(), body.end());
  if (!errorInfo.empty()) {
    lines.insert(lines.end(),
                 {"<ERRORINFO>" + errorInfo + "</ERRORINFO>", "<ERRORCOUNT>1</ERRORCOUNT>"});
  }
  lines.insert(lines.end(), {"</LOGDATA>", "</TarveskDataLayerLog>"});
  return lines;
}

// The body of one action: its first line, TABLE and QueryString, then the field lines.
inline Lines Action(const std::string& kind, int recordId, const std::string& table,
                    const Lines& fields) {
  const std::string id = std::to_string(recordId);
  Lines lines = {"<ACTION Info=\"" + kind + " RECORDID=" + id + "\">",
                 "<TABLE>" + table + "</TABLE>",
                 "<QueryString>SELECT * FROM " + table + " WHERE ID=" + id + "</QueryString>"};
  lines.insert(lines.end(), fields.begin(), fields.end());
  lines.push_back("</ACTION>");
  return lines;
}
inline Lines UpdateAction(int recordId, const std::string& table, const std::string& field,
                          const std::string& oldValue, const std::string& newValue) {
  return Action("UPDATE", recordId, table,
                {"<FIELDS>", "<FieldName>" + field + "</FieldName>",
                 "<OldValue>" + oldValue + "</OldValue>", "<NewValue>" + newValue + "</NewValue>"});
}
inline Lines NewRecordAction(int recordId, const std::string& table) {
  return Action("NEWRECORD", recordId, table, {"<FIELDS></FIELDS>"});
}
inline Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class FrontTest : public ::testing::Test {
 protected:
  FrontTest() {
    env.Components().Register<IFolderPicker>(
        kFileManagerProgId, [this] { return std::make_unique<FakeFolderPicker>(picker); });
    env.views = [this](frmLogManager& window) { return std::make_unique<FakeView>(window, view); };
    frmLogManager::DiscardCurrentThreadWindow();
  }
  void TearDown() override {
    // A set with cached logs keeps itself alive; empty it so that nothing leaks.
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
  void Write(const std::string& name, const Lines& lines) { folder.WriteLines(name, lines); }
  void Load(const std::string& path) {
    picker.answer = path;
    Window().Click(cmdFileManager);
  }
  void Choose(ControlId list, int position) {
    Window().SelectListEntry(list, position);
    Window().Click(list);
  }
  void ChooseFile(int position) { Choose(lstFileSet, position); }
  void ChooseAction(int position) { Choose(lstAction, position); }
  const Lines& Entries(ControlId list) { return Window().Entries(list); }
  bool Seen(ControlId id) { return Window().IsVisible(id); }
  // Visibility of the three frames below the file list, as "AD-" (Actions, Details, Next).
  std::string Frames() {
    return std::string(Seen(fmeActions) ? "A" : "-") + (Seen(fmeDetails) ? "D" : "-") +
           (Seen(fmeNextActions) ? "N" : "-");
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

  TestEnvironment env;
  ScriptedMessages& messages = env.messages;
  ViewRecord view;
  size_t viewLogRead = 0;
  PickerScript picker;
  TempFolder folder;
  std::shared_ptr<LogManager> manager;
  std::vector<std::shared_ptr<FileSet>> setsToEject;
};

}  // namespace tarvesk::test
