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

void FillException(const Error& error, EXCEPINFO* exception) {
  *exception = EXCEPINFO{};
  exception->scode = VbErrorResult(error.Number());
  exception->bstrSource = NewBstr(error.Source());
  exception->bstrDescription = NewBstr(error.Description());
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

}  // namespace

HRESULT DispatchTable::Invoke(void* object, DISPID id, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argError) const {
  const Member* member = Find(id, flags, params ? params->cArgs : 0);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (!params) params = &none;

  const bool isPut = member->kind == INVOKE_PROPERTYPUT || member->kind == INVOKE_PROPERTYPUTREF;
  const UINT named = params->cNamedArgs;
  if (isPut) {
    if (named != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT || params->cArgs == 0) {
      return DISP_E_BADPARAMCOUNT;
    }
  } else if (named != 0) {
    return DISP_E_NONAMEDARGS;
  }
  const size_t declared = member->params.size();
  const size_t given = params->cArgs;
  if (given > declared) return DISP_E_BADPARAMCOUNT;

  // rgvarg holds the arguments last first; a put's value is rgvarg[0] and the last param.
  auto sourceOf = [&](size_t p) -> VARIANT* {
    if (isPut) {
      if (p + 1 == declared) return &params->rgvarg[0];
      const size_t positional = given - 1;
      return p < positional ? &params->rgvarg[given - 1 - p] : nullptr;
    }
    return p < given ? &params->rgvarg[given - 1 - p] : nullptr;
  };

  const size_t count = declared + (member->hasRetval ? 1 : 0);
  std::vector<VariantOwner> values(count);  // the converted values (owned)
  std::vector<VARIANT> actuals(count);      // what DispCallFunc receives
  std::vector<VARTYPE> types(count);
  std::vector<VARIANT*> actualPointers(count);
  std::vector<VARIANT*> writeBack(count, nullptr);  // the script's variable of a by-ref param

  for (size_t p = 0; p < declared; ++p) {
    const Param& param = member->params[p];
    VARIANT* source = sourceOf(p);
    VARIANT& value = values[p].Get();
    VARIANT& actual = actuals[p];
    VariantInit(&actual);
    // An optional argument sent as Empty (JScript's undefined) counts as omitted.
    if (IsMissing(source) || (param.optional && V_VT(Innermost(source)) == VT_EMPTY)) {
      if (!source && !param.optional) return DISP_E_PARAMNOTOPTIONAL;
      if (param.vt != VT_VARIANT) return DISP_E_PARAMNOTOPTIONAL;
      V_VT(&value) = VT_ERROR;
      V_ERROR(&value) = DISP_E_PARAMNOTFOUND;
    } else if (param.vt == VT_VARIANT && param.byRef && V_VT(source) == (VT_BYREF | VT_VARIANT)) {
      // The callee works on the script's variable itself.
      V_VT(&actual) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&actual) = V_VARIANTREF(source);
      types[p] = V_VT(&actual);
      actualPointers[p] = &actual;
      continue;
    } else if (VARIANT* inner = Innermost(source);
               param.byRef && param.iid == IID_NULL && V_VT(inner) == (VT_BYREF | param.vt)) {
      // Already the declared by-reference type: the callee works on the caller's value.
      actual = *inner;
      types[p] = V_VT(&actual);
      actualPointers[p] = &actual;
      continue;
    } else {
      const HRESULT hr = Coerce(source, param.vt, param.iid, &value);
      if (FAILED(hr)) {
        if (argError) *argError = static_cast<UINT>(source - params->rgvarg);
        const Error error(hr == DISP_E_OVERFLOW ? kOverflow : kTypeMismatch);
        if (!exception) return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
        FillException(error, exception);
        return DISP_E_EXCEPTION;
      }
      if (param.byRef && V_VT(source) == (VT_BYREF | VT_VARIANT)) {
        VARIANT* target = Innermost(source);
        if (!V_ISBYREF(target)) writeBack[p] = target;
      }
    }
    if (param.byRef) {
      V_VT(&actual) = VT_BYREF | (param.vt == VT_VARIANT ? VARTYPE{VT_VARIANT} : V_VT(&value));
      if (param.vt == VT_VARIANT) {
        V_VARIANTREF(&actual) = &value;
      } else {
        V_BYREF(&actual) = ValuePointer(value);
      }
    } else {
      actual = value;  // a shallow copy; values[p] keeps ownership
    }
    types[p] = V_VT(&actual);
    actualPointers[p] = &actual;
  }
  if (member->hasRetval) {
    VARIANT& value = values[declared].Get();
    VARIANT& actual = actuals[declared];
    VariantInit(&actual);
    V_I8(&value) = 0;  // a null pointer or zero until the callee sets it
    V_VT(&value) = member->retval.vt;
    if (member->retval.vt == VT_VARIANT) {
      V_VT(&value) = VT_EMPTY;
      V_VT(&actual) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&actual) = &value;
    } else {
      V_VT(&actual) = VT_BYREF | member->retval.vt;
      V_BYREF(&actual) = ValuePointer(value);
    }
    types[declared] = V_VT(&actual);
    actualPointers[declared] = &actual;
  }

  VARIANT returned;
  VariantInit(&returned);
  HRESULT hr = DispCallFunc(object, member->slot, CC_STDCALL, VT_ERROR, static_cast<UINT>(count),
                            types.data(), actualPointers.data(), &returned);
  if (SUCCEEDED(hr)) hr = V_ERROR(&returned);
  if (FAILED(hr)) {
    // A retval object or text the callee set before failing is still ours to free.
    if (exception && HRESULT_FACILITY(hr) != FACILITY_DISPATCH) {
      FillException(ErrorFromResult(hr), exception);
      return DISP_E_EXCEPTION;
    }
    return hr;
  }
  for (size_t p = 0; p < declared; ++p) {
    if (!writeBack[p]) continue;
    VariantClear(writeBack[p]);
    values[p].ReleaseTo(writeBack[p]);
  }
  if (result) {
    VariantInit(result);
    if (member->hasRetval) values[declared].ReleaseTo(result);
  }
  return S_OK;
}

}  // namespace tarvesk::com
