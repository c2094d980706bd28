// DispatchTable: IDispatch of a dual interface, driven by its type information. It finds
// the member by DISPID and kind, converts each argument to the declared parameter type and
// calls the vtable slot (DispCallFunc). Unlike the stock DispInvoke it also takes a
// script's by-reference VARIANT for a typed by-reference parameter (BSTR*, long*, DATE*):
// the value is converted, passed, and the result written back into the script's variable.
// A property put also serves a Set (put by reference) and the other way round, so that a
// script may assign an object either way. One table per interface, shared by its objects;
// built once from the module's type library. Windows only.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>

#include <vector>

#include "platform/windows/ComOwners.h"

namespace tarvesk::com {

class DispatchTable {
 public:
  explicit DispatchTable(ITypeInfo* dispatchInfo);

  ITypeInfo* TypeInfo() const { return typeInfo_.Get(); }
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const;
  // object is the interface pointer whose vtable the type information describes.
  HRESULT Invoke(void* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argError) const;

  // A parameter or result as the vtable takes it.
  struct Param {
    VARTYPE vt = VT_EMPTY;  // VT_DISPATCH stands for any interface; iid then names it
    IID iid = IID_NULL;
    bool byRef = false;
    bool optional = false;
  };
  struct Member {
    MEMBERID id;
    INVOKEKIND kind;
    short slot;  // vtable offset in bytes
    std::vector<Param> params;
    bool hasRetval = false;
    Param retval;
    bool IsPut() const { return kind == INVOKE_PROPERTYPUT || kind == INVOKE_PROPERTYPUTREF; }
  };

 private:
  Param Resolve(const TYPEDESC& type) const;
  // The member for a call: the one of the asked kind, else a method for a property get
  // without arguments or a property get for a method call, as hosts that cannot tell the
  // two apart send them.
  const Member* Find(DISPID id, WORD flags, UINT argCount) const;

  ComPtr<ITypeInfo> typeInfo_;    // as handed to hosts
  ComPtr<ITypeInfo> vtableInfo_;  // the interface view: slots and parameter types
  std::vector<Member> members_;
};

// The type library embedded in this module (resource TYPELIB 1), loaded once.
ITypeLib* ModuleTypeLib();
// This module's file path.
std::wstring ModulePath();

}  // namespace tarvesk::com
