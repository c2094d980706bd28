// The environment of the Windows build: the outside components are created through COM
// by programmatic identifier behind adapters (ComComponents.h), a message is a message box
// and the viewer window is drawn by the Win32 view (ViewerWindowView.h).
//
// Owns its message boxes; a program may hand in messages of its own (the caller keeps them
// alive). Each thread enters COM at its first creation of a component.
#pragma once

#include "platform/windows/MessageBoxMessages.h"
#include "service/Environment.h"

namespace tarvesk {

class WindowsEnvironment : public Environment {
 public:
  // messages nullptr: message boxes.
  explicit WindowsEnvironment(IUserMessages* messages = nullptr) : messages_(messages) {}

  IUserMessages& Messages() override { return messages_ ? *messages_ : boxes_; }
  std::unique_ptr<IFolderPicker> CreateFolderPicker(const std::string& progId) override;
  std::unique_ptr<IFileSystem> CreateFileSystem(const std::string& progId) override;
  std::unique_ptr<IXmlParser> CreateXmlParser(const std::string& progId) override;
  std::unique_ptr<IDataLayer> CreateDataLayer(const std::string& progId) override;
  // A ViewerWindowView.
  std::unique_ptr<IViewerWindowView> CreateView(frmLogManager& window) override;

 private:
  com::MessageBoxMessages boxes_;
  IUserMessages* messages_;
};

}  // namespace tarvesk
