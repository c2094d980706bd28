#include "platform/windows/ComOwners.h"

#include "automation/Error.h"
#include "automation/Text.h"

namespace tarvesk::com {

Bstr::Bstr(std::string_view utf8) : value_(NewBstr(utf8)) {}

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t holds UTF-16 on Windows");

std::wstring Utf8ToWide(std::string_view utf8) {
  const std::u16string utf16 = Utf8ToUtf16(utf8);
  return std::wstring(reinterpret_cast<const wchar_t*>(utf16.data()), utf16.size());
}

std::string WideToUtf8(const wchar_t* text, size_t length) {
  if (!text) return {};
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

std::string BstrToUtf8(BSTR text) { return WideToUtf8(text, text ? SysStringLen(text) : 0); }

BSTR NewBstr(std::string_view utf8) {
  const std::wstring wide = Utf8ToWide(utf8);
  BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!result) throw Error(kOutOfMemory);
  return result;
}

Variant ToCore(const VARIANT& value) {
  const VARIANT* v = &value;
  while (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  VariantOwner plain;
  if (V_VT(v) & VT_BYREF) {
    if (FAILED(VariantCopyInd(&plain.Get(), const_cast<VARIANT*>(v)))) throw Error(kTypeMismatch);
    v = &plain.Get();
  }
  switch (V_VT(v)) {
    case VT_EMPTY:
      return Variant();
    case VT_NULL:
      return Variant::Null();
    case VT_BOOL:
      return Variant(V_BOOL(v) != VARIANT_FALSE);
    case VT_I1:
      return Variant(static_cast<int32_t>(V_I1(v)));
    case VT_UI1:
      return Variant(static_cast<int32_t>(V_UI1(v)));
    case VT_I2:
      return Variant(static_cast<int32_t>(V_I2(v)));
    case VT_UI2:
      return Variant(static_cast<int32_t>(V_UI2(v)));
    case VT_I4:
      return Variant(static_cast<int32_t>(V_I4(v)));
    case VT_INT:
      return Variant(static_cast<int32_t>(V_INT(v)));
    case VT_UI4:
      return Variant(static_cast<int64_t>(V_UI4(v)));
    case VT_I8:
      return Variant(static_cast<int64_t>(V_I8(v)));
    case VT_R4:
      return Variant(static_cast<double>(V_R4(v)));
    case VT_R8:
      return Variant(V_R8(v));
    case VT_DATE:
      return Variant(DateValue{V_DATE(v)});
    case VT_BSTR:
      return Variant(BstrToUtf8(V_BSTR(v)));
    default: {
      // Currency, decimal and the like: as a double where that is possible.
      VariantOwner asDouble;
      if (SUCCEEDED(VariantChangeType(&asDouble.Get(), const_cast<VARIANT*>(v), 0, VT_R8))) {
        return Variant(V_R8(&asDouble.Get()));
      }
      throw Error(kTypeMismatch);
    }
  }
}

void FromCore(const Variant& value, VARIANT* out) {
  VariantInit(out);
  switch (value.GetType()) {
    case Variant::Type::Empty:
      break;
    case Variant::Type::Null:
      V_VT(out) = VT_NULL;
      break;
    case Variant::Type::Boolean:
      V_VT(out) = VT_BOOL;
      V_BOOL(out) = value.AsBool() ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case Variant::Type::Long:
      V_VT(out) = VT_I4;
      V_I4(out) = value.AsLong();
      break;
    case Variant::Type::LongLong:
      V_VT(out) = VT_I8;
      V_I8(out) = value.AsLongLong();
      break;
    case Variant::Type::Double:
      V_VT(out) = VT_R8;
      V_R8(out) = value.AsDouble();
      break;
    case Variant::Type::Date:
      V_VT(out) = VT_DATE;
      V_DATE(out) = value.AsDate().serial;
      break;
    case Variant::Type::String:
      V_BSTR(out) = NewBstr(value.AsString());
      V_VT(out) = VT_BSTR;
      break;
  }
}

}  // namespace tarvesk::com
