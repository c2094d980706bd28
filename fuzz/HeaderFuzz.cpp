// The header reader on any bytes as a log file: marker test, header properties, and the
// properties the viewer and pruning read by name.
#include "automation/Conversions.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvesk;
  fuzz::WithLogFile(data, size, [](FileSet& set) {
    set.ReadFileSetProperties();
    const auto properties = set.HeaderProperties(1);
    // The file's own name is always the last property.
    if (properties->PropertyCount() < 1 ||
        properties->PropertyNameByIndex(properties->PropertyCount()) != "FILENAME") {
      std::abort();
    }
    (void)ParseDate(set.FileProperties(1, "SESSIONTIME"));
    (void)set.FileProperties(1, "DATABASE");
  });
  return 0;
}
