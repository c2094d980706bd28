#include "service/modService.h"

#include "service/ComponentCreation.h"
#include "service/UserMessages.h"

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
std::unique_ptr<Interface> CreateOrTell(const char* progId, const char* missingText) {
  auto object = CreateComponent<Interface>(progId);
  if (!object) {
    UserMessages().Show(
        {missingText, "Komponente nicht verfügbar!", MessageButtons::Ok, MessageIcon::Critical});
  }
  return object;
}

}  // namespace

std::unique_ptr<IFolderPicker> CreateFileManager() {
  return CreateOrTell<IFolderPicker>(kFileManagerProgId, kFileManagerMissing);
}
std::unique_ptr<IFileSystem> CreateFileSystem() {
  return CreateOrTell<IFileSystem>(kFileSystemProgId, kFileManagerMissing);
}
std::unique_ptr<IXmlParser> CreateXMLParser() {
  return CreateOrTell<IXmlParser>(kXmlParserProgId, kXmlHandlerMissing);
}
std::unique_ptr<IDataLayer> CreateDataLayer() {
  return CreateOrTell<IDataLayer>(kDataLayerProgId, kDataLayerMissing);
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
