#include "com/kit/ComDispatch.h"

#include <memory>

#include "platform/windows/ComError.h"

namespace tarvesk::com {
namespace {

// Frees a FUNCDESC or TYPEATTR of a type info when the scope ends.
struct FuncDescOwner {
  ITypeInfo* info;
  FUNCDESC* desc = nullptr;
  ~FuncDescOwner() {
    if (desc) info->ReleaseFuncDesc(desc);
  }
};
struct TypeAttrOwner {
  ITypeInfo* info;
  TYPEATTR* attr = nullptr;
  ~TypeAttrOwner() {
    if (attr) info->ReleaseTypeAttr(attr);
  }
};

bool IsMissing(const VARIANT* v) {
  return !v || (V_VT(v) == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND);
}

// The VARIANT that a chain of by-reference VARIANTs ends at.
VARIANT* Innermost(VARIANT* v) {
  while (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  return v;
}

// Pointer to the value part of a VARIANT of type vt (for VT_BYREF | vt arguments).
void* ValuePointer(VARIANT& v) { return &V_I4(&v); }

}  // namespace

std::wstring ModulePath() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ModulePath), &module);
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

ITypeLib* ModuleTypeLib() {
  static const ComPtr<ITypeLib> typeLib = [] {
    ComPtr<ITypeLib> loaded;
    LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, loaded.Out());
    return loaded;
  }();
  return typeLib.Get();
}

DispatchTable::DispatchTable(ITypeInfo* dispatchInfo) : typeInfo_(dispatchInfo) {
  if (!dispatchInfo) return;
  // A dual interface's type information describes its dispatch view; the vtable slots are
  // in its interface view.
  ComPtr<ITypeInfo> typeInfo(dispatchInfo);
  HREFTYPE vtableView = 0;
  ComPtr<ITypeInfo> vtableInfo;
  if (SUCCEEDED(dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableView)) &&
      SUCCEEDED(dispatchInfo->GetRefTypeInfo(vtableView, vtableInfo.Out()))) {
    typeInfo = vtableInfo;
  }
  vtableInfo_ = typeInfo;
  TypeAttrOwner attr{typeInfo.Get()};
  if (FAILED(typeInfo->GetTypeAttr(&attr.attr))) return;
  for (UINT i = 0; i < attr.attr->cFuncs; ++i) {
    FuncDescOwner func{typeInfo.Get()};
    if (FAILED(typeInfo->GetFuncDesc(i, &func.desc))) continue;
    const FUNCDESC& f = *func.desc;
    Member member{f.memid, f.invkind, f.oVft, {}, false, {}};
    for (SHORT p = 0; p < f.cParams; ++p) {
      const ELEMDESC& e = f.lprgelemdescParam[p];
      Param param = Resolve(e.tdesc);
      param.optional = (e.paramdesc.wParamFlags & PARAMFLAG_FOPT) != 0;
      if (e.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
        member.hasRetval = true;
        member.retval = param;
      } else {
        member.params.push_back(param);
      }
    }
    members_.push_back(std::move(member));
  }
}

DispatchTable::Param DispatchTable::Resolve(const TYPEDESC& type) const {
  Param param;
  int pointers = 0;
  const TYPEDESC* t = &type;
  while (t->vt == VT_PTR) {
    ++pointers;
    t = t->lptdesc;
  }
  param.vt = t->vt;
  if (t->vt == VT_USERDEFINED) {
    ComPtr<ITypeInfo> ref;
    param.vt = VT_I4;  // enums
    if (SUCCEEDED(vtableInfo_->GetRefTypeInfo(t->hreftype, ref.Out()))) {
      TypeAttrOwner attr{ref.Get()};
      if (SUCCEEDED(ref->GetTypeAttr(&attr.attr))) {
        if (attr.attr->typekind == TKIND_INTERFACE || attr.attr->typekind == TKIND_DISPATCH) {
          param.vt = VT_DISPATCH;
          param.iid = attr.attr->guid;
          --pointers;  // the interface pointer itself is the value
        } else if (attr.attr->typekind == TKIND_ALIAS) {
          Param aliased = Resolve(attr.attr->tdescAlias);
          param.vt = aliased.vt;
          param.iid = aliased.iid;
        }
      }
    }
  }
  param.byRef = pointers > 0;
  return param;
}

HRESULT DispatchTable::GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const {
  if (!typeInfo_) return E_UNEXPECTED;
  return DispGetIDsOfNames(typeInfo_.Get(), names, count, ids);
}

const DispatchTable::Member* DispatchTable::Find(DISPID id, WORD flags, UINT argCount) const {
  const Member* fallback = nullptr;
  for (const Member& m : members_) {
    if (m.id != id) continue;
    switch (m.kind) {
      case INVOKE_FUNC:
        if (flags & DISPATCH_METHOD) return &m;
        // obj.Method without parentheses (JScript sends a property get for it).
        if ((flags & DISPATCH_PROPERTYGET) && argCount == 0) fallback = &m;
        break;
      case INVOKE_PROPERTYGET:
        if (flags & DISPATCH_PROPERTYGET) return &m;
        if (flags & DISPATCH_METHOD) fallback = &m;  // obj.Property() called as a method
        break;
      case INVOKE_PROPERTYPUT:
        if (flags & DISPATCH_PROPERTYPUT) return &m;
        if (flags & DISPATCH_PROPERTYPUTREF) fallback = &m;
        break;
      case INVOKE_PROPERTYPUTREF:
        if (flags & DISPATCH_PROPERTYPUTREF) return &m;
        if (flags & DISPATCH_PROPERTYPUT) fallback = &m;
        break;
    }
  }
  return fallback;
}

namespace {

// Converts a script value to the declared type into out (a cleared VARIANT).
HRESULT Coerce(VARIANT* source, VARTYPE vt, const IID& iid, VARIANT* out) {
  while (V_VT(source) == (VT_BYREF | VT_VARIANT)) source = V_VARIANTREF(source);
  VariantOwner plain;
  if (V_ISBYREF(source)) {
    const HRESULT hr = VariantCopyInd(&plain.Get(), source);
    if (FAILED(hr)) return hr;
    source = &plain.Get();
  }
  if (vt == VT_VARIANT) return VariantCopy(out, source);
  // JScript's undefined and null clear an object reference like Nothing.
  if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) &&
      (V_VT(source) == VT_EMPTY || V_VT(source) == VT_NULL)) {
    V_VT(out) = vt;
    V_DISPATCH(out) = nullptr;
    return S_OK;
  }
  if (vt == VT_DISPATCH && iid != IID_NULL) {
    // An interface of ours: the object must answer it, else the value is no such object.
    IUnknown* unknown = nullptr;
    if (V_VT(source) == VT_DISPATCH) {
      unknown = V_DISPATCH(source);
    } else if (V_VT(source) == VT_UNKNOWN) {
      unknown = V_UNKNOWN(source);
    } else {
      return DISP_E_TYPEMISMATCH;
    }
    IDispatch* typed = nullptr;
    if (unknown && FAILED(unknown->QueryInterface(iid, reinterpret_cast<void**>(&typed)))) {
      return DISP_E_TYPEMISMATCH;
    }
    V_VT(out) = VT_DISPATCH;
    V_DISPATCH(out) = typed;
    return S_OK;
  }
  return VariantChangeType(out, source, 0, vt);
}

// The arguments of one call as DispCallFunc takes them: the converted values (owned), the
// VARIANTs passed (shallow copies, or references to the values or to the script's
// variables), and for a by-reference parameter the script's variable that receives the
// value afterwards.
struct BoundCall {
  explicit BoundCall(size_t count)
      : values(count), actuals(count), types(count), pointers(count), writeBack(count) {
    for (VARIANT& actual : actuals) VariantInit(&actual);
  }
  void Pass(size_t p) {
    types[p] = V_VT(&actuals[p]);
    pointers[p] = &actuals[p];
  }
  // Passes values[p] itself, or a reference to it (of the declared type, or as VARIANT*).
  void PassValue(size_t p, bool byRef, bool asVariant) {
    VARIANT& value = values[p].Get();
    VARIANT& actual = actuals[p];
    if (!byRef) {
      actual = value;  // a shallow copy; values[p] keeps ownership
    } else if (asVariant) {
      V_VT(&actual) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&actual) = &value;
    } else {
      V_VT(&actual) = VT_BYREF | V_VT(&value);
      V_BYREF(&actual) = ValuePointer(value);
    }
    Pass(p);
  }

  std::vector<VariantOwner> values;
  std::vector<VARIANT> actuals;
  std::vector<VARTYPE> types;
  std::vector<VARIANT*> pointers;
  std::vector<VARIANT*> writeBack;
};

using Member = DispatchTable::Member;
using Param = DispatchTable::Param;

HRESULT CheckArgCount(const Member& member, const DISPPARAMS& params) {
  const UINT named = params.cNamedArgs;
  if (member.IsPut()) {
    if (named != 1 || params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT || params.cArgs == 0) {
      return DISP_E_BADPARAMCOUNT;
    }
  } else if (named != 0) {
    return DISP_E_NONAMEDARGS;
  }
  return params.cArgs > member.params.size() ? DISP_E_BADPARAMCOUNT : S_OK;
}

// The argument of parameter p, nullptr when omitted. rgvarg holds the arguments last first;
// a put's value is rgvarg[0] and the last parameter.
VARIANT* SourceOf(const Member& member, const DISPPARAMS& params, size_t p) {
  const size_t given = params.cArgs;
  if (member.IsPut()) {
    if (p + 1 == member.params.size()) return &params.rgvarg[0];
    return p < given - 1 ? &params.rgvarg[given - 1 - p] : nullptr;
  }
  return p < given ? &params.rgvarg[given - 1 - p] : nullptr;
}

// Binds parameter p to source. DISP_E_PARAMNOTOPTIONAL for a missing argument, the
// conversion's failure for one that does not convert.
HRESULT BindParam(const Param& param, VARIANT* source, size_t p, BoundCall& bound) {
  VARIANT& value = bound.values[p].Get();
  VARIANT& actual = bound.actuals[p];
  // An optional argument sent as Empty (JScript's undefined) counts as omitted.
  if (IsMissing(source) || (param.optional && V_VT(Innermost(source)) == VT_EMPTY)) {
    if ((!source && !param.optional) || param.vt != VT_VARIANT) return DISP_E_PARAMNOTOPTIONAL;
    V_VT(&value) = VT_ERROR;
    V_ERROR(&value) = DISP_E_PARAMNOTFOUND;
  } else if (param.vt == VT_VARIANT && param.byRef && V_VT(source) == (VT_BYREF | VT_VARIANT)) {
    // The callee works on the script's variable itself.
    V_VT(&actual) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&actual) = V_VARIANTREF(source);
    bound.Pass(p);
    return S_OK;
  } else if (VARIANT* inner = Innermost(source);
             param.byRef && param.iid == IID_NULL && V_VT(inner) == (VT_BYREF | param.vt)) {
    // Already the declared by-reference type: the callee works on the caller's value.
    actual = *inner;
    bound.Pass(p);
    return S_OK;
  } else {
    const HRESULT hr = Coerce(source, param.vt, param.iid, &value);
    if (FAILED(hr)) return hr;
    if (param.byRef && V_VT(source) == (VT_BYREF | VT_VARIANT)) {
      VARIANT* target = Innermost(source);
      if (!V_ISBYREF(target)) bound.writeBack[p] = target;
    }
  }
  bound.PassValue(p, param.byRef, param.vt == VT_VARIANT);
  return S_OK;
}

// The retval slot: a null pointer or zero until the callee sets it.
void BindRetval(const Param& retval, size_t p, BoundCall& bound) {
  VARIANT& value = bound.values[p].Get();
  V_I8(&value) = 0;
  V_VT(&value) = retval.vt == VT_VARIANT ? VARTYPE{VT_EMPTY} : retval.vt;
  bound.PassValue(p, true, retval.vt == VT_VARIANT);
}

// Calls the vtable slot; on success hands the by-reference values and the result back.
HRESULT CallBound(void* object, const Member& member, BoundCall& bound, VARIANT* result,
                  EXCEPINFO* exception) {
  VARIANT returned;
  VariantInit(&returned);
  HRESULT hr = DispCallFunc(object, member.slot, CC_STDCALL, VT_ERROR,
                            static_cast<UINT>(bound.pointers.size()), bound.types.data(),
                            bound.pointers.data(), &returned);
  if (SUCCEEDED(hr)) hr = V_ERROR(&returned);
  if (FAILED(hr)) {
    // A retval object or text the callee set before failing is still ours to free (bound).
    if (exception && HRESULT_FACILITY(hr) != FACILITY_DISPATCH) {
      return ReportError(ErrorFromResult(hr), IID_NULL, exception);
    }
    return hr;
  }
  const size_t declared = member.params.size();
  for (size_t p = 0; p < declared; ++p) {
    if (!bound.writeBack[p]) continue;
    VariantClear(bound.writeBack[p]);
    bound.values[p].ReleaseTo(bound.writeBack[p]);
  }
  if (result) {
    VariantInit(result);
    if (member.hasRetval) bound.values[declared].ReleaseTo(result);
  }
  return S_OK;
}

}  // namespace

HRESULT DispatchTable::Invoke(void* object, DISPID id, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argError) const {
  const Member* member = Find(id, flags, params ? params->cArgs : 0);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (!params) params = &none;
  if (const HRESULT hr = CheckArgCount(*member, *params); FAILED(hr)) return hr;

  const size_t declared = member->params.size();
  BoundCall bound(declared + (member->hasRetval ? 1 : 0));
  for (size_t p = 0; p < declared; ++p) {
    VARIANT* source = SourceOf(*member, *params, p);
    const HRESULT hr = BindParam(member->params[p], source, p, bound);
    if (SUCCEEDED(hr)) continue;
    if (hr == DISP_E_PARAMNOTOPTIONAL) return hr;
    if (argError) *argError = static_cast<UINT>(source - params->rgvarg);
    const bool overflow = hr == DISP_E_OVERFLOW;
    if (!exception) return overflow ? hr : DISP_E_TYPEMISMATCH;
    return ReportError(Error(overflow ? kOverflow : kTypeMismatch), IID_NULL, exception);
  }
  if (member->hasRetval) BindRetval(member->retval, declared, bound);
  return CallBound(object, *member, bound, result, exception);
}

}  // namespace tarvesk::com
