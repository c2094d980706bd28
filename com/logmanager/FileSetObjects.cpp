// The wrappers of the file-set classes: FileSet, PropertyCollection and LogData.
#include "com/kit/ComCollection.h"
#include "com/logmanager/Objects.h"

namespace tarvesk::com {

std::shared_ptr<FileSet> FileSetOf(IUnknown* object) {
  if (!object) return nullptr;
  auto* ours = OurObject<FileSetObject>(object);
  if (!ours) throw Error(kTypeMismatch);
  return ours->Core();
}

// PropertyCollection

STDMETHODIMP PropertyCollectionObject::AddProperty(BSTR* PropertyName, BSTR* Content,
                                                   VARIANT* Result) {
  return Call([&] {
    SetEmpty(Result);
    std::string content = InText(Content);
    Object().AddProperty(InText(PropertyName), content);
    if (Content && content != BstrToUtf8(*Content)) ReplaceText(Content, content);
  });
}

STDMETHODIMP PropertyCollectionObject::get_PropertyContent(BSTR* PropertyName, BSTR* Result) {
  return Call([&] { SetOut(Result, Object().PropertyContent(InText(PropertyName))); });
}

STDMETHODIMP PropertyCollectionObject::get_PropertyCount(long* Result) {
  return Call([&] { SetOut(Result, Object().PropertyCount()); });
}

STDMETHODIMP PropertyCollectionObject::get_PropertyNameByIndex(long* Index, BSTR* Result) {
  return Call([&] { SetOut(Result, Object().PropertyNameByIndex(InLong(Index))); });
}

STDMETHODIMP PropertyCollectionObject::get_PropertyValueByIndex(long* Index, BSTR* Result) {
  return Call([&] { SetOut(Result, Object().PropertyValueByIndex(InLong(Index))); });
}

// FileSet

STDMETHODIMP FileSetObject::DeleteOldFiles(DATE* datKeepNewerThan, VARIANT_BOOL* Result) {
  return Call([&] {
    if (!datKeepNewerThan) throw Error(kObjectNotSet);
    SetOut(Result, Object().DeleteOldFiles(DateValue{*datKeepNewerThan}));
  });
}

STDMETHODIMP FileSetObject::get_File(long* Index, BSTR* Result) {
  return Call([&] { SetOut(Result, Object().File(InLong(Index))); });
}

STDMETHODIMP FileSetObject::get_FileCount(long* Result) {
  return Call([&] { SetOut(Result, Object().FileCount()); });
}

STDMETHODIMP FileSetObject::FileProperties(long* FileIndex, BSTR* PropertyType, BSTR* Result) {
  return Call(
      [&] { SetOut(Result, Object().FileProperties(InLong(FileIndex), InText(PropertyType))); });
}

STDMETHODIMP FileSetObject::LoadFileSet(BSTR* FilePath, VARIANT_BOOL* Result) {
  return Call([&] { SetOut(Result, Object().LoadFileSet(InText(FilePath))); });
}

STDMETHODIMP FileSetObject::EjectFileset(VARIANT* Result) {
  return Call([&] {
    SetEmpty(Result);
    Object().EjectFileset();
  });
}

STDMETHODIMP FileSetObject::ReadFileSetProperties(VARIANT* Result) {
  return Call([&] {
    SetEmpty(Result);
    Object().ReadFileSetProperties();
  });
}

STDMETHODIMP FileSetObject::get_LogContent(long* FileIndex, _LogData** Result) {
  return Call([&] {
    auto logData = WrapperOf<LogDataObject>(Object().LogContent(InLong(FileIndex)));
    SetOut<_LogData>(Result, ComPtr<_LogData>(logData.Get()));
  });
}

// LogData

STDMETHODIMP LogDataObject::get_Parent(_FileSet** Result) {
  return Call([&] {
    auto parent = WrapperOf<FileSetObject>(Object().Parent());
    SetOut<_FileSet>(Result, ComPtr<_FileSet>(parent.Get()));
  });
}

STDMETHODIMP LogDataObject::putref_Parent(_FileSet* Parent) {
  return Call([&] { Object().SetParent(FileSetOf(Parent)); });
}

STDMETHODIMP LogDataObject::get_FileIndex(long* Result) {
  return Call([&] { SetOut(Result, Object().FileIndex()); });
}

STDMETHODIMP LogDataObject::put_FileIndex(long FileIndex) {
  return Call([&] { Object().SetFileIndex(FileIndex); });
}

STDMETHODIMP LogDataObject::get_ErrorInfo(BSTR* Result) {
  return Call([&] { SetOut(Result, Object().ErrorInfo()); });
}

STDMETHODIMP LogDataObject::GetActionData(long* PositionInList, _PropertyCollection** Result) {
  return Call([&] {
    auto data = WrapperOf<PropertyCollectionObject>(Object().GetActionData(InLong(PositionInList)));
    SetOut<_PropertyCollection>(Result, ComPtr<_PropertyCollection>(data.Get()));
  });
}

STDMETHODIMP LogDataObject::GetActionList(_Collection** Result) {
  return Call([&] {
    auto list = CollectionObject::OfTexts(Object().GetActionList());
    SetOut<_Collection>(Result, ComPtr<_Collection>(list.Get()));
  });
}

STDMETHODIMP LogDataObject::LoadLogData(VARIANT* Result) {
  return Call([&] {
    SetEmpty(Result);
    Object().LoadLogData();
  });
}

STDMETHODIMP LogDataObject::ResetErrors() {
  return Call([&] { Object().ResetErrors(); });
}

STDMETHODIMP LogDataObject::RetrieveActionQueryString(VARIANT* lngActionPos, BSTR* Result) {
  return Call([&] { SetOut(Result, Object().RetrieveActionQueryString(InLong(lngActionPos))); });
}

}  // namespace tarvesk::com
