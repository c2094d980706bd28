// The header reader on any bytes as a log file: marker test, header properties, and the
// properties the viewer and pruning read by name.
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "fileset/FileSet.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvesk;
  const std::string& folder = fuzz::Folder();
  fuzz::WriteFile(folder + "/log.xml", fuzz::Bytes(data, size));
  auto set = std::make_shared<FileSet>(fuzz::TheEnvironment());
  try {
    if (set->LoadFileSet(folder) && set->FileCount() == 1) {
      set->ReadFileSetProperties();
      const auto properties = set->HeaderProperties(1);
      // The file's own name is always the last property.
      if (properties->PropertyCount() < 1 ||
          properties->PropertyNameByIndex(properties->PropertyCount()) != "FILENAME") {
        std::abort();
      }
      (void)ParseDate(set->FileProperties(1, "SESSIONTIME"));
      (void)set->FileProperties(1, "DATABASE");
    }
  } catch (const Error&) {
  }
  set->EjectFileset();
  return 0;
}
