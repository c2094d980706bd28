#include "platform/windows/DispatchCaller.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "automation/Conversions.h"
#include "platform/windows/ComError.h"

namespace tarvesk::com {
namespace {

std::mutex cacheMutex;
std::map<std::wstring, DISPID>& IdCache() {
  static std::map<std::wstring, DISPID> cache;
  return cache;
}

}  // namespace

DispatchCaller::DispatchCaller(ComPtr<IDispatch> object, std::wstring classKey)
    : object_(std::move(object)), classKey_(std::move(classKey)) {}

DISPID DispatchCaller::IdOf(const wchar_t* name) {
  const std::wstring key = classKey_ + L"|" + name;
  {
    std::lock_guard lock(cacheMutex);
    if (auto found = IdCache().find(key); found != IdCache().end()) return found->second;
  }
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  const HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) throw Error(kMemberNotSupported);
  std::lock_guard lock(cacheMutex);
  IdCache()[key] = id;
  return id;
}

VariantOwner DispatchCaller::Invoke(const wchar_t* name, WORD flags,
                                    std::initializer_list<VARIANT> args, bool put) {
  if (!object_) throw Error(kObjectNotSet);
  const DISPID id = IdOf(name);
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), put ? &putId : nullptr, static_cast<UINT>(reversed.size()),
                    put ? 1u : 0u};
  VariantOwner result;
  ExcepInfoOwner exception;
  UINT argError = 0;
  const HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                     put ? nullptr : result.Out(), &exception.info, &argError);
  if (hr == DISP_E_EXCEPTION) {
    if (exception.info.pfnDeferredFillIn) exception.info.pfnDeferredFillIn(&exception.info);
    throw ErrorFromResult(hr, &exception.info);
  }
  if (FAILED(hr)) throw ErrorFromResult(hr);
  return result;
}

VariantOwner DispatchCaller::Method(const wchar_t* name, std::initializer_list<VARIANT> args) {
  return Invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}
VariantOwner DispatchCaller::Get(const wchar_t* name, std::initializer_list<VARIANT> args) {
  return Invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args);
}
void DispatchCaller::Put(const wchar_t* name, VARIANT value) {
  Invoke(name, DISPATCH_PROPERTYPUT, {value}, true);
}

VARIANT DispatchCaller::Text(const Bstr& text) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = text.Get();
  return v;
}
VARIANT DispatchCaller::TextRef(Bstr& text) {
  VARIANT v;
  V_VT(&v) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&v) = text.OutKeep();
  return v;
}
VARIANT DispatchCaller::Long(int32_t value) {
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}
VARIANT DispatchCaller::LongRef(long& value) {
  VARIANT v;
  V_VT(&v) = VT_BYREF | VT_I4;
  V_I4REF(&v) = &value;
  return v;
}
VARIANT DispatchCaller::Bool(bool value) {
  VARIANT v;
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

std::string AnswerText(const VARIANT& answer) { return CStr(ToCore(answer)); }

ComPtr<IDispatch> AnswerObject(const VARIANT& answer) {
  const VARIANT* v = &answer;
  while (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  if (V_VT(v) == VT_DISPATCH && V_DISPATCH(v)) return ComPtr<IDispatch>(V_DISPATCH(v));
  if (V_VT(v) == VT_UNKNOWN && V_UNKNOWN(v)) {
    ComPtr<IDispatch> dispatch;
    if (SUCCEEDED(V_UNKNOWN(v)->QueryInterface(IID_IDispatch,
                                               reinterpret_cast<void**>(dispatch.Out())))) {
      return dispatch;
    }
  }
  if (V_VT(v) == VT_EMPTY || V_VT(v) == VT_NULL || V_VT(v) == VT_DISPATCH) {
    throw Error(kObjectNotSet);
  }
  throw Error(kTypeMismatch);
}

}  // namespace tarvesk::com
