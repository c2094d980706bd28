#include "front/frmLogManager.h"

#include <exception>
#include <new>
#include <utility>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "fileset/FileSet.h"
#include "fileset/PropertyCollection.h"
#include "front/LogManager.h"
#include "logdata/LogData.h"
#include "service/Environment.h"
#include "service/modService.h"
#include "undo/ActionHandler.h"

namespace tarvesk {
namespace {

using enum ControlId;
using enum ControlKind;

// The thread's window. The pointer is trivially destructible, so it can still be read
// while the thread's objects end; the holder owns the window.
thread_local frmLogManager* tlsWindow = nullptr;

struct WindowHolder {
  std::unique_ptr<frmLogManager> window;
  ~WindowHolder() { Discard(); }
  void Discard() {
    // Unpublish first: the LogManager released with the window looks for the thread's
    // window in its end and must find none.
    tlsWindow = nullptr;
    auto ending = std::move(window);
  }
};
thread_local WindowHolder tlsHolder;

}  // namespace

frmLogManager::frmLogManager(Environment& environment) : environment_(environment) {
  SetStartState(false);
}

frmLogManager::~frmLogManager() = default;

frmLogManager& frmLogManager::ForCurrentThread(Environment& environment) {
  if (tlsWindow) return *tlsWindow;
  // The window is made before its view, which is given the window to call back.
  auto window = std::make_unique<frmLogManager>(environment);
  window->view_ = environment.CreateView(*window);
  tlsHolder.window = std::move(window);
  tlsWindow = tlsHolder.window.get();
  return *tlsWindow;
}

frmLogManager* frmLogManager::CurrentThreadWindow() { return tlsWindow; }

void frmLogManager::DiscardCurrentThreadWindow() { tlsHolder.Discard(); }

void frmLogManager::SetLogManagerObject(std::shared_ptr<LogManager> logManager) {
  auto previous = std::exchange(logManagerObject_, std::move(logManager));
  previous.reset();  // may end that LogManager, which unloads this window
}

void frmLogManager::Show() {
  if (!loaded_) {
    SetStartState(false);
    loaded_ = true;
  }
  if (view_) view_->Show();
}

void frmLogManager::Unload() {
  if (!loaded_) return;
  loaded_ = false;
  SetStartState(false);
  if (view_) view_->Close();
}

void frmLogManager::ResetToStartState() {
  if (loaded_) SetStartState(true);
}

void frmLogManager::SetStartState(bool notify) {
  for (const ControlLayout& layout : WindowLayout()) {
    ControlState& state = state_[Index(layout.id)];
    state = ControlState{};
    state.visible = layout.visibleAtStart;
    if (!notify || !view_) continue;
    view_->ControlChanged(layout.id, ControlChange::Visible);
    if (layout.kind == TextBox) view_->ControlChanged(layout.id, ControlChange::Text);
    if (layout.kind == ListBox) view_->ControlChanged(layout.id, ControlChange::Cleared);
  }
}

bool frmLogManager::IsVisible(ControlId id) const {
  if (!loaded_ || !Visible(id)) return false;
  const auto& parent = LayoutOf(id).parent;
  return !parent || IsVisible(*parent);
}

void frmLogManager::SelectListEntry(ControlId list, int index) {
  ControlState& state = state_[Index(list)];
  const bool inside = index >= 0 && static_cast<size_t>(index) < state.entries.size();
  state.listIndex = inside ? index : -1;
}

void frmLogManager::Click(ControlId id) {
  if (!IsVisible(id)) return;
  switch (id) {
    case cmdFileManager:
      return cmdFileManager_Click();
    case cmdClose:
      return cmdClose_Click();
    case lstFileSet:
      return lstFileSet_Click();
    case lstAction:
      return lstAction_Click();
    case cmdUndo:
      return cmdUndo_Click();
    case cmdRedo:
      return cmdRedo_Click();
    default:
      return;
  }
}

void frmLogManager::cmdFileManager_Click() { RunHandler(&frmLogManager::LoadFileSetCommand); }
void frmLogManager::cmdClose_Click() { RunHandler(&frmLogManager::Unload); }
void frmLogManager::lstFileSet_Click() { RunHandler(&frmLogManager::ListActionsOfFile); }
void frmLogManager::lstAction_Click() { RunHandler(&frmLogManager::ListDetailsOfAction); }
void frmLogManager::cmdUndo_Click() { RunHandler(&frmLogManager::UndoSelectedAction); }
void frmLogManager::cmdRedo_Click() {}

void frmLogManager::RunHandler(void (frmLogManager::*body)()) {
  try {
    (this->*body)();
  } catch (const Error& error) {
    ReportError(error);
  } catch (const std::bad_alloc&) {
    ReportError(Error(kOutOfMemory));
  } catch (const std::exception& other) {
    ReportError(Error(kInternalError, "Interner Fehler: " + std::string(other.what())));
  }
}

void frmLogManager::ReportError(const Error& error) {
  try {
    environment_.Messages().Show(
        {DescribeError(error), kErrorTitle, MessageButtons::Ok, MessageIcon::Critical});
  } catch (...) {
    // Nothing is left to tell the user with; the window stays usable.
  }
}

void frmLogManager::LoadFileSetCommand() {
  FileSetManager()->EjectFileset();
  {
    const auto picker = CreateFileManager(environment_);
    if (!picker) {
      ClearListsOfTheSet();  // the factory has told the user; the set is gone all the same
      return;
    }
    picker->SetShowDirectoryOnly(true);
    picker->SetHideIcon(true);
    picker->SetDefaultPath(Text(txtPath));
    picker->SetFormCaption(kPickerCaption);
    picker->DisplayFileManager();
    SetText(txtPath, picker->ResultFullPath());
  }
  ClearListsOfTheSet();
  if (Text(txtPath).empty()) return;

  const auto fileSet = FileSetManager();
  if (!fileSet->LoadFileSet(Text(txtPath))) return;
  fileSet->ReadFileSetProperties();
  const int32_t n = fileSet->FileCount();
  for (int32_t i = 1; i <= n; ++i) {
    const std::string sessionTime = FileSetManager()->FileProperties(i, "SESSIONTIME");
    const std::string database = FileSetManager()->FileProperties(i, "DATABASE");
    AddItem(lstFileSet, sessionTime + ": " + database + " (" + FileSetManager()->FileName(i) + ")");
  }
}

void frmLogManager::ClearListsOfTheSet() {
  ClearList(lstFileSet);
  // The lower lists belong to the ejected set: a click on them would reach a file that is
  // gone, so they go with the file list.
  ClearList(lstAction);
  ClearList(lstDetails);
  SetVisible(fmeActions, false);
  SetVisible(fmeDetails, false);
  SetVisible(fmeNextActions, false);
}

void frmLogManager::ListActionsOfFile() {
  if (ListIndex(lstFileSet) == -1) return;
  ClearList(lstAction);
  SetVisible(fmeActions, false);
  SetVisible(fmeDetails, false);
  SetVisible(fmeNextActions, false);
  std::vector<std::string> actions =
      FileSetManager()->LogContent(SelectedFileIndex())->GetActionList();
  if (actions.empty()) return;
  const size_t n = actions.size();
  for (size_t i = 0; i < n; ++i) AddItem(lstAction, std::move(actions[i]));
  SetVisible(fmeActions, true);
}

void frmLogManager::ListDetailsOfAction() {
  SetVisible(fmeDetails, false);
  SetVisible(fmeNextActions, false);
  ClearList(lstDetails);
  if (ListIndex(lstAction) == -1) return;
  SetVisible(fmeDetails, true);
  const std::string entry = SelectedEntry(lstAction);
  if (entry == kErrorEntry) {
    AddItem(lstDetails, FileSetManager()->LogContent(SelectedFileIndex())->ErrorInfo());
    return;
  }
  const int32_t position = LeadingNumber(GetDelimitedField(entry, ":", 1));
  const auto details = FileSetManager()->LogContent(SelectedFileIndex())->GetActionData(position);
  if (!details) throw Error(kObjectNotSet);  // a line without an action has no details
  const int32_t n = details->PropertyCount();
  for (int32_t i = 1; i <= n; ++i) {
    AddItem(lstDetails, details->PropertyNameByIndex(i) + ": " + details->PropertyValueByIndex(i));
  }
  if (FileSetManager()->FileProperties(SelectedFileIndex(), "DATABASE") != "OFFLINE") {
    SetVisible(fmeNextActions, true);
  }
}

void frmLogManager::UndoSelectedAction() {
  ActionHandler handler(environment_);  // one per click, released at its end
  handler.SetLogFileHandle(SelectedFileIndex());
  handler.SetFileSetObject(FileSetManager());
  const std::string entry = SelectedEntry(lstAction);
  const size_t colon = entry.find(':');
  // Only an action entry, which always holds a colon, offers the command.
  if (colon == std::string::npos) throw Error(kInvalidProcedureCall);
  handler.SetActionHandle(LeadingNumber(std::string_view(entry).substr(0, colon)));
  handler.UndoAction();
}

std::shared_ptr<FileSet> frmLogManager::FileSetManager() const {
  if (!logManagerObject_) throw Error(kObjectNotSet);
  return logManagerObject_->FileSetManager();
}

int32_t frmLogManager::SelectedFileIndex() const {
  return static_cast<int32_t>(ListIndex(lstFileSet)) + 1;
}

std::string frmLogManager::SelectedEntry(ControlId list) const {
  const int32_t index = ListIndex(list);
  return index < 0 ? std::string() : Entries(list)[static_cast<size_t>(index)];
}

void frmLogManager::SetVisible(ControlId id, bool visible) {
  state_[Index(id)].visible = visible;
  if (view_) view_->ControlChanged(id, ControlChange::Visible);
}

void frmLogManager::SetText(ControlId id, std::string text) {
  state_[Index(id)].text = std::move(text);
  if (view_) view_->ControlChanged(id, ControlChange::Text);
}

void frmLogManager::ClearList(ControlId id) {
  ControlState& state = state_[Index(id)];
  state.entries.clear();
  state.listIndex = -1;
  if (view_) view_->ControlChanged(id, ControlChange::Cleared);
}

void frmLogManager::AddItem(ControlId id, std::string entry) {
  state_[Index(id)].entries.push_back(std::move(entry));
  if (view_) view_->ControlChanged(id, ControlChange::Appended);
}

}  // namespace tarvesk
