// Drives the viewer LogManager.Display opens with a user's clicks and reads what it shows. Modes:
// test (the scenarios), pose (an action on the screen from READY until STOP exists), measure.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "automation/Error.h"
#include "front/frmLogManager.h"
#include "platform/windows/DispatchCaller.h"
#include "platform/windows/ViewerWindowView.h"

using tarvesk::ControlId;
using tarvesk::FindThreadViewerWindow;
using tarvesk::com::DispatchCaller;
using enum tarvesk::ControlId;

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

std::string Utf8(const wchar_t* text) { return tarvesk::com::WideToUtf8(text, wcslen(text)); }

// A host's message loop: delivers what is queued for the thread's windows.
void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Display(DispatchCaller& logManager) {
  logManager.Method(L"Display");  // as a host calls it, late-bound
  Pump();
}

// A new LogManager that shows its window (none created: error 91).
DispatchCaller DisplayedLogManager() {
  CLSID clsid;
  tarvesk::com::ComPtr<IDispatch> object;
  CLSIDFromProgID(L"TarveskLogManager.LogManager", &clsid);
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                   reinterpret_cast<void**>(object.Out()));
  DispatchCaller logManager(std::move(object), L"TarveskLogManager.LogManager");
  Display(logManager);
  return logManager;
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

LRESULT Send(ControlId id, UINT message, WPARAM w = 0, LPARAM l = 0) {
  return SendMessageW(Control(id), message, w, l);
}

std::string TextOf(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return Utf8(text);
}

std::vector<std::string> Entries(ControlId list) {
  std::vector<std::string> entries;
  wchar_t text[1024];  // the test logs' entries are shorter
  for (LRESULT i = 0; i < Send(list, LB_GETCOUNT); ++i) {
    Send(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    entries.push_back(Utf8(text));
  }
  return entries;
}

std::string Listed(ControlId list) {
  std::string out;
  for (const std::string& entry : Entries(list)) out += "[" + entry + "]";
  return out;
}

// The frames and undo-frame controls on the screen: Actions, Details, Next, Undo, Redo, Check box.
std::string ShownFrames() {
  const ControlId ids[] = {fmeActions, fmeDetails, fmeNextActions, cmdUndo, cmdRedo, chkDoAll};
  std::string shown;
  for (int i = 0; i < 6; ++i) {
    if (IsWindowVisible(Control(ids[i]))) shown += "ADNURC"[i];
  }
  return shown;
}

// What the window shows: path box, the three lists, the frames on the screen.
std::string Shown() {
  if (!FindThreadViewerWindow()) return "no window";
  return TextOf(Control(txtPath)) + "|" + Listed(lstFileSet) + "|" + Listed(lstAction) + "|" +
         Listed(lstDetails) + "|" + ShownFrames();
}

void Expect(const std::string& what, const std::string& shown) {
  Check(what + ": shows " + Shown(), Shown() == shown);
}

bool ScrollsToWidestEntry(ControlId list) {
  HDC dc = GetDC(Control(list));
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(Send(list, WM_GETFONT)));
  LONG widest = 0;
  for (const std::string& entry : Entries(list)) {
    const std::wstring text = tarvesk::com::Utf8ToWide(entry);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    widest = std::max(widest, size.cx);
  }
  SelectObject(dc, old);
  ReleaseDC(Control(list), dc);
  return widest > 0 && Send(list, LB_GETHORIZONTALEXTENT) >= widest;
}

void Click(ControlId button) {
  Send(button, BM_CLICK);
  Pump();
}

// A user's click on a list entry: the list selects it and tells its parent.
void Choose(ControlId list, int index) {
  Send(list, LB_SETCURSEL, static_cast<WPARAM>(index));
  SendMessageW(GetParent(Control(list)), WM_COMMAND,
               MAKEWPARAM(kFirstControlId + static_cast<int>(list), LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(Control(list)));
  Pump();
}

// The load button with the stand-in picker answering FOLDER ("": the user cancels).
void Load(const std::string& folder) {
  SetEnvironmentVariableW(L"TARVESK_TEST_PICKER_ANSWER", tarvesk::com::Utf8ToWide(folder).c_str());
  Click(cmdFileManager);
}

// Each ControlKind's window class and style bits under a mask, in the order of ControlKind.
constexpr std::tuple<const char*, LONG, LONG> kLooks[] = {
    {"Static", 0, 0},
    {"Edit", ES_READONLY | ES_MULTILINE, ES_READONLY},
    {"Button", 0xF, BS_PUSHBUTTON},
    {"Button", 0xF, BS_GROUPBOX},
    {"ListBox", LBS_SORT, 0},
    {"Button", 0xF, BS_AUTOCHECKBOX}};

// The window as drawn from the layout in twips at the screen's DPI, its colours and tab order.
void CheckWindow() {
  HWND viewer = FindThreadViewerWindow();
  Check("window shown: " + TextOf(viewer),
        viewer && IsWindowVisible(viewer) && TextOf(viewer) == tarvesk::kWindowCaption);
  if (!viewer) return;
  HDC dc = GetDC(viewer);
  auto pixels = [dpi = GetDeviceCaps(dc, LOGPIXELSX)](int twips) {
    return MulDiv(twips, dpi, 1440);
  };
  RECT rect{};
  GetClientRect(viewer, &rect);
  Check("client area", rect.right == pixels(tarvesk::kClientWidthTwips) &&
                           rect.bottom == pixels(tarvesk::kClientHeightTwips));
  for (const tarvesk::ControlLayout& layout : tarvesk::WindowLayout()) {
    HWND control = Control(layout.id), parent = layout.parent ? Control(*layout.parent) : viewer;
    const auto [windowClass, mask, kindStyle] = kLooks[static_cast<int>(layout.kind)];
    wchar_t name[64] = {};
    GetClassNameW(control, name, 64);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    const bool captioned = layout.kind != tarvesk::ControlKind::ListBox &&
                           layout.kind != tarvesk::ControlKind::TextBox;
    Check(std::string(layout.name) + " (" + Utf8(name) + " '" + TextOf(control) +
              "'): class, style, parent, place, visibility, caption",
          control && _stricmp(Utf8(name).c_str(), windowClass) == 0 &&
              (style & mask) == kindStyle && GetParent(control) == parent &&
              rect.left == pixels(layout.left) && rect.top == pixels(layout.top) &&
              rect.right - rect.left == pixels(layout.width) &&
              rect.bottom - rect.top == pixels(layout.height) &&
              ((style & WS_VISIBLE) != 0) == layout.visibleAtStart &&
              (!captioned || TextOf(control) == layout.caption));
  }
  // A read-only box asks its parent for its colours as a static control does.
  HWND path = Control(txtPath);
  const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
      viewer, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(path)));
  ReleaseDC(viewer, dc);
  LOGBRUSH fill{};
  Check("path box light grey",
        brush && GetObjectW(brush, sizeof fill, &fill) && fill.lbColor == RGB(192, 192, 192));
  std::vector<ControlId> tabOrder;
  for (HWND at = GetNextDlgTabItem(viewer, path, FALSE); at && at != path && tabOrder.size() < 20;
       at = GetNextDlgTabItem(viewer, at, FALSE)) {
    tabOrder.push_back(static_cast<ControlId>(GetDlgCtrlID(at) - kFirstControlId));
  }
  Check("tab order at start", tabOrder == std::vector{cmdFileManager, lstFileSet, cmdClose});
}

void RunScenarios(const std::string& logs, const std::string& database) {
  std::optional<DispatchCaller> first(DisplayedLogManager());
  CheckWindow();
  HWND viewer = FindThreadViewerWindow();

  // The road: load the folder, a file, an action.
  Load(logs);
  Expect("loaded", logs +
                       "|[01.12.2026 08:30:12: C:\\db\\shop.db (log_a.xml)][03.12.2026 14:15:00: "
                       "OFFLINE (log_b.xml)][01.12.2026 08:30:12: " +
                       database + " (log_undo.xml)]|||");
  Choose(lstFileSet, 0);
  Check("lists scroll to their widest entry",
        ScrollsToWidestEntry(lstFileSet) && ScrollsToWidestEntry(lstAction));
  Choose(lstAction, 0);
  Check("details " + Listed(lstDetails) + ShownFrames(),
        Listed(lstDetails) + ShownFrames() ==
            "[ACTION: UPDATE][FieldName: Ort][OldValue: München][NewValue: Köln][RECORDID: 7]ADNU");

  // Undo from the window, twice: the answerer says yes, ok, then no, ok.
  Choose(lstFileSet, 2);
  Choose(lstAction, 0);
  const std::string before = Shown();
  Click(cmdUndo);
  Click(cmdUndo);
  Check("undo leaves the window as it was: " + Shown(),
        Shown() == before && ShownFrames() == "ADNU" && Send(lstAction, LB_GETCURSEL) == 0 &&
            Send(lstFileSet, LB_GETCURSEL) == 2);

  // A second Display by another LogManager: the same window, back in its start state.
  Load(logs);
  wchar_t seen[2048] = {};  // what the stand-in picker was given last
  GetEnvironmentVariableW(L"TARVESK_TEST_PICKER_SEEN", seen, 2048);
  Check("picker asked as the viewer asks, in the chosen folder",
        Utf8(seen) == std::string(tarvesk::kPickerCaption) + "\t" + logs);
  Choose(lstFileSet, 0);
  std::optional<DispatchCaller> second(DisplayedLogManager());
  Check("one window for the thread", FindThreadViewerWindow() == viewer);
  Expect("second Display", "||||");

  // The end of the first LogManager closes the window, though it shows the second's.
  first.reset();
  Pump();
  Expect("end of a LogManager closes the window", "no window");

  // Close and open again; a host that lets go of its LogManager leaves the window open.
  Display(*second);
  Click(cmdClose);
  Expect("Schliessen closes the window", "no window");
  Display(*second);
  Expect("re-opened", "||||");
  second.reset();
  Pump();
  Load(logs);
  Choose(lstFileSet, 2);
  Check("without the host's reference the window stays and works",
        Send(lstAction, LB_GETCOUNT) == 5);
  SendMessageW(FindThreadViewerWindow(), WM_CLOSE, 0, 0);
  Pump();
  Expect("closed from its title bar", "no window");
}

void Pose(const std::string& logs, int file, int action, const wchar_t* ready,
          const wchar_t* stop) {
  DispatchCaller logManager = DisplayedLogManager();
  Load(logs);
  Choose(lstFileSet, file);
  Choose(lstAction, action);
  CloseHandle(CreateFileW(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  const DWORD deadline = GetTickCount() + 120000;
  while (GetFileAttributesW(stop) == INVALID_FILE_ATTRIBUTES &&
         static_cast<LONG>(deadline - GetTickCount()) > 0) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    Pump();
  }
}

// Times loading LOGS, listing its first file (parsed) and listing it again (cached).
void Measure(const std::string& logs) {
  DispatchCaller logManager = DisplayedLogManager();
  double ms[3];
  for (int step = 0; step < 3; ++step) {
    const auto start = std::chrono::steady_clock::now();
    step == 0 ? Load(logs) : Choose(lstFileSet, 0);
    ms[step] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  std::printf("files listed: %.0f ms\n", ms[0]);
  std::printf("%ld actions listed on the first click: %.0f ms, on the second: %.0f ms\n",
              static_cast<long>(Send(lstAction, LB_GETCOUNT)), ms[1], ms[2]);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  const std::string mode = argc > 1 ? Utf8(argv[1]) : "";
  try {
    if (argc == 4 && mode == "test") {
      RunScenarios(Utf8(argv[2]), Utf8(argv[3]));
    } else if (argc == 7 && mode == "pose") {
      Pose(Utf8(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]), argv[5], argv[6]);
    } else if (argc == 3 && mode == "measure") {
      Measure(Utf8(argv[2]));
    } else {
      return 2;  // usage: test LOGS DATABASE | pose LOGS FILE ACTION READY STOP | measure LOGS
    }
  } catch (const tarvesk::Error& error) {
    Check("unexpected error " + std::to_string(error.Number()) + ": " + error.Description(), false);
  }
  if (mode == "test") std::printf("SUMMARY checks=%d failures=%d\n", checks, failures);
  CoUninitialize();
  return failures == 0 ? 0 : 1;
}
