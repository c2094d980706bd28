// The Windows side of component creation: a component is created by programmatic
// identifier through COM (CLSIDFromProgID + CoCreateInstance, asking for IDispatch) and
// wrapped in an adapter that implements the service interface by calling the component's
// members by name. DISPIDs are looked up once per class and member and then reused, since
// the callers make a call per log line. A failed call raises the component's error.
// Used by WindowsEnvironment; the adapter owns its object.
#pragma once

#include <objbase.h>

#include <memory>
#include <string>

#include "service/Components.h"

namespace tarvesk::com {

// Answered, beside its dispatch interface, by the system's own tag parser: the adapter
// then calls the parser's C++ object directly instead of one Invoke per log line. A C++
// object can be shared only between modules built alike, so Parser hands it out only to a
// caller whose InProcessBuild() equals its own. Not in any type library.
// {6B0D4C8E-2F1A-4C7B-9E35-8A1D5F27C904}
inline constexpr IID IID_IInProcessXmlParser = {
    0x6b0d4c8e, 0x2f1a, 0x4c7b, {0x9e, 0x35, 0x8a, 0x1d, 0x5f, 0x27, 0xc9, 0x04}};
class IInProcessXmlParser : public IUnknown {
 public:
  // The parser, alive as long as this object; nullptr for a caller built otherwise.
  virtual IXmlParser* STDMETHODCALLTYPE Parser(const char* build) = 0;
};
// The compiler and the service interfaces this module was built with.
inline const char* InProcessBuild() { return __VERSION__ " " TARVESK_COMPONENTS_STAMP; }

// nullptr when the identifier is not registered or the object cannot be created.
std::unique_ptr<IXmlParser> CreateXmlParserAdapter(const std::string& progId);
std::unique_ptr<IFileSystem> CreateFileSystemAdapter(const std::string& progId);
std::unique_ptr<IFolderPicker> CreateFolderPickerAdapter(const std::string& progId);
std::unique_ptr<IDataLayer> CreateDataLayerAdapter(const std::string& progId);

}  // namespace tarvesk::com
