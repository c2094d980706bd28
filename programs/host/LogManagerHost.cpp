// LogManagerHost.exe: the smallest host of the log viewer. It creates
// TarveskLogManager.LogManager through COM by its programmatic identifier, calls Display
// late-bound as any host would, and runs the thread's message loop until the viewer window
// is gone; then it releases the LogManager and leaves COM. The folder picker starts in the
// data layer's log folder (TARVESK_DATALAYER_LOGDIR or the registry) until a folder is chosen.
// Exit code 0 after the window was closed, 1 when the viewer could not be opened.
#include <windows.h>
// after windows.h
#include <objbase.h>

#include <string>

#include "automation/Error.h"
#include "platform/windows/ViewerWindowView.h"
#include "platform/windows/DispatchCaller.h"

namespace {

// The thread's apartment for the life of the host.
class Apartment {
 public:
  Apartment() : entered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~Apartment() {
    if (entered_) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  explicit operator bool() const { return entered_; }

 private:
  bool entered_;
};

void Fail(const std::wstring& text) {
  MessageBoxW(nullptr, text.c_str(), L"LogManagerHost", MB_OK | MB_ICONERROR);
}

}  // namespace

int wmain() {
  Apartment apartment;
  if (!apartment) return 1;
  using tarvesk::com::ComPtr;
  using tarvesk::com::DispatchCaller;
  CLSID clsid;
  ComPtr<IDispatch> object;
  if (FAILED(CLSIDFromProgID(L"TarveskLogManager.LogManager", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(object.Out())))) {
    Fail(L"TarveskLogManager.LogManager ist nicht registriert (regsvr32 TarveskLogManager.dll).");
    return 1;
  }
  DispatchCaller logManager(std::move(object), L"TarveskLogManager.LogManager");
  try {
    logManager.Method(L"Display");
  } catch (const tarvesk::Error& error) {
    Fail(tarvesk::com::Utf8ToWide(error.Description()));
    return 1;
  }

  // The window is modeless: this loop delivers its events. Tab moves between its controls.
  MSG message;
  while (HWND viewer = tarvesk::FindThreadViewerWindow()) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) break;
    if (IsDialogMessageW(viewer, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
