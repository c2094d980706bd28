// The tag parser on every line of any text: each member answers text and never raises,
// and a value it finds within the line is what GetTagValue answers.
#include <cstdlib>

#include "components/xmlparser/XMLParser.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvesk;
  const std::string_view text = fuzz::Bytes(data, size);
  XMLParser parser;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\r', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string line(text.substr(start, end - start));
    const std::string name = parser.GetTagName(line);
    const std::string value = parser.GetTagValue(line, name);
    std::string_view inLine;
    if (parser.TagValueInLine(line, name, inLine) && inLine != value) std::abort();
    (void)parser.GetTagValue(line, "QueryString");
    (void)parser.GetTagValue(line, "ERRORINFO");
    std::string single, singleValue, first, second, attributes;
    parser.ParseSingleTag(line, single, singleValue);
    parser.ParseRubriqueTag(line, first, second, attributes);
    start = end + 1;
  }
  return 0;
}
