#include "platform/windows/ViewerWindowView.h"

#include <string>
#include <utility>

namespace tarvesk {
namespace {

constexpr wchar_t kWindowClass[] = L"TarveskLogManagerViewer";
constexpr int kFirstControlId = 100;
// Posted to the window by the first list change of an event; it arrives once the event's
// handler is done.
constexpr UINT kEndOfChanges = WM_APP + 1;

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

HINSTANCE ModuleInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
  return module;
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure) {
  const HINSTANCE instance = ModuleInstance();
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (GetClassInfoExW(instance, name, &windowClass)) return;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  RegisterClassExW(&windowClass);
}

}  // namespace

ViewerWindowView::ViewerWindowView(frmLogManager& presenter) : presenter_(presenter) {}

ViewerWindowView::~ViewerWindowView() {
  Close();
  if (measure_) DeleteDC(measure_);  // before the font selected into it
  if (font_) DeleteObject(font_);
  if (pathBrush_) DeleteObject(pathBrush_);
}

void ViewerWindowView::Show() {
  if (!window_) Create();
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
}

void ViewerWindowView::Close() {
  if (!window_) return;
  HWND window = std::exchange(window_, nullptr);
  controls_.fill(nullptr);
  redrawHeld_.fill(false);
  endPosted_ = false;
  DestroyWindow(window);
}

void ViewerWindowView::Create() {
  RegisterWindowClass(kWindowClass, &WindowProc);
  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  if (!font_) font_ = CreateFontIndirectW(&metrics.lfMessageFont);
  // Entries are measured in a DC of their own, made once.
  if (!measure_) {
    measure_ = CreateCompatibleDC(nullptr);
    SelectObject(measure_, font_);
    // Without kerning a text is as wide as its characters' advances; asking the system
    // once per entry would cost a log of 100,000 actions a good part of its listing time.
    GetCharWidth32W(measure_, 0, static_cast<UINT>(charWidths_.size() - 1), charWidths_.data());
  }
  const ControlLayout& path = LayoutOf(ControlId::txtPath);
  if (!pathBrush_ && path.backColor) {
    const uint32_t rgb = *path.backColor;
    pathBrush_ = CreateSolidBrush(RGB(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF));
  }

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame = {0, 0, Pixels(kClientWidthTwips), Pixels(kClientHeightTwips)};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  window_ = CreateWindowExW(0, kWindowClass, Wide(kWindowCaption).c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                            nullptr, nullptr, ModuleInstance(), this);

  listExtent_.fill(0);
  for (const ControlLayout& layout : WindowLayout()) {
    HWND control = CreateControl(layout);
    controls_[static_cast<size_t>(layout.id)] = control;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (layout.kind == ControlKind::TextBox) {
      SetWindowTextW(control, Wide(presenter_.Text(layout.id)).c_str());
    }
    if (layout.kind == ControlKind::ListBox) Refill(layout.id);
    ShowWindow(control, presenter_.Visible(layout.id) ? SW_SHOW : SW_HIDE);
  }
  // A label lies below the other controls, so that a box placed over it covers it.
  for (const ControlLayout& layout : WindowLayout()) {
    if (layout.kind != ControlKind::Label) continue;
    SetWindowPos(Control(layout.id), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

HWND ViewerWindowView::CreateControl(const ControlLayout& layout) {
  HWND parent = layout.parent ? Control(*layout.parent) : window_;
  const std::wstring caption = Wide(layout.caption);
  const auto id =
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + static_cast<int>(layout.id)));
  const int x = Pixels(layout.left), y = Pixels(layout.top);
  const int width = Pixels(layout.width), height = Pixels(layout.height);
  const wchar_t* windowClass = L"STATIC";
  DWORD style = WS_CHILD;
  DWORD exStyle = 0;
  switch (layout.kind) {
    case ControlKind::Label:
      style |= SS_LEFT;
      break;
    case ControlKind::TextBox:
      windowClass = L"EDIT";
      style |= WS_TABSTOP | ES_AUTOHSCROLL | (layout.readOnly ? ES_READONLY : 0);
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::CommandButton:
      windowClass = L"BUTTON";
      style |= WS_TABSTOP | BS_PUSHBUTTON;
      break;
    case ControlKind::CheckBox:
      windowClass = L"BUTTON";
      style |= WS_TABSTOP | BS_AUTOCHECKBOX;
      break;
    case ControlKind::ListBox:
      windowClass = L"LISTBOX";
      style |= WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::Frame:
      // A group box that holds its controls; FrameProc passes their notifications on.
      windowClass = L"BUTTON";
      style |= BS_GROUPBOX;
      exStyle = WS_EX_CONTROLPARENT;
      break;
  }
  HWND control = CreateWindowExW(exStyle, windowClass, caption.c_str(), style | WS_CLIPSIBLINGS, x,
                                 y, width, height, parent, id, ModuleInstance(), nullptr);
  if (layout.kind == ControlKind::Frame) {
    buttonProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrameProc)));
  }
  return control;
}

void ViewerWindowView::Refill(ControlId list) {
  HWND control = Control(list);
  SendMessageW(control, LB_RESETCONTENT, 0, 0);
  listExtent_[static_cast<size_t>(list)] = 0;
  SendMessageW(control, LB_SETHORIZONTALEXTENT, 0, 0);
  // The list box takes its storage for all entries at once rather than growing it
  // entry by entry.
  const auto& entries = presenter_.Entries(list);
  size_t units = 0;
  for (const std::string& entry : entries) units += entry.size() + 1;
  SendMessageW(control, LB_INITSTORAGE, entries.size(), units * sizeof(wchar_t));
  for (const std::string& entry : entries) AddEntry(list, entry);
  SendMessageW(control, LB_SETCURSEL, static_cast<WPARAM>(presenter_.ListIndex(list)), 0);
}

int ViewerWindowView::TextWidth(const std::wstring& text) const {
  int width = 0;
  for (const wchar_t c : text) {
    if (c >= charWidths_.size()) {
      SIZE size{};
      GetTextExtentPoint32W(measure_, text.c_str(), static_cast<int>(text.size()), &size);
      return size.cx;
    }
    width += charWidths_[c];
  }
  return width;
}

void ViewerWindowView::AddEntry(ControlId list, const std::string& entry) {
  HWND control = Control(list);
  const std::wstring text = Wide(entry);
  SendMessageW(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  // The horizontal scroll bar appears once an entry is wider than the box.
  const int width = TextWidth(text);
  int& extent = listExtent_[static_cast<size_t>(list)];
  if (width + 8 > extent) {
    extent = width + 8;
    SendMessageW(control, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(extent), 0);
  }
}

void ViewerWindowView::ControlChanged(ControlId id, ControlChange change) {
  if (!window_) return;
  HWND control = Control(id);
  switch (change) {
    case ControlChange::Visible:
      ShowWindow(control, presenter_.Visible(id) ? SW_SHOW : SW_HIDE);
      break;
    case ControlChange::Text:
      SetWindowTextW(control, Wide(presenter_.Text(id)).c_str());
      break;
    case ControlChange::Cleared:
      HoldRedraw(id);
      Refill(id);
      break;
    case ControlChange::Appended:
      HoldRedraw(id);
      AddEntry(id, presenter_.Entries(id).back());
      break;
  }
}

void ViewerWindowView::HoldRedraw(ControlId list) {
  bool& held = redrawHeld_[static_cast<size_t>(list)];
  if (held) return;
  // A list filled with thousands of entries would update its scroll bars for each one.
  SendMessageW(Control(list), WM_SETREDRAW, FALSE, 0);
  held = true;
  if (!endPosted_) endPosted_ = PostMessageW(window_, kEndOfChanges, 0, 0);
}

void ViewerWindowView::EndOfChanges() {
  endPosted_ = false;
  for (const ControlLayout& layout : WindowLayout()) {
    bool& held = redrawHeld_[static_cast<size_t>(layout.id)];
    if (!held) continue;
    held = false;
    HWND control = Control(layout.id);
    SendMessageW(control, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(control, nullptr, TRUE);
  }
}

LRESULT CALLBACK ViewerWindowView::FrameProc(HWND frame, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
      return SendMessageW(GetParent(frame), message, wParam, lParam);
    default:
      return CallWindowProcW(buttonProc_, frame, message, wParam, lParam);
  }
}

LRESULT CALLBACK ViewerWindowView::WindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* view = reinterpret_cast<ViewerWindowView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  // Messages of the creation arrive before CreateWindowExW has handed out the handle.
  if (view && view->window_ == window) return view->Handle(message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT ViewerWindowView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int index = LOWORD(wParam) - kFirstControlId;
      if (index < 0 || index >= kControlCount) break;
      const auto id = static_cast<ControlId>(index);
      const WORD code = HIWORD(wParam);
      if (code == LBN_SELCHANGE) {
        const auto selected = SendMessageW(Control(id), LB_GETCURSEL, 0, 0);
        presenter_.SelectListEntry(id, static_cast<int>(selected));
        presenter_.Click(id);
      } else if (code == BN_CLICKED && LayoutOf(id).kind == ControlKind::CommandButton) {
        presenter_.Click(id);
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lParam) == Control(ControlId::txtPath) && pathBrush_) {
        const uint32_t rgb = *LayoutOf(ControlId::txtPath).backColor;
        SetBkColor(reinterpret_cast<HDC>(wParam),
                   RGB(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF));
        return reinterpret_cast<LRESULT>(pathBrush_);
      }
      break;
    case kEndOfChanges:
      EndOfChanges();
      return 0;
    case WM_CLOSE:
      presenter_.Unload();  // the presenter closes this view
      return 0;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

namespace {
// An enumeration callback: stdcall on i686, where a lambda does not convert to it.
BOOL CALLBACK KeepViewerWindow(HWND window, LPARAM out) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (std::wstring(name) != kWindowClass) return TRUE;
  *reinterpret_cast<HWND*>(out) = window;
  return FALSE;
}
}  // namespace

HWND FindThreadViewerWindow() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), KeepViewerWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace tarvesk
