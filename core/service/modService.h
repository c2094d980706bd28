// modService: the shared routines of the component - the factories of the outside
// components and the field splitter.
//
// Each factory creates a new instance by programmatic identifier through the environment
// it is given. When that fails it shows
// "Komponente nicht verfügbar!" (OK, critical icon) with the component's text and returns
// nullptr; it never raises. Callers use Use(), which turns a missing object into error 91
// at the first call, as a late-bound call on Nothing would.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "automation/Error.h"
#include "service/Components.h"
#include "service/Environment.h"

namespace tarvesk {

inline constexpr const char* kFileManagerProgId = "TarveskFileManager.clsFileManager";
inline constexpr const char* kFileSystemProgId = "TarveskFileManager.FileSystem";
inline constexpr const char* kXmlParserProgId = "TarveskXMLHandler.XMLParser";
inline constexpr const char* kDataLayerProgId = "TarveskDataLayer.DataLayer";

std::unique_ptr<IFolderPicker> CreateFileManager(Environment& environment);
std::unique_ptr<IFileSystem> CreateFileSystem(Environment& environment);
std::unique_ptr<IXmlParser> CreateXMLParser(Environment& environment);
std::unique_ptr<IDataLayer> CreateDataLayer(Environment& environment);

template <class T>
T& Use(const std::unique_ptr<T>& object) {
  if (!object) throw Error(kObjectNotSet);
  return *object;
}

// Field lngFieldNumber (1-based) of strText divided by strDelimiter; "" when there is no
// such field or the delimiter is empty. Never fails.
std::string GetDelimitedField(std::string_view strText, std::string_view strDelimiter,
                              int32_t lngFieldNumber);

}  // namespace tarvesk
