#include "platform/windows/ComComponents.h"

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "platform/windows/DispatchCaller.h"

namespace tarvesk::com {
namespace {

// A thread that has not entered COM (the command-line tool's) gets an apartment on its
// first creation and keeps it for its life; a host's thread is left as it is.
void EnterApartment() {
  thread_local bool entered = false;
  if (entered) return;
  if (CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) == S_FALSE) CoUninitialize();
  entered = true;
}

// The component's object, or nothing when COM cannot create it.
DispatchCaller Create(const std::string& progId) {
  EnterApartment();
  const std::wstring id = Utf8ToWide(progId);
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(id.c_str(), &clsid))) return {};
  ComPtr<IDispatch> object;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IDispatch, reinterpret_cast<void**>(object.Out())))) {
    return {};
  }
  return DispatchCaller(std::move(object), id);
}

class XmlParserAdapter : public IXmlParser {
 public:
  explicit XmlParserAdapter(DispatchCaller parser) : parser_(std::move(parser)) {}

  void ParseSingleTag(const std::string& line, std::string& name, std::string& value) override {
    Bstr lineText(line), nameText(name), valueText(value);
    parser_.Method(L"ParseSingleTag",
                   {DispatchCaller::TextRef(lineText), DispatchCaller::TextRef(nameText),
                    DispatchCaller::TextRef(valueText)});
    name = BstrToUtf8(nameText.Get());
    value = BstrToUtf8(valueText.Get());
  }
  std::string GetTagName(std::string_view line) override {
    const Bstr lineText(line);
    return AnswerText(parser_.Method(L"GetTagName", {DispatchCaller::Text(lineText)}).Get());
  }
  std::string GetTagValue(std::string_view line, std::string_view tagName) override {
    const Bstr lineText(line), nameText(tagName);
    return AnswerText(parser_
                          .Method(L"GetTagValue",
                                  {DispatchCaller::Text(lineText), DispatchCaller::Text(nameText)})
                          .Get());
  }
  void ParseRubriqueTag(std::string_view line, std::string& first, std::string& second,
                        std::string& attributes) override {
    const Bstr lineText(line);
    Bstr firstText(first), secondText(second), attributesText(attributes);
    parser_.Method(L"ParseRubriqueTag",
                   {DispatchCaller::Text(lineText), DispatchCaller::TextRef(firstText),
                    DispatchCaller::TextRef(secondText), DispatchCaller::TextRef(attributesText)});
    first = BstrToUtf8(firstText.Get());
    second = BstrToUtf8(secondText.Get());
    attributes = BstrToUtf8(attributesText.Get());
  }

 private:
  DispatchCaller parser_;
};

// The system's own tag parser, called directly: its answers are those of its Invoke, and
// the COM object that the factory created keeps the parser (and its module) alive.
class InProcessXmlParserAdapter : public IXmlParser {
 public:
  InProcessXmlParserAdapter(ComPtr<IInProcessXmlParser> object, IXmlParser& parser)
      : object_(std::move(object)), parser_(parser) {}

  void ParseSingleTag(const std::string& line, std::string& name, std::string& value) override {
    parser_.ParseSingleTag(line, name, value);
  }
  std::string GetTagName(std::string_view line) override { return parser_.GetTagName(line); }
  std::string GetTagValue(std::string_view line, std::string_view tagName) override {
    return parser_.GetTagValue(line, tagName);
  }
  void ParseRubriqueTag(std::string_view line, std::string& first, std::string& second,
                        std::string& attributes) override {
    parser_.ParseRubriqueTag(line, first, second, attributes);
  }
  bool TagNameIsPartOfLine() const override { return parser_.TagNameIsPartOfLine(); }
  bool TagValueInLine(std::string_view line, std::string_view tagName,
                      std::string_view& value) override {
    return parser_.TagValueInLine(line, tagName, value);
  }
  bool TagInLine(std::string_view line, std::string_view& name, std::string_view& value) override {
    return parser_.TagInLine(line, name, value);
  }

 private:
  ComPtr<IInProcessXmlParser> object_;
  IXmlParser& parser_;
};

class FileSystemAdapter : public IFileSystem {
 public:
  explicit FileSystemAdapter(DispatchCaller fileSystem) : fileSystem_(std::move(fileSystem)) {}

  std::vector<std::string> GetFilesInFolder(const std::string& folder,
                                            const std::string& pattern) override {
    Bstr folderText(folder), patternText(pattern);
    VariantOwner answer = fileSystem_.Method(
        L"GetFilesInFolder",
        {DispatchCaller::TextRef(folderText), DispatchCaller::Text(patternText)});
    DispatchCaller files(AnswerObject(answer.Get()), L"Collection");
    const VariantOwner countAnswer = files.Get(L"Count");
    VariantOwner countValue;
    if (FAILED(VariantChangeType(countValue.Out(), const_cast<VARIANT*>(&countAnswer.Get()), 0,
                                 VT_I4))) {
      throw Error(kTypeMismatch);
    }
    const int32_t count = V_I4(&countValue.Get());
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (int32_t i = 1; i <= count; ++i) {
      names.push_back(AnswerText(files.Method(L"Item", {DispatchCaller::Long(i)}).Get()));
    }
    return names;
  }

 private:
  DispatchCaller fileSystem_;
};

class FolderPickerAdapter : public IFolderPicker {
 public:
  explicit FolderPickerAdapter(DispatchCaller picker) : picker_(std::move(picker)) {}

  void SetShowDirectoryOnly(bool value) override {
    picker_.Put(L"bolShowDirectoryOnly", DispatchCaller::Bool(value));
  }
  void SetHideIcon(bool value) override {
    picker_.Put(L"bolHideIcon", DispatchCaller::Bool(value));
  }
  void SetDefaultPath(const std::string& path) override {
    const Bstr text(path);
    picker_.Put(L"strDefaultPath", DispatchCaller::Text(text));
  }
  void SetFormCaption(const std::string& caption) override {
    const Bstr text(caption);
    picker_.Put(L"strFormCaption", DispatchCaller::Text(text));
  }
  void DisplayFileManager() override { picker_.Method(L"DisplayFileManager"); }
  std::string ResultFullPath() override {
    return AnswerText(picker_.Get(L"strResultFullPath").Get());
  }

 private:
  DispatchCaller picker_;
};

// The record set of the data layer and its parts, each called by name.
class DataFieldAdapter : public IDataField {
 public:
  explicit DataFieldAdapter(DispatchCaller field) : field_(std::move(field)) {}
  Variant Description() override { return ToCore(field_.Get(L"Description").Get()); }
  Variant Anything() override { return ToCore(field_.Get(L"Anything").Get()); }

 private:
  DispatchCaller field_;
};

class DataRecordAdapter : public IDataRecord {
 public:
  DataRecordAdapter(DispatchCaller record, std::wstring classKey)
      : record_(std::move(record)), classKey_(std::move(classKey)) {}
  int32_t FieldCount() override { return CLng(ToDouble(ToCore(record_.Get(L"FieldCount").Get()))); }
  std::shared_ptr<IDataField> Fields(int32_t index) override {
    long position = index;
    VariantOwner field = record_.Get(L"Fields", {DispatchCaller::LongRef(position)});
    return std::make_shared<DataFieldAdapter>(
        DispatchCaller(AnswerObject(field.Get()), classKey_ + L".Field"));
  }

 private:
  static double ToDouble(const Variant& v) {
    switch (v.GetType()) {
      case Variant::Type::Long:
        return v.AsLong();
      case Variant::Type::LongLong:
        return static_cast<double>(v.AsLongLong());
      case Variant::Type::Double:
        return v.AsDouble();
      case Variant::Type::Boolean:
        return v.AsBool() ? -1 : 0;
      case Variant::Type::String:
        return Val(v.AsString());
      default:
        throw Error(kTypeMismatch);
    }
  }

  DispatchCaller record_;
  std::wstring classKey_;
};

class RecordsetAdapter : public IRecordset {
 public:
  RecordsetAdapter(DispatchCaller records, std::wstring classKey)
      : records_(std::move(records)), classKey_(std::move(classKey)) {}
  std::shared_ptr<IDataRecord> Records(const Variant& position) override {
    VariantOwner argument;
    FromCore(position, argument.Out());
    VariantOwner record = records_.Get(L"Records", {argument.Get()});
    return std::make_shared<DataRecordAdapter>(
        DispatchCaller(AnswerObject(record.Get()), classKey_ + L".Record"), classKey_);
  }

 private:
  DispatchCaller records_;
  std::wstring classKey_;
};

class DataLayerAdapter : public IDataLayer {
 public:
  DataLayerAdapter(DispatchCaller layer, std::wstring classKey)
      : layer_(std::move(layer)), classKey_(std::move(classKey)) {}

  void SetDatabaseByPath(const std::string& path) override {
    const Bstr text(path);
    layer_.Put(L"SetDatabaseByPath", DispatchCaller::Text(text));
  }
  Variant GetRecordset(std::string& query) override {
    Bstr text(query);
    Variant answer = ToCore(layer_.Method(L"GetRecordset", {DispatchCaller::TextRef(text)}).Get());
    query = BstrToUtf8(text.Get());
    return answer;
  }
  Variant FindRecord(const std::string& fieldName, int32_t& value) override {
    const Bstr name(fieldName);
    long id = value;
    Variant answer = ToCore(
        layer_.Method(L"FindRecord", {DispatchCaller::Text(name), DispatchCaller::LongRef(id)})
            .Get());
    value = id;
    return answer;
  }
  Variant FieldValue(const std::string& fieldName) override {
    const Bstr name(fieldName);
    return ToCore(layer_.Get(L"FieldValue", {DispatchCaller::Text(name)}).Get());
  }
  Variant SetFieldValue(const std::string& fieldName, const std::string& value) override {
    const Bstr name(fieldName), text(value);
    return ToCore(
        layer_.Method(L"SetFieldValue", {DispatchCaller::Text(name), DispatchCaller::Text(text)})
            .Get());
  }
  Variant Save() override { return ToCore(layer_.Method(L"Save").Get()); }
  Variant RemoveRecord(bool really) override {
    return ToCore(layer_.Method(L"RemoveRecord", {DispatchCaller::Bool(really)}).Get());
  }
  Variant AddNew() override { return ToCore(layer_.Method(L"AddNew").Get()); }
  Variant ActualPosition() override { return ToCore(layer_.Get(L"ActualPosition").Get()); }
  std::shared_ptr<IRecordset> GetOfflineRecordset() override {
    VariantOwner records = layer_.Get(L"GetOfflineRecordset");
    return std::make_shared<RecordsetAdapter>(
        DispatchCaller(AnswerObject(records.Get()), classKey_ + L".Recordset"), classKey_);
  }
  Variant errorstatus() override { return ToCore(layer_.Get(L"errorstatus").Get()); }
  // A data layer without the undo's safeguards is taken at its word.
  void SetMaxRecords(int32_t count) override {
    try {
      layer_.Put(L"MaxRecords", DispatchCaller::Long(count));
    } catch (const Error& error) {
      if (error.Number() != kMemberNotSupported) throw;
    }
  }
  Variant CheckFieldValue(const std::string& fieldName, const std::string& value) override {
    const Bstr name(fieldName), text(value);
    try {
      return ToCore(
          layer_
              .Method(L"CheckFieldValue", {DispatchCaller::Text(name), DispatchCaller::Text(text)})
              .Get());
    } catch (const Error& error) {
      if (error.Number() != kMemberNotSupported) throw;
      return Variant(true);
    }
  }

 private:
  DispatchCaller layer_;
  std::wstring classKey_;
};

}  // namespace

std::unique_ptr<IXmlParser> CreateXmlParserAdapter(const std::string& progId) {
  auto parser = Create(progId);
  if (!parser) return nullptr;
  // Whatever is registered under the identifier: ours is called directly, any other
  // parser by name.
  ComPtr<IInProcessXmlParser> ours;
  if (SUCCEEDED(parser.Object()->QueryInterface(IID_IInProcessXmlParser,
                                                reinterpret_cast<void**>(ours.Out()))) &&
      ours) {
    if (IXmlParser* direct = ours->Parser(InProcessBuild())) {
      return std::make_unique<InProcessXmlParserAdapter>(std::move(ours), *direct);
    }
  }
  return std::make_unique<XmlParserAdapter>(std::move(parser));
}

std::unique_ptr<IFileSystem> CreateFileSystemAdapter(const std::string& progId) {
  auto fileSystem = Create(progId);
  if (!fileSystem) return nullptr;
  return std::make_unique<FileSystemAdapter>(std::move(fileSystem));
}

std::unique_ptr<IFolderPicker> CreateFolderPickerAdapter(const std::string& progId) {
  auto picker = Create(progId);
  if (!picker) return nullptr;
  return std::make_unique<FolderPickerAdapter>(std::move(picker));
}

std::unique_ptr<IDataLayer> CreateDataLayerAdapter(const std::string& progId) {
  auto layer = Create(progId);
  if (!layer) return nullptr;
  return std::make_unique<DataLayerAdapter>(std::move(layer), Utf8ToWide(progId));
}

}  // namespace tarvesk::com
