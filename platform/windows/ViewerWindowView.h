// The Win32 view of the viewer window: draws an frmLogManager presenter with the controls of
// WindowLayout() (twips converted at the screen's DPI) and forwards clicks and list
// selections to it. It holds no logic of its own: every decision is the presenter's.
//
// Owns its HWNDs, the font and brush it draws with and the DC it measures entries in. Used on the
// thread that owns the presenter; the thread's message loop delivers its messages.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>

#include "front/frmLogManager.h"

namespace tarvesk {

class ViewerWindowView : public IViewerWindowView {
 public:
  explicit ViewerWindowView(frmLogManager& presenter);
  ~ViewerWindowView() override;

  void Show() override;
  void Close() override;
  void ControlChanged(ControlId control, ControlChange change) override;

  HWND Window() const { return window_; }
  HWND Control(ControlId id) const { return controls_[static_cast<size_t>(id)]; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  void Create();
  HWND CreateControl(const ControlLayout& layout);
  void Refill(ControlId list);
  void AddEntry(ControlId list, const std::string& entry);
  // Lists changed during one event redraw once, when its handler is done (EndOfChanges).
  void HoldRedraw(ControlId list);
  void EndOfChanges();
  // The width of a text in font_, in pixels.
  int TextWidth(const std::wstring& text) const;
  int Pixels(int twips) const { return MulDiv(twips, dpi_, 1440); }

  // The window procedure of the system's buttons, which frames pass their messages to.
  static inline WNDPROC buttonProc_ = nullptr;

  frmLogManager& presenter_;
  HWND window_ = nullptr;
  std::array<HWND, kControlCount> controls_{};
  std::array<bool, kControlCount> redrawHeld_{};
  bool endPosted_ = false;
  std::array<int, kControlCount> listExtent_{};  // widest entry of each list, in pixels
  HFONT font_ = nullptr;
  HDC measure_ = nullptr;  // a memory DC with font_ selected, for the widths of list entries
  std::array<int, 256> charWidths_{};  // advance widths in font_ of the first 256 characters
  HBRUSH pathBrush_ = nullptr;
  int dpi_ = 96;
};

// The viewer window of the calling thread, nullptr when it has none (for hosts and tests,
// which know the window only from the outside).
HWND FindThreadViewerWindow();

}  // namespace tarvesk
