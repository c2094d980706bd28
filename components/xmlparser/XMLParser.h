// The reference tag parser, TarveskXMLHandler.XMLParser: takes one line of tagged log text
// apart. It knows the forms a log holds - "<NAME>value</NAME>" and opening lines such as
// <ACTION Info="UPDATE RECORDID=7"> - and answers every other line with text ("" where
// it finds nothing), never with an error. Values are returned with XML character
// references and the five predefined entities decoded; anything else stays as written.
#pragma once

#include "service/Components.h"

namespace tarvesk {

class XMLParser : public IXmlParser {
 public:
  void ParseSingleTag(const std::string& line, std::string& name, std::string& value) override;
  std::string GetTagName(std::string_view line) override;
  std::string GetTagValue(std::string_view line, std::string_view tagName) override;
  void ParseRubriqueTag(std::string_view line, std::string& tagName, std::string& attributeName,
                        std::string& attributes) override;
  bool TagNameIsPartOfLine() const override { return true; }
  bool TagValueInLine(std::string_view line, std::string_view tagName,
                      std::string_view& value) override;
  bool TagInLine(std::string_view line, std::string_view& name, std::string_view& value) override;
};

// Decodes &lt; &gt; &amp; &quot; &apos; and &#N; / &#xH; references; others stay as they are.
std::string DecodeXmlText(std::string_view text);

}  // namespace tarvesk
