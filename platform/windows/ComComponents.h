// The Windows side of component creation: a component is created by programmatic
// identifier through COM (CLSIDFromProgID + CoCreateInstance, asking for IDispatch) and
// wrapped in an adapter that implements the service interface by calling the component's
// members by name. DISPIDs are looked up once per class and member and then reused, since
// the callers make a call per log line. A failed call raises the component's error.
// Used by WindowsEnvironment; the adapter owns its object.
#pragma once

#include <memory>
#include <string>

#include "service/Components.h"

namespace tarvesk::com {

// nullptr when the identifier is not registered or the object cannot be created.
std::unique_ptr<IXmlParser> CreateXmlParserAdapter(const std::string& progId);
std::unique_ptr<IFileSystem> CreateFileSystemAdapter(const std::string& progId);
std::unique_ptr<IFolderPicker> CreateFolderPickerAdapter(const std::string& progId);
std::unique_ptr<IDataLayer> CreateDataLayerAdapter(const std::string& progId);

}  // namespace tarvesk::com
