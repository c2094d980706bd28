// test_tag_parser.dll: a tag parser registered over ours that answers only through IDispatch, as
// another maker's would; it counts its ParseSingleTag calls in TARVESK_TEST_PARSER_CALLS.
#include <string>

#include "com/components/TarveskXMLHandler.h"
#include "com/kit/ComServer.h"
#include "components/xmlparser/XMLParser.h"

namespace tarvesk::com {
namespace {

class ForeignParserObject : public DispatchObject<_XMLParser> {
 public:
  STDMETHODIMP ParseSingleTag(BSTR* strLine, BSTR* strTagName, BSTR* strTagValue,
                              VARIANT* Result) override {
    return Call([&] {
      static long calls = 0;
      SetEnvironmentVariableW(L"TARVESK_TEST_PARSER_CALLS", std::to_wstring(++calls).c_str());
      SetEmpty(Result);
      std::string name = InText(strTagName), value = InText(strTagValue);
      parser_.ParseSingleTag(InText(strLine), name, value);
      ReplaceText(strTagName, name);
      ReplaceText(strTagValue, value);
    });
  }
  STDMETHODIMP GetTagName(BSTR strLine, BSTR* Result) override {
    return Call([&] { SetOut(Result, parser_.GetTagName(BstrToUtf8(strLine))); });
  }
  STDMETHODIMP GetTagValue(BSTR strLine, BSTR strTagName, BSTR* Result) override {
    return Call(
        [&] { SetOut(Result, parser_.GetTagValue(BstrToUtf8(strLine), BstrToUtf8(strTagName))); });
  }
  STDMETHODIMP ParseRubriqueTag(BSTR strLine, BSTR* strTagName, BSTR* strAttributeName,
                                BSTR* strAttributes, VARIANT* Result) override {
    return Call([&] {
      SetEmpty(Result);
      std::string name = InText(strTagName), attribute = InText(strAttributeName),
                  attributes = InText(strAttributes);
      parser_.ParseRubriqueTag(BstrToUtf8(strLine), name, attribute, attributes);
      ReplaceText(strTagName, name);
      ReplaceText(strAttributeName, attribute);
      ReplaceText(strAttributes, attributes);
    });
  }

 private:
  XMLParser parser_;
};

const ClassEntry kClasses[] = {
    Class<ForeignParserObject>(CLSID_XMLParser),
};
const ServerDescription kServer{kClasses};

}  // namespace
}  // namespace tarvesk::com

#include "com/kit/ServerExports.inc"
