// The field splitter against the plain reading of its rule: the text followed by the
// delimiter is cut at each occurrence from the left; field n is the piece before the n-th.
// Input: one byte field number (signed), one byte delimiter length (0 to 3), the
// delimiter, the text.
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "service/modService.h"

namespace {

std::string Reference(std::string_view text, std::string_view delimiter, int32_t n) {
  if (delimiter.empty()) return "";
  std::string working = std::string(text) + std::string(delimiter);
  for (int32_t count = 1;; ++count) {
    const size_t at = working.find(delimiter);
    if (at == std::string::npos) return "";
    if (count == n) return working.substr(0, at);
    working.erase(0, at + delimiter.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32_t n = static_cast<int8_t>(data[0]);
  const size_t length = std::min<size_t>(data[1] % 4, size - 2);
  const std::string_view delimiter = tarvesk::fuzz::Bytes(data + 2, length);
  const std::string_view text = tarvesk::fuzz::Bytes(data + 2 + length, size - 2 - length);
  if (tarvesk::GetDelimitedField(text, delimiter, n) != Reference(text, delimiter, n)) {
    std::abort();
  }
  return 0;
}
