#include "platform/posix/PosixEnvironment.h"

#include <cstdio>

#include "components/ReferenceComponents.h"
#include "front/frmLogManager.h"
#include "platform/PlatformEnvironment.h"

namespace tarvesk {

MessageAnswer StderrMessages::Show(const UserMessage& message) {
  std::fprintf(stderr, "%s: %s\n", message.title.c_str(), message.text.c_str());
  return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

PosixEnvironment::PosixEnvironment(IUserMessages* messages) : messages_(messages) {
  RegisterReferenceComponents(components_);
}

std::unique_ptr<IFolderPicker> PosixEnvironment::CreateFolderPicker(const std::string& progId) {
  return components_.Create<IFolderPicker>(progId);
}
std::unique_ptr<IFileSystem> PosixEnvironment::CreateFileSystem(const std::string& progId) {
  return components_.Create<IFileSystem>(progId);
}
std::unique_ptr<IXmlParser> PosixEnvironment::CreateXmlParser(const std::string& progId) {
  return components_.Create<IXmlParser>(progId);
}
std::unique_ptr<IDataLayer> PosixEnvironment::CreateDataLayer(const std::string& progId) {
  return components_.Create<IDataLayer>(progId);
}
std::unique_ptr<IViewerWindowView> PosixEnvironment::CreateView(frmLogManager&) { return nullptr; }

std::unique_ptr<Environment> MakePlatformEnvironment(IUserMessages* messages) {
  return std::make_unique<PosixEnvironment>(messages);
}

}  // namespace tarvesk
