// Environment: what the core needs from the platform it runs on - message boxes, the
// outside components by programmatic identifier and the view of the viewer window. The
// programs make one (platform/posix, platform/windows; tests/support for the tests) and
// hand it to the objects that create the rest: FileSet (and through it LogData),
// ActionHandler, LogManager and the viewer window. No part of it is kept in a global.
//
// An environment must outlive every object it was handed to. Its members may be called
// from the thread of any object that holds it; the implementations here are used on one.
#pragma once

#include <memory>
#include <string>

#include "service/Components.h"
#include "service/UserMessages.h"

namespace tarvesk {

class frmLogManager;
class IViewerWindowView;

class Environment {
 public:
  virtual ~Environment() = default;

  virtual IUserMessages& Messages() = 0;

  // A new instance of the component registered under progId; nullptr when there is none
  // or it cannot be created. Never raises.
  virtual std::unique_ptr<IFolderPicker> CreateFolderPicker(const std::string& progId) = 0;
  virtual std::unique_ptr<IFileSystem> CreateFileSystem(const std::string& progId) = 0;
  virtual std::unique_ptr<IXmlParser> CreateXmlParser(const std::string& progId) = 0;
  virtual std::unique_ptr<IDataLayer> CreateDataLayer(const std::string& progId) = 0;

  // The view of a new viewer window; nullptr where a window is drawn nowhere.
  virtual std::unique_ptr<IViewerWindowView> CreateView(frmLogManager& window) = 0;
};

// Another environment with other message boxes: the command line's terminal for one
// command. Holds references to both; they must outlive it.
class EnvironmentWithMessages final : public Environment {
 public:
  EnvironmentWithMessages(Environment& base, IUserMessages& messages)
      : base_(base), messages_(messages) {}

  IUserMessages& Messages() override { return messages_; }
  std::unique_ptr<IFolderPicker> CreateFolderPicker(const std::string& progId) override {
    return base_.CreateFolderPicker(progId);
  }
  std::unique_ptr<IFileSystem> CreateFileSystem(const std::string& progId) override {
    return base_.CreateFileSystem(progId);
  }
  std::unique_ptr<IXmlParser> CreateXmlParser(const std::string& progId) override {
    return base_.CreateXmlParser(progId);
  }
  std::unique_ptr<IDataLayer> CreateDataLayer(const std::string& progId) override {
    return base_.CreateDataLayer(progId);
  }
  std::unique_ptr<IViewerWindowView> CreateView(frmLogManager& window) override;

 private:
  Environment& base_;
  IUserMessages& messages_;
};

}  // namespace tarvesk
