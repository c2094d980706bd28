// The wrappers of the entry class LogManager and of ActionHandler, and the view that draws
// the viewer window from this DLL.
#include "platform/windows/ViewerWindowView.h"
#include "com/logmanager/Objects.h"

namespace tarvesk::com {
namespace {

// The Win32 view, holding a reference on this module while its window is on the screen:
// the window's procedure lives in this DLL, so the host must not unload it (DllCanUnloadNow)
// while the window is open, even after it has released every object.
class ModuleLockedView : public IViewerWindowView {
 public:
  explicit ModuleLockedView(frmLogManager& presenter) : view_(presenter) {}
  ~ModuleLockedView() override { Unlock(); }

  void Show() override {
    view_.Show();
    if (!locked_) ModuleAddRef();
    locked_ = true;
  }
  void Close() override {
    view_.Close();
    Unlock();
  }
  void ControlChanged(ControlId control, ControlChange change) override {
    view_.ControlChanged(control, change);
  }

 private:
  void Unlock() {
    if (locked_) ModuleRelease();
    locked_ = false;
  }

  ViewerWindowView view_;
  bool locked_ = false;
};

}  // namespace

// ActionHandler

STDMETHODIMP ActionHandlerObject::get_LogFileHandle(long* Result) {
  return Call([&] { SetOut(Result, Object().LogFileHandle()); });
}

STDMETHODIMP ActionHandlerObject::put_LogFileHandle(long LogFileHandle) {
  return Call([&] { Object().SetLogFileHandle(LogFileHandle); });
}

STDMETHODIMP ActionHandlerObject::get_ActionHandle(long* Result) {
  return Call([&] { SetOut(Result, Object().ActionHandle()); });
}

STDMETHODIMP ActionHandlerObject::put_ActionHandle(long ActionHandle) {
  return Call([&] { Object().SetActionHandle(ActionHandle); });
}

STDMETHODIMP ActionHandlerObject::put_FileSetObject(_FileSet** objfs) {
  return Call([&] { Object().SetFileSetObject(FileSetOf(objfs ? *objfs : nullptr)); });
}

STDMETHODIMP ActionHandlerObject::UndoAction(VARIANT* Result) {
  return Call([&] {
    SetEmpty(Result);
    Object().UndoAction();
  });
}

// LogManager

LogManagerObject::LogManagerObject() : CoreObject(std::make_shared<LogManager>()) {
  static const bool viewSet = [] {
    SetViewFactory([](frmLogManager& presenter) -> std::unique_ptr<IViewerWindowView> {
      return std::make_unique<ModuleLockedView>(presenter);
    });
    return true;
  }();
  (void)viewSet;
}

STDMETHODIMP LogManagerObject::Display(VARIANT* Result) {
  return Call([&] {
    SetEmpty(Result);
    Object().Display();
  });
}

STDMETHODIMP LogManagerObject::EjectFileset(VARIANT* Result) {
  return Call([&] {
    SetEmpty(Result);
    Object().EjectFileset();
  });
}

STDMETHODIMP LogManagerObject::get_FileSetManager(_FileSet** Result) {
  return Call([&] {
    auto fileSet = WrapperOf<FileSetObject>(Object().FileSetManager());
    SetOut<_FileSet>(Result, ComPtr<_FileSet>(fileSet.Get()));
  });
}

}  // namespace tarvesk::com
