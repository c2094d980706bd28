// The VB conversions on any text: Val and CLng (overflow their only error), date parsing and
// formatting. A date that parses formats to text that parses back to the same date.
#include <cmath>
#include <cstdlib>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvesk;
  const std::string_view text = fuzz::Bytes(data, size);
  try {
    // Val raises overflow (6) for a number beyond a Double, as VB does.
    const double number = Val(text);
    (void)FormatDouble(number);
    (void)CStr(Variant(number));
    (void)CLng(number);
  } catch (const Error& error) {
    if (error.Number() != kOverflow) std::abort();
  }
  if (const auto date = ParseDate(text)) {
    const std::string formatted = FormatDate(*date);
    const auto again = ParseDate(formatted);
    if (!again || std::fabs(again->serial - date->serial) > 1.0 / 86400) std::abort();
    (void)SplitDate(*date);
  }
  try {
    (void)CDate(text);
  } catch (const Error&) {
  }
  return 0;
}
