// The common fixture of the front-end tests: reference components, a fake picker, scripted
// messages and a recording view for the thread's window, which each test starts without.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "components/ReferenceComponents.h"
#include "fileset/FileSet.h"
#include "front/LogManager.h"
#include "front/frmLogManager.h"
#include "tests/front/FrontFakes.h"

namespace tarvesk::test {

class FrontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterReferenceComponents();
    picker = RegisterFakePicker();
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
  void ChooseFile(int position) {
    Window().SelectListEntry(ControlId::lstFileSet, position);
    Window().Click(ControlId::lstFileSet);
  }
  void ChooseAction(int position) {
    Window().SelectListEntry(ControlId::lstAction, position);
    Window().Click(ControlId::lstAction);
  }
  const std::vector<std::string>& Entries(ControlId list) { return Window().Entries(list); }
  bool Seen(ControlId id) { return Window().IsVisible(id); }

  // The view events recorded since the last call.
  std::vector<std::string> TakeViewLog() {
    std::vector<std::string> taken(view.log.begin() + static_cast<long>(viewLogRead),
                                   view.log.end());
    viewLogRead = view.log.size();
    return taken;
  }

  ScriptedMessages messages;
  ViewRecord view;
  size_t viewLogRead = 0;
  std::shared_ptr<PickerScript> picker;
  TempFolder folder;
  std::shared_ptr<LogManager> manager;
  std::vector<std::shared_ptr<FileSet>> setsToEject;
};

}  // namespace tarvesk::test
