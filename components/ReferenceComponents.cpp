#include "components/ReferenceComponents.h"

#include "components/datalayer/DataLayer.h"
#include "components/filesystem/FileSystem.h"
#include "components/xmlparser/XMLParser.h"
#include "service/ComponentRegistry.h"
#include "service/modService.h"

namespace tarvesk {

void RegisterReferenceComponents(ComponentRegistry& registry) {
  registry.Register<IXmlParser>(kXmlParserProgId, [] { return std::make_unique<XMLParser>(); });
  registry.Register<IFileSystem>(kFileSystemProgId, [] { return std::make_unique<FileSystem>(); });
  registry.Register<IDataLayer>(kDataLayerProgId, [] { return std::make_unique<DataLayer>(); });
}

}  // namespace tarvesk
