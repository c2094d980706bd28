// TarveskLogManager.dll: its environment, its class table and the four exported entry
// points.
#include "com/kit/ComServer.h"
#include "com/logmanager/Objects.h"
#include "platform/windows/ViewerWindowView.h"
#include "platform/windows/WindowsEnvironment.h"

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

// The Windows environment, whose viewer window keeps this module loaded while it is shown.
class ServerEnvironment : public WindowsEnvironment {
 public:
  std::unique_ptr<IViewerWindowView> CreateView(frmLogManager& window) override {
    return std::make_unique<ModuleLockedView>(window);
  }
};

const ClassEntry kClasses[] = {
    Class<LogManagerObject>(CLSID_LogManager),
    Class<FileSetObject>(CLSID_FileSet),
    Class<PropertyCollectionObject>(CLSID_PropertyCollection),
    Class<LogDataObject>(CLSID_LogData),
    Class<ActionHandlerObject>(CLSID_ActionHandler),
};

const ServerDescription kServer{kClasses};

}  // namespace

Environment& TheEnvironment() {
  static ServerEnvironment environment;
  return environment;
}

}  // namespace tarvesk::com

#include "com/kit/ServerExports.inc"
