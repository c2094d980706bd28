// The GUI tests' driver: opens the viewer as a host does (TarveskLogManager.LogManager
// through COM, Display) and works the real window with the messages a user's clicks send:
// BM_CLICK on buttons, a selection plus LBN_SELCHANGE to the list's parent for list boxes.
// It reads back what the window shows. The folder picker registered in the prefix is the
// test stand-in, answered through TARVESK_TEST_PICKER_ANSWER; message boxes are answered by
// dialog_answerer. What the presenter decides is the native tests'; this checks the window.
//   viewer_driver test LOGS DATABASE  the scenarios; LOGS holds log_a, log_b (OFFLINE) and
//                                     log_undo (on DATABASE); prints FAIL lines and
//                                     "SUMMARY checks=N failures=M" last
//   viewer_driver pose LOGS FILE ACTION READY STOP  loads LOGS, picks the FILE-th file and
//                                     ACTION-th action (from 0), creates READY and keeps the
//                                     window up until STOP exists (for a screenshot)
//   viewer_driver measure LOGS        times listing the actions of the first file
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "automation/Error.h"
#include "front/frmLogManager.h"
#include "platform/windows/DispatchCaller.h"
#include "platform/windows/ViewerWindowView.h"

using tarvesk::ControlId;
using tarvesk::FindThreadViewerWindow;
using tarvesk::com::DispatchCaller;

namespace {

constexpr int kFirstControlId = 100;  // a control's ID is this plus its ControlId

int checks = 0, failures = 0;

void Check(const std::string& what, bool ok) {
  ++checks;
  if (!ok) {
    ++failures;
    std::printf("FAIL %s\n", what.c_str());
    std::fflush(stdout);
  }
}

std::string Utf8(const std::wstring& wide) {
  return tarvesk::com::WideToUtf8(wide.data(), wide.size());
}

// Delivers what is queued for the thread's windows, as a host's message loop would.
void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

DispatchCaller CreateLogManager() {
  CLSID clsid;
  tarvesk::com::ComPtr<IDispatch> object;
  if (FAILED(CLSIDFromProgID(L"TarveskLogManager.LogManager", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(object.Out())))) {
    return {};
  }
  return DispatchCaller(std::move(object), L"TarveskLogManager.LogManager");
}

void Display(DispatchCaller& logManager) {
  try {
    logManager.Method(L"Display");
  } catch (const tarvesk::Error& error) {
    Check("Display: " + error.Description(), false);
  }
  Pump();
}

// What the stand-in picker was given last: caption, a tab, start folder.
std::string PickerSeen() {
  wchar_t value[2048] = {};
  const DWORD length = GetEnvironmentVariableW(L"TARVESK_TEST_PICKER_SEEN", value, 2048);
  SetEnvironmentVariableW(L"TARVESK_TEST_PICKER_SEEN", nullptr);
  return length ? Utf8(std::wstring(value, length)) : "(picker not called)";
}

HWND ChildWithId(HWND parent, int id) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(child) == id) return child;
    if (HWND found = ChildWithId(child, id)) return found;  // frames hold their controls
  }
  return nullptr;
}

HWND Control(ControlId id) {
  HWND viewer = FindThreadViewerWindow();
  return viewer ? ChildWithId(viewer, kFirstControlId + static_cast<int>(id)) : nullptr;
}

std::string TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Utf8(text);
}

std::string ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return Utf8(name);
}

std::vector<std::string> Entries(ControlId list) {
  HWND control = Control(list);
  std::vector<std::string> entries;
  const auto n = SendMessageW(control, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    std::wstring text(static_cast<size_t>(SendMessageW(control, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(
        SendMessageW(control, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
    entries.push_back(Utf8(text));
  }
  return entries;
}

std::string Listed(ControlId list) {
  std::string out;
  for (const std::string& entry : Entries(list)) out += "[" + entry + "]";
  return out;
}

// Which of the frames and of the undo frame's buttons are on the screen, as letters:
// A actions, D details, N next actions, U undo, R redo, C the check box.
std::string ShownFrames() {
  std::string shown;
  for (const auto& [id, letter] : {std::pair{ControlId::fmeActions, 'A'},
                                   {ControlId::fmeDetails, 'D'},
                                   {ControlId::fmeNextActions, 'N'},
                                   {ControlId::cmdUndo, 'U'},
                                   {ControlId::cmdRedo, 'R'},
                                   {ControlId::chkDoAll, 'C'}}) {
    if (HWND control = Control(id); control && IsWindowVisible(control)) shown += letter;
  }
  return shown;
}

// A list scrolls sideways as far as its widest entry reaches.
bool ScrollsToWidestEntry(ControlId list) {
  HWND control = Control(list);
  HDC dc = GetDC(control);
  HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  LONG widest = 0;
  for (const std::string& entry : Entries(list)) {
    const std::wstring text = tarvesk::com::Utf8ToWide(entry);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    widest = std::max(widest, size.cx);
  }
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return widest > 0 && SendMessageW(control, LB_GETHORIZONTALEXTENT, 0, 0) >= widest;
}

void Click(ControlId button) {
  SendMessageW(Control(button), BM_CLICK, 0, 0);
  Pump();
}

// A user's click on a list entry: the list selects it and tells its parent.
void Choose(ControlId list, int index) {
  HWND control = Control(list);
  SendMessageW(control, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(GetParent(control), WM_COMMAND,
               MAKEWPARAM(kFirstControlId + static_cast<int>(list), LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(control));
  Pump();
}

// The load button with the stand-in picker answering FOLDER ("": the user cancels).
void Load(const std::string& folder) {
  SetEnvironmentVariableW(L"TARVESK_TEST_PICKER_ANSWER", tarvesk::com::Utf8ToWide(folder).c_str());
  Click(ControlId::cmdFileManager);
}

// The window class and the style bits (under a mask) of each kind of control, in the order
// of ControlKind: Label, TextBox, CommandButton, Frame, ListBox, CheckBox.
struct Look {
  const char* windowClass;
  LONG mask, style;
};
constexpr Look kLooks[] = {{"Static", 0, 0},
                           {"Edit", ES_READONLY | ES_MULTILINE, ES_READONLY},
                           {"Button", 0xF, BS_PUSHBUTTON},
                           {"Button", 0xF, BS_GROUPBOX},
                           {"ListBox", LBS_SORT, 0},
                           {"Button", 0xF, BS_AUTOCHECKBOX}};

// The window as drawn: caption, client size, and each control's class, style, parent, place,
// caption and own visibility, from the layout in twips at the screen's DPI; its colours and
// tab order.
void CheckWindow() {
  HWND viewer = FindThreadViewerWindow();
  Check("window shown", viewer && IsWindowVisible(viewer));
  if (!viewer) return;
  Check("caption: " + TextOf(viewer), TextOf(viewer) == tarvesk::kWindowCaption);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  auto pixels = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
  RECT rect{};
  GetClientRect(viewer, &rect);
  Check("client area", rect.right == pixels(tarvesk::kClientWidthTwips) &&
                           rect.bottom == pixels(tarvesk::kClientHeightTwips));
  for (const tarvesk::ControlLayout& layout : tarvesk::WindowLayout()) {
    const std::string name = layout.name;
    HWND control = Control(layout.id);
    Check(name + " exists", control != nullptr);
    if (!control) continue;
    HWND parent = layout.parent ? Control(*layout.parent) : viewer;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    Check(name + " parent and place",
          GetParent(control) == parent && rect.left == pixels(layout.left) &&
              rect.top == pixels(layout.top) && rect.right - rect.left == pixels(layout.width) &&
              rect.bottom - rect.top == pixels(layout.height));
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    Check(name + " visibility", ((style & WS_VISIBLE) != 0) == layout.visibleAtStart);
    const Look& look = kLooks[static_cast<int>(layout.kind)];
    Check(name + " kind " + ClassOf(control),
          _stricmp(ClassOf(control).c_str(), look.windowClass) == 0 &&
              (style & look.mask) == look.style);
    if (layout.kind != tarvesk::ControlKind::ListBox &&
        layout.kind != tarvesk::ControlKind::TextBox) {
      Check(name + " caption " + TextOf(control), TextOf(control) == layout.caption);
    }
  }
  // A read-only box asks its parent for its colours as a static control does.
  HWND path = Control(ControlId::txtPath);
  HDC dc = GetDC(path);
  const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
      viewer, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(path)));
  ReleaseDC(path, dc);
  LOGBRUSH fill{};
  Check("path box light grey",
        brush && GetObjectW(brush, sizeof fill, &fill) && fill.lbColor == RGB(192, 192, 192));
  // Tab goes from the path box to the load button, into the file list and so on.
  std::vector<ControlId> tabOrder;
  for (HWND at = GetNextDlgTabItem(viewer, path, FALSE); at && at != path && tabOrder.size() < 20;
       at = GetNextDlgTabItem(viewer, at, FALSE)) {
    tabOrder.push_back(static_cast<ControlId>(GetDlgCtrlID(at) - kFirstControlId));
  }
  Check("tab order at start",
        tabOrder == std::vector<ControlId>{ControlId::cmdFileManager, ControlId::lstFileSet,
                                           ControlId::cmdClose});
}

void CheckStartState(const std::string& what) {
  Check(what + ": start state",
        FindThreadViewerWindow() && TextOf(Control(ControlId::txtPath)).empty() &&
            Entries(ControlId::lstFileSet).empty() && Entries(ControlId::lstAction).empty() &&
            Entries(ControlId::lstDetails).empty() && ShownFrames().empty());
}

int RunScenarios(const std::string& logs, const std::string& database) {
  const std::string caption = tarvesk::kPickerCaption;
  std::optional<DispatchCaller> first(CreateLogManager());
  Check("TarveskLogManager.LogManager created", static_cast<bool>(*first));
  if (!*first) return 1;
  Display(*first);
  CheckWindow();
  CheckStartState("first Display");
  HWND viewer = FindThreadViewerWindow();

  // The road: load the folder, a file, an action.
  Load(logs);
  Check("picker asked with the caption, no start folder", PickerSeen() == caption + "\t");
  Check("path box", TextOf(Control(ControlId::txtPath)) == logs);
  Check("file list " + Listed(ControlId::lstFileSet),
        Listed(ControlId::lstFileSet) ==
            "[01.12.2026 08:30:12: C:\\db\\shop.db (log_a.xml)][03.12.2026 14:15:00: OFFLINE "
            "(log_b.xml)][01.12.2026 08:30:12: " +
                database + " (log_undo.xml)]");
  Choose(ControlId::lstFileSet, 0);
  const std::vector<std::string> actions = Entries(ControlId::lstAction);
  Check("actions of log_a " + Listed(ControlId::lstAction),
        actions.size() == 3 && actions[0].starts_with("1: UPDATE RECORDID=7"));
  Check("after a file: frames " + ShownFrames(), ShownFrames() == "A");
  Check("lists scroll to their widest entry",
        ScrollsToWidestEntry(ControlId::lstFileSet) && ScrollsToWidestEntry(ControlId::lstAction));
  Choose(ControlId::lstAction, 0);
  Check("details " + Listed(ControlId::lstDetails),
        Listed(ControlId::lstDetails) ==
            "[ACTION: UPDATE][FieldName: Ort][OldValue: München][NewValue: Köln][RECORDID: 7]");
  Check("after an action: frames " + ShownFrames(), ShownFrames() == "ADNU");

  // Undo from the window, twice: the answerer says yes, ok, then no, ok.
  Choose(ControlId::lstFileSet, 2);
  Choose(ControlId::lstAction, 0);
  const std::string undoActions = Listed(ControlId::lstAction);
  Click(ControlId::cmdUndo);
  Click(ControlId::cmdUndo);
  Check("undo leaves the window as it was",
        Listed(ControlId::lstAction) == undoActions && ShownFrames() == "ADNU" &&
            SendMessageW(Control(ControlId::lstAction), LB_GETCURSEL, 0, 0) == 0 &&
            SendMessageW(Control(ControlId::lstFileSet), LB_GETCURSEL, 0, 0) == 2);

  // Cancel in the picker: nothing loaded, the lists of the old set go.
  Load("");
  Check("picker starts in the chosen folder", PickerSeen() == caption + "\t" + logs);
  CheckStartState("after cancel");

  // A second Display by another LogManager: the same window, back in its start state.
  Load(logs);
  Choose(ControlId::lstFileSet, 0);
  std::optional<DispatchCaller> second(CreateLogManager());
  Display(*second);
  Check("one window for the thread", FindThreadViewerWindow() == viewer);
  CheckStartState("second Display");

  // The end of the first LogManager closes the window, though it shows the second's.
  first.reset();
  Pump();
  Check("end of a LogManager closes the window", FindThreadViewerWindow() == nullptr);

  // Close and open again; a host that lets go of its LogManager leaves the window open.
  Display(*second);
  Load(logs);
  Click(ControlId::cmdClose);
  Check("Schliessen closes the window", FindThreadViewerWindow() == nullptr);
  Display(*second);
  CheckStartState("re-opened");
  second.reset();
  Pump();
  Load(logs);
  Choose(ControlId::lstFileSet, 2);
  Check("without the host's reference the window stays and works",
        Entries(ControlId::lstAction).size() == 5);
  SendMessageW(FindThreadViewerWindow(), WM_CLOSE, 0, 0);
  Pump();
  Check("closed from its title bar", FindThreadViewerWindow() == nullptr);

  std::printf("SUMMARY checks=%d failures=%d\n", checks, failures);
  return failures == 0 ? 0 : 1;
}

int Pose(const std::string& logs, int file, int action, const std::wstring& ready,
         const std::wstring& stop) {
  DispatchCaller logManager = CreateLogManager();
  if (!logManager) return 1;
  Display(logManager);
  Load(logs);
  Choose(ControlId::lstFileSet, file);
  Choose(ControlId::lstAction, action);
  CloseHandle(CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  const DWORD deadline = GetTickCount() + 120000;
  while (GetFileAttributesW(stop.c_str()) == INVALID_FILE_ATTRIBUTES &&
         static_cast<LONG>(deadline - GetTickCount()) > 0) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    Pump();
  }
  return 0;
}

int Measure(const std::string& logs) {
  DispatchCaller logManager = CreateLogManager();
  if (!logManager) return 1;
  Display(logManager);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Load(logs);
  const Clock::time_point loaded = Clock::now();
  Choose(ControlId::lstFileSet, 0);  // reads and parses the log, then lists it
  const Clock::time_point listed = Clock::now();
  Choose(ControlId::lstFileSet, 0);  // lists it from the file set's cache
  const Clock::time_point again = Clock::now();
  auto ms = [](Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
  };
  std::printf("files listed: %.0f ms\n", ms(start, loaded));
  std::printf("%ld actions listed on the first click: %.0f ms, on the second: %.0f ms\n",
              static_cast<long>(SendMessageW(Control(ControlId::lstAction), LB_GETCOUNT, 0, 0)),
              ms(loaded, listed), ms(listed, again));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
  int result = 2;
  if (args.size() == 3 && args[0] == "test") {
    result = RunScenarios(args[1], args[2]);
  } else if (args.size() == 6 && args[0] == "pose") {
    result = Pose(args[1], std::stoi(args[2]), std::stoi(args[3]), argv[5], argv[6]);
  } else if (args.size() == 2 && args[0] == "measure") {
    result = Measure(args[1]);
  } else {
    std::fprintf(stderr,
                 "usage: viewer_driver test LOGS DATABASE | pose LOGS FILE ACTION "
                 "READY STOP | measure LOGS\n");
  }
  CoUninitialize();
  return result;
}
