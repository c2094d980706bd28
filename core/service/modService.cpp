#include "service/modService.h"

namespace tarvesk {
namespace {

constexpr const char* kFileManagerMissing =
    "Die Komponente Tarvesk FileManager konnte nicht geladen werden. Ev. ist diese Software "
    "nicht korrekt installiert!";
constexpr const char* kXmlHandlerMissing =
    "Die Komponente Tarvesk XMLHandler konnte nicht geladen werden. Ev. ist diese Software "
    "nicht korrekt installiert!";
constexpr const char* kDataLayerMissing =
    "Die Komponente Tarvesk DataLayer konnte nicht geladen werden. Ev. ist diese Software "
    "nicht korrekt installiert!";

template <class Interface>
std::unique_ptr<Interface> OrTell(Environment& environment, std::unique_ptr<Interface> object,
                                  const char* missingText) {
  if (!object) {
    environment.Messages().Show(
        {missingText, "Komponente nicht verfügbar!", MessageButtons::Ok, MessageIcon::Critical});
  }
  return object;
}

}  // namespace

std::unique_ptr<IFolderPicker> CreateFileManager(Environment& environment) {
  return OrTell(environment, environment.CreateFolderPicker(kFileManagerProgId),
                kFileManagerMissing);
}
std::unique_ptr<IFileSystem> CreateFileSystem(Environment& environment) {
  return OrTell(environment, environment.CreateFileSystem(kFileSystemProgId), kFileManagerMissing);
}
std::unique_ptr<IXmlParser> CreateXMLParser(Environment& environment) {
  return OrTell(environment, environment.CreateXmlParser(kXmlParserProgId), kXmlHandlerMissing);
}
std::unique_ptr<IDataLayer> CreateDataLayer(Environment& environment) {
  return OrTell(environment, environment.CreateDataLayer(kDataLayerProgId), kDataLayerMissing);
}

std::string GetDelimitedField(std::string_view strText, std::string_view strDelimiter,
                              int32_t lngFieldNumber) {
  if (strDelimiter.empty() || lngFieldNumber < 1) return "";
  if (strDelimiter.size() > 1) {
    // An occurrence of a longer delimiter may begin in the text and end in the delimiter
    // appended to it ("a:" divided by "::" is "a" and ""): walk the joined text itself.
    const std::string working = std::string(strText) + std::string(strDelimiter);
    size_t start = 0;
    for (int32_t field = 1;; ++field) {
      const size_t found = working.find(strDelimiter, start);
      if (found == std::string::npos) return "";
      if (field == lngFieldNumber) return working.substr(start, found - start);
      start = found + strDelimiter.size();
    }
  }
  // Walk the fields of text + delimiter; field k ends at the k-th occurrence.
  size_t start = 0;
  for (int32_t field = 1;; ++field) {
    const size_t found = strText.find(strDelimiter, start);
    if (found == std::string_view::npos) {
      // The appended delimiter closes the last field.
      return field == lngFieldNumber ? std::string(strText.substr(start)) : "";
    }
    if (field == lngFieldNumber) return std::string(strText.substr(start, found - start));
    start = found + strDelimiter.size();
  }
}

}  // namespace tarvesk
