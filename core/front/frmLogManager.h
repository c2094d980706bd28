// frmLogManager: the viewer window of the log manager as a presenter without any toolkit.
// It owns the state of every control (texts, list entries, selection, visibility), runs
// the click handlers, and holds LogManagerObject, the LogManager that last displayed it.
// It never stores the FileSet: every handler asks FileSetManager of LogManagerObject.
//
// The design of its controls is the table of WindowLayout.h. A view (IViewerWindowView),
// made by the environment, draws the state and forwards the user's input: it reports a
// list selection with SelectListEntry and a click with Click. Handlers never let an error
// escape: it is shown in a "Fehler" message box and the window stays usable.
//
// Each thread has at most one window (ForCurrentThread); it lives until the thread ends or
// DiscardCurrentThreadWindow. Used only on the thread that owns it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "front/WindowLayout.h"

namespace tarvesk {

class Environment;
class Error;
class FileSet;
class LogManager;

inline constexpr const char* kPickerCaption = "Pfad für das oder die Logfiles auswählen";
inline constexpr const char* kErrorTitle = "Fehler";

// What changed on a control; the view reads the new state from the presenter.
enum class ControlChange {
  Visible,   // Visible(id) changed or was set again
  Text,      // Text(id)
  Cleared,   // the list was emptied; nothing is selected
  Appended,  // one entry was appended: Entries(id).back()
};

// The drawing side of the window. The presenter calls it; it calls back only with
// SelectListEntry, Click and QueryUnload of the presenter it was made for.
class IViewerWindowView {
 public:
  virtual ~IViewerWindowView() = default;
  // Creates the window from WindowLayout() and the presenter's state unless it exists,
  // and shows it modeless without an owner; returns at once.
  virtual void Show() = 0;
  // Destroys the window; the next Show builds it anew.
  virtual void Close() = 0;
  virtual void ControlChanged(ControlId control, ControlChange change) = 0;
};

class frmLogManager {
 public:
  // A window without a view; ForCurrentThread gives the thread's window its view.
  explicit frmLogManager(Environment& environment);
  ~frmLogManager();
  frmLogManager(const frmLogManager&) = delete;
  frmLogManager& operator=(const frmLogManager&) = delete;

  // The window of the calling thread, created (not shown) on first request with the view
  // the environment makes for it; it keeps that environment for its handlers.
  static frmLogManager& ForCurrentThread(Environment& environment);
  // The window of the calling thread; nullptr while it has none.
  static frmLogManager* CurrentThreadWindow();
  // Ends the calling thread's window (and the reference it holds). For the end of a
  // thread's use of the component and for tests.
  static void DiscardCurrentThreadWindow();

  const std::shared_ptr<LogManager>& LogManagerObject() const { return logManagerObject_; }
  // Replaces the reference; the previous LogManager is released after the new one is
  // stored, so that its end finds the window in a consistent state.
  void SetLogManagerObject(std::shared_ptr<LogManager> logManager);

  // Shows the window modeless; an unloaded window comes up in its start state, a shown
  // one keeps its lists.
  void Show();
  // Closes the window; its state returns to the start state and LogManagerObject stays.
  void Unload();
  // Puts a loaded window back into its start state (empty path, empty lists, only the
  // file-set frame shown).
  void ResetToStartState();
  bool IsLoaded() const { return loaded_; }

  // Control state.
  bool Visible(ControlId id) const { return state_[Index(id)].visible; }
  // Seen on the screen: loaded, visible itself and inside a visible frame.
  bool IsVisible(ControlId id) const;
  const std::string& Text(ControlId id) const { return state_[Index(id)].text; }
  const std::vector<std::string>& Entries(ControlId id) const { return state_[Index(id)].entries; }
  int32_t ListIndex(ControlId id) const { return state_[Index(id)].listIndex; }
  bool Checked(ControlId id) const { return state_[Index(id)].checked; }

  // Input from the view. A selection outside the list becomes -1 (none).
  void SelectListEntry(ControlId list, int index);
  // A click on a control seen on the screen runs its handler; other clicks are ignored.
  void Click(ControlId id);

  // The click handlers.
  void cmdFileManager_Click();
  void cmdClose_Click();
  void lstFileSet_Click();
  void lstAction_Click();
  void cmdUndo_Click();
  void cmdRedo_Click();

 private:
  struct ControlState {
    bool visible = false;
    std::string text;
    std::vector<std::string> entries;
    int32_t listIndex = -1;
    bool checked = false;
  };

  static size_t Index(ControlId id) { return static_cast<size_t>(id); }

  // Runs a handler body; an error ends it and is shown to the user.
  void RunHandler(void (frmLogManager::*body)());
  void ReportError(const Error& error);

  void LoadFileSetCommand();
  void ClearListsOfTheSet();  // after EjectFileset: the file list and everything below it
  void ListActionsOfFile();
  void ListDetailsOfAction();
  void UndoSelectedAction();

  std::shared_ptr<FileSet> FileSetManager() const;
  int32_t SelectedFileIndex() const;
  std::string SelectedEntry(ControlId list) const;

  void SetVisible(ControlId id, bool visible);
  void SetText(ControlId id, std::string text);
  void ClearList(ControlId id);
  void AddItem(ControlId id, std::string entry);
  void SetStartState(bool notify);

  Environment& environment_;
  std::unique_ptr<IViewerWindowView> view_;
  std::shared_ptr<LogManager> logManagerObject_;
  std::array<ControlState, kControlCount> state_;
  bool loaded_ = false;
};

}  // namespace tarvesk
