// DispatchCaller: late-bound calls on one object by member name, as the adapters of the
// outside components make them. Arguments are given first to last; a by-reference text
// argument is a VT_BYREF | VT_BSTR VARIANT that points at a Bstr the caller owns. DISPIDs
// are cached process-wide per class and name. A failed call raises the Error it reports.
// Owns a reference to the object. Windows only.
#pragma once

#include <initializer_list>
#include <string>

#include "platform/windows/ComOwners.h"

namespace tarvesk::com {

class DispatchCaller {
 public:
  DispatchCaller() = default;
  // classKey names the object's class in the DISPID cache (its programmatic identifier, or
  // that of the component which hands it out plus a suffix).
  DispatchCaller(ComPtr<IDispatch> object, std::wstring classKey);

  explicit operator bool() const { return static_cast<bool>(object_); }
  IDispatch* Object() const { return object_.Get(); }

  VariantOwner Method(const wchar_t* name, std::initializer_list<VARIANT> args = {});
  VariantOwner Get(const wchar_t* name, std::initializer_list<VARIANT> args = {});
  void Put(const wchar_t* name, VARIANT value);

  // Helpers for arguments; the VARIANTs borrow, they do not own.
  static VARIANT Text(const Bstr& text);
  static VARIANT TextRef(Bstr& text);
  static VARIANT Long(int32_t value);
  static VARIANT LongRef(long& value);
  static VARIANT Bool(bool value);

 private:
  VariantOwner Invoke(const wchar_t* name, WORD flags, std::initializer_list<VARIANT> args,
                      bool put = false);
  DISPID IdOf(const wchar_t* name);

  ComPtr<IDispatch> object_;
  std::wstring classKey_;  // the cache key of the object's class
};

// The text of a component's answer; Null raises error 94.
std::string AnswerText(const VARIANT& answer);
// The dispatch interface of an object answer; error 91 when it is none.
ComPtr<IDispatch> AnswerObject(const VARIANT& answer);

}  // namespace tarvesk::com
