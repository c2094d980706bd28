// The log reader on any bytes as a log file: the set loads it, its body, action list, the
// details and query string of every listed action. Only the core's own errors may come out.
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "fileset/FileSet.h"
#include "fuzz/FuzzSupport.h"
#include "logdata/LogData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvesk;
  const std::string& folder = fuzz::Folder();
  fuzz::WriteFile(folder + "/log.xml", fuzz::Bytes(data, size));
  auto set = std::make_shared<FileSet>(fuzz::TheEnvironment());
  try {
    if (set->LoadFileSet(folder) && set->FileCount() == 1) {
      const auto log = set->LogContent(1);
      for (const std::string& entry : log->GetActionList()) {
        if (entry == kErrorEntry) continue;
        const int32_t position = LeadingNumber(entry);
        try {
          if (const auto details = log->GetActionData(position)) {
            for (int32_t i = 1; i <= details->PropertyCount(); ++i) {
              (void)details->PropertyValueByIndex(i);
            }
          }
          (void)log->RetrieveActionQueryString(position);
        } catch (const Error&) {
        }
      }
    }
  } catch (const Error&) {
  }
  set->EjectFileset();
  return 0;
}
