// TarveskXMLHandler.dll: the reference tag parser (components/xmlparser) as the COM class
// TarveskXMLHandler.XMLParser, with its class table and exports.
#include <cstring>

#include "com/components/TarveskXMLHandler.h"
#include "com/kit/ComServer.h"
#include "components/xmlparser/XMLParser.h"
#include "platform/windows/ComComponents.h"

namespace tarvesk::com {
namespace {

// Also answers IInProcessXmlParser, so that the log manager built alike calls its parser
// directly.
class XMLParserObject : public DispatchObject<_XMLParser>, public IInProcessXmlParser {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out && iid == IID_IInProcessXmlParser) {
      *out = static_cast<IInProcessXmlParser*>(this);
      AddRef();
      return S_OK;
    }
    return DispatchObject::QueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return DispatchObject::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return DispatchObject::Release(); }
  IXmlParser* STDMETHODCALLTYPE Parser(const char* build) override {
    return build && std::strcmp(build, InProcessBuild()) == 0 ? &parser_ : nullptr;
  }

  STDMETHODIMP ParseSingleTag(BSTR* strLine, BSTR* strTagName, BSTR* strTagValue,
                              VARIANT* Result) override {
    return Call([&] {
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
    Class<XMLParserObject>(CLSID_XMLParser),
};
const ServerDescription kServer{kClasses};

}  // namespace
}  // namespace tarvesk::com

#include "com/kit/ServerExports.inc"
