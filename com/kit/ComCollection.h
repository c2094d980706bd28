// CollectionObject: the automation collection in which the servers hand out and keep
// lists - 1-based Item (by position, or by key where one was given to Add), Count, Add
// (appending, or before/after an entry), Remove closing the gap, and _NewEnum, whose
// enumerator walks a snapshot taken when For Each starts. Owns its values. Errors are those
// of the VB collection: 9 for a position outside the list, 5 for an unknown key, 457 for a
// key given twice. Windows only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com/kit/Collection.h"
#include "com/kit/ComServer.h"

namespace tarvesk::com {

class CollectionObject : public DispatchObject<_Collection> {
 public:
  static ComPtr<CollectionObject> Create() {
    return ComPtr<CollectionObject>::Attach(new CollectionObject);
  }
  static ComPtr<CollectionObject> OfTexts(const std::vector<std::string>& texts);

  // Appends a copy of value.
  void Append(const VARIANT& value);
  void AppendText(std::string_view utf8);
  size_t Size() const { return entries_.size(); }
  const VARIANT& At(size_t i) const { return entries_[i].value.Get(); }  // 0-based

  STDMETHODIMP Item(VARIANT* Index, VARIANT* pvarRet) override;
  STDMETHODIMP Add(VARIANT* Item, VARIANT* Key, VARIANT* Before, VARIANT* After) override;
  STDMETHODIMP Count(long* pCount) override;
  STDMETHODIMP Remove(VARIANT* Index) override;
  STDMETHODIMP _NewEnum(IUnknown** ppEnum) override;

 private:
  struct Entry {
    std::wstring key;  // "" when added without one
    VariantOwner value;
  };
  size_t PositionOf(VARIANT* index) const;                      // 0-based; raises 9 or 5
  std::optional<size_t> KeyPosition(const wchar_t* key) const;  // 0-based, of a key

  std::vector<Entry> entries_;
};

}  // namespace tarvesk::com
