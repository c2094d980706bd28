#include "com/kit/ComCollection.h"

namespace tarvesk::com {
namespace {

bool IsMissing(const VARIANT* v) {
  return !v || (V_VT(v) == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND);
}

VARIANT* Deref(VARIANT* v) {
  while (v && V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  return v;
}

// IEnumVARIANT over a snapshot of the collection's values.
class Enumerator : public ModuleUnknown<IEnumVARIANT> {
 public:
  explicit Enumerator(std::vector<VariantOwner> values) : values_(std::move(values)) {}

  STDMETHODIMP Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    ULONG n = 0;
    for (; n < count && next_ < values_.size(); ++n, ++next_) {
      VariantInit(&out[n]);
      const HRESULT hr = VariantCopy(&out[n], &values_[next_].Get());
      if (FAILED(hr)) {
        for (ULONG i = 0; i < n; ++i) VariantClear(&out[i]);
        if (fetched) *fetched = 0;
        return hr;
      }
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    next_ += count;
    if (next_ <= values_.size()) return S_OK;
    next_ = values_.size();
    return S_FALSE;
  }
  STDMETHODIMP Reset() override {
    next_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumVARIANT** out) override {
    if (!out) return E_POINTER;
    std::vector<VariantOwner> copy(values_.size());
    for (size_t i = 0; i < values_.size(); ++i) VariantCopy(&copy[i].Get(), &values_[i].Get());
    auto* clone = new (std::nothrow) Enumerator(std::move(copy));
    if (!clone) return E_OUTOFMEMORY;
    clone->next_ = next_;
    *out = clone;
    return S_OK;
  }

 private:
  std::vector<VariantOwner> values_;
  size_t next_ = 0;
};

}  // namespace

ComPtr<CollectionObject> CollectionObject::OfTexts(const std::vector<std::string>& texts) {
  auto collection = Create();
  collection->entries_.reserve(texts.size());
  for (const std::string& text : texts) collection->AppendText(text);
  return collection;
}

void CollectionObject::Append(const VARIANT& value) {
  Entry entry;
  if (FAILED(VariantCopyInd(&entry.value.Get(), const_cast<VARIANT*>(&value)))) {
    throw Error(kOutOfMemory);
  }
  entries_.push_back(std::move(entry));
}

void CollectionObject::AppendText(std::string_view utf8) {
  Entry entry;
  V_BSTR(&entry.value.Get()) = NewBstr(utf8);
  V_VT(&entry.value.Get()) = VT_BSTR;
  entries_.push_back(std::move(entry));
}

std::optional<size_t> CollectionObject::KeyPosition(const wchar_t* key) const {
  for (size_t i = 0; i < entries_.size() && key; ++i) {
    if (!entries_[i].key.empty() &&
        CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, entries_[i].key.c_str(), -1, key,
                       -1) == CSTR_EQUAL) {
      return i;
    }
  }
  return std::nullopt;
}

size_t CollectionObject::PositionOf(VARIANT* index) const {
  index = Deref(index);
  if (IsMissing(index)) throw Error(kInvalidProcedureCall);
  if (V_VT(index) == VT_BSTR || V_VT(index) == (VT_BYREF | VT_BSTR)) {
    const auto found = KeyPosition(V_VT(index) == VT_BSTR ? V_BSTR(index) : *V_BSTRREF(index));
    if (!found) throw Error(kInvalidProcedureCall);
    return *found;
  }
  VariantOwner number;
  if (FAILED(VariantChangeType(&number.Get(), index, 0, VT_I4))) throw Error(kTypeMismatch);
  const long position = V_I4(&number.Get());
  if (position < 1 || static_cast<size_t>(position) > entries_.size()) {
    throw Error(kSubscriptOutOfRange);
  }
  return static_cast<size_t>(position) - 1;
}

STDMETHODIMP CollectionObject::Item(VARIANT* Index, VARIANT* pvarRet) {
  return Call([&] {
    if (!pvarRet) throw Error(kObjectNotSet);
    VariantInit(pvarRet);
    const size_t i = PositionOf(Index);
    if (FAILED(VariantCopy(pvarRet, &entries_[i].value.Get()))) throw Error(kOutOfMemory);
  });
}

STDMETHODIMP CollectionObject::Add(VARIANT* Item, VARIANT* Key, VARIANT* Before, VARIANT* After) {
  return Call([&] {
    if (IsMissing(Deref(Item))) throw Error(kInvalidProcedureCall);
    const bool hasBefore = !IsMissing(Deref(Before)), hasAfter = !IsMissing(Deref(After));
    if (hasBefore && hasAfter) throw Error(kInvalidProcedureCall);
    Entry entry;
    if (!IsMissing(Deref(Key))) {
      VariantOwner text;
      if (FAILED(VariantChangeType(&text.Get(), Deref(Key), 0, VT_BSTR))) {
        throw Error(kTypeMismatch);
      }
      entry.key.assign(V_BSTR(&text.Get()), SysStringLen(V_BSTR(&text.Get())));
      if (entry.key.empty()) throw Error(kInvalidProcedureCall);
      // By its text: a number given as key is a key, not a position.
      if (KeyPosition(entry.key.c_str())) {
        throw Error(kKeyAlreadyAssociated,
                    "Dieser Schlüssel ist bereits einem Element dieser Auflistung zugeordnet");
      }
    }
    if (FAILED(VariantCopyInd(&entry.value.Get(), Deref(Item)))) throw Error(kOutOfMemory);
    size_t at = entries_.size();
    if (hasBefore) at = PositionOf(Before);
    if (hasAfter) at = PositionOf(After) + 1;
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
  });
}

STDMETHODIMP CollectionObject::Count(long* pCount) {
  return Call([&] { SetOut(pCount, static_cast<int32_t>(entries_.size())); });
}

STDMETHODIMP CollectionObject::Remove(VARIANT* Index) {
  return Call(
      [&] { entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(PositionOf(Index))); });
}

STDMETHODIMP CollectionObject::_NewEnum(IUnknown** ppEnum) {
  return Call([&] {
    if (!ppEnum) throw Error(kObjectNotSet);
    std::vector<VariantOwner> snapshot(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (FAILED(VariantCopy(&snapshot[i].Get(), &entries_[i].value.Get()))) {
        throw Error(kOutOfMemory);
      }
    }
    *ppEnum = new Enumerator(std::move(snapshot));
  });
}

}  // namespace tarvesk::com
