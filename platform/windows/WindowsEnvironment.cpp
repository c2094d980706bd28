#include "platform/windows/WindowsEnvironment.h"

#include "platform/PlatformEnvironment.h"
#include "platform/windows/ComComponents.h"
#include "platform/windows/ViewerWindowView.h"

namespace tarvesk {

std::unique_ptr<IFolderPicker> WindowsEnvironment::CreateFolderPicker(const std::string& progId) {
  return com::CreateFolderPickerAdapter(progId);
}
std::unique_ptr<IFileSystem> WindowsEnvironment::CreateFileSystem(const std::string& progId) {
  return com::CreateFileSystemAdapter(progId);
}
std::unique_ptr<IXmlParser> WindowsEnvironment::CreateXmlParser(const std::string& progId) {
  return com::CreateXmlParserAdapter(progId);
}
std::unique_ptr<IDataLayer> WindowsEnvironment::CreateDataLayer(const std::string& progId) {
  return com::CreateDataLayerAdapter(progId);
}
std::unique_ptr<IViewerWindowView> WindowsEnvironment::CreateView(frmLogManager& window) {
  return std::make_unique<ViewerWindowView>(window);
}

std::unique_ptr<Environment> MakePlatformEnvironment(IUserMessages* messages) {
  return std::make_unique<WindowsEnvironment>(messages);
}

}  // namespace tarvesk
