// The in-process server kit shared by every DLL of the system: the module reference count,
// DispatchObject (the base of each COM object: reference count, QueryInterface, IDispatch
// through the type library, ISupportErrorInfo), the identity map that gives one COM object
// per core object, and a class table with one generic class factory and registration.
// Each DLL describes itself in a ServerDescription and forwards its four exports here.
// Objects are used on their creator's thread (apartment threading). Windows only.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>

#include <atomic>
#include <memory>
#include <span>

#include "com/kit/ComDispatch.h"
#include "platform/windows/ComError.h"
#include "platform/windows/ComOwners.h"

namespace tarvesk::com {

// Objects and server locks alive in this module; DllCanUnloadNow answers from it.
void ModuleAddRef();
void ModuleRelease();
bool ModuleInUse();

// Answered by every object of the system's servers, so that an object handed back in by a
// host is recognised as ours. Not in any type library.
extern const IID IID_ITarveskServerObject;
class ServerObject : public IUnknown {
 public:
  virtual ~ServerObject() = default;
};

// The interface pointer of a host's object if it is one of ours of type T, else nullptr.
template <class T>
T* OurObject(IUnknown* object) {
  if (!object) return nullptr;
  ServerObject* ours = nullptr;
  if (FAILED(object->QueryInterface(IID_ITarveskServerObject, reinterpret_cast<void**>(&ours)))) {
    return nullptr;
  }
  ours->Release();  // the host's reference keeps it alive for the call
  return dynamic_cast<T*>(ours);
}

// The dispatch table of Interface from this module's type library.
template <class Interface>
const DispatchTable& TableOf() {
  static const DispatchTable table = [] {
    ComPtr<ITypeInfo> info;
    if (ITypeLib* lib = ModuleTypeLib()) lib->GetTypeInfoOfGuid(__uuidof(Interface), info.Out());
    return DispatchTable(info.Get());
  }();
  return table;
}

// IUnknown of a helper object with one interface (a class factory, an enumerator). It
// keeps the module loaded while it lives; the creator holds the first reference.
template <class Interface>
class ModuleUnknown : public Interface {
 public:
  ModuleUnknown() { ModuleAddRef(); }
  virtual ~ModuleUnknown() { ModuleRelease(); }
  ModuleUnknown(const ModuleUnknown&) = delete;
  ModuleUnknown& operator=(const ModuleUnknown&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid != IID_IUnknown && iid != __uuidof(Interface)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> references_{1};
};

template <class Interface>
class DispatchObject : public Interface, public ISupportErrorInfo, public ServerObject {
 public:
  DispatchObject() { ModuleAddRef(); }
  ~DispatchObject() override { ModuleRelease(); }
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(Interface)) {
      *out = static_cast<Interface*>(this);
    } else if (iid == IID_ISupportErrorInfo) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else if (iid == IID_ITarveskServerObject) {
      *out = static_cast<ServerObject*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  // A new reference unless the object is already on its way out (for the identity map).
  bool TryAddRef() {
    ULONG n = references_.load();
    while (n != 0) {
      if (references_.compare_exchange_weak(n, n + 1)) return true;
    }
    return false;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = TableOf<Interface>().TypeInfo() ? 1 : 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    ITypeInfo* ti = TableOf<Interface>().TypeInfo();
    if (index != 0 || !ti) return DISP_E_BADINDEX;
    ti->AddRef();
    *info = ti;
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return TableOf<Interface>().GetIDsOfNames(names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override {
    return TableOf<Interface>().Invoke(static_cast<Interface*>(this), id, flags, params, result,
                                       exception, argError);
  }
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == __uuidof(Interface) ? S_OK : S_FALSE;
  }

 protected:
  // Runs a member's body: errors become the VB error HRESULT with IErrorInfo.
  template <class Body>
  HRESULT Call(Body&& body) noexcept {
    return Guarded(__uuidof(Interface), std::forward<Body>(body));
  }

 private:
  std::atomic<ULONG> references_{1};  // the creator's reference
};

// Out-parameter helpers for member bodies; each checks the pointer (error 91 when null).
void SetOut(BSTR* out, std::string_view utf8);
void SetOut(long* out, int32_t value);
void SetOut(VARIANT_BOOL* out, bool value);
void SetEmpty(VARIANT* out);
template <class I>
void SetOut(I** out, ComPtr<I> value) {
  if (!out) throw Error(kObjectNotSet);
  *out = value.Release();
}
std::string InText(const BSTR* in);  // a null pointer reads as ""
// Writes text into a caller's by-reference string, freeing what it held; a null pointer
// takes nothing.
void ReplaceText(BSTR* inOut, std::string_view utf8);
int32_t InLong(const long* in);
// A variant holding a whole number (rounded as CLng does): error 13 for what is no number,
// 6 beyond 32 bits, 91 for a null pointer.
int32_t InLong(const VARIANT* in);

// One COM object per core object: the map from a core object to the live COM object that
// stands for it.
ServerObject* FindWrapper(const void* core);
void AddWrapper(const void* core, ServerObject* wrapper);
void RemoveWrapper(const void* core);

// The COM object of a core object, made by Wrapper(shared_ptr<Core>) when there is none.
template <class Wrapper, class Core>
ComPtr<Wrapper> WrapperOf(const std::shared_ptr<Core>& core) {
  if (!core) return {};
  if (auto* found = dynamic_cast<Wrapper*>(FindWrapper(core.get())); found && found->TryAddRef()) {
    return ComPtr<Wrapper>::Attach(found);
  }
  return ComPtr<Wrapper>::Attach(new Wrapper(core));
}

// A wrapper that registers itself for its core object.
template <class Interface, class CoreType>
class CoreObject : public DispatchObject<Interface> {
 public:
  explicit CoreObject(std::shared_ptr<CoreType> core) : core_(std::move(core)) {
    AddWrapper(core_.get(), this);
  }
  ~CoreObject() override { RemoveWrapper(core_.get()); }
  const std::shared_ptr<CoreType>& Core() const { return core_; }

 protected:
  CoreType& Object() const { return *core_; }

 private:
  std::shared_ptr<CoreType> core_;
};

using CreateFunction = HRESULT (*)(REFIID iid, void** out);

// Creates a T with one reference and hands out the asked interface. What its construction
// throws reaches the caller as any entry point's error does.
template <class T>
HRESULT CreateInstance(REFIID iid, void** out) {
  ComPtr<T> object;
  const HRESULT hr = Guarded(IID_IUnknown, [&] { object = ComPtr<T>::Attach(new T()); });
  return FAILED(hr) ? hr : object->QueryInterface(iid, out);
}

// One row of a DLL's class table: a coclass of the module's type library and how to make
// its object. Everything else about the class is read from the type library: its ProgID
// (library name.coclass name) and the library's identifier and version that registration
// writes. A class the type library does not describe is not registered.
struct ClassEntry {
  constexpr ClassEntry(const CLSID* clsid, CreateFunction create) : clsid(clsid), create(create) {}

  const CLSID* clsid;
  CreateFunction create;  // a new object answering iid, or an error result
};

// The class table that a DLL's four exports (ServerExports.inc) work from.
struct ServerDescription {
  constexpr explicit ServerDescription(std::span<const ClassEntry> classes) : classes(classes) {}

  std::span<const ClassEntry> classes;
};

// A class entry for the coclass of clsid, made by CreateInstance<T>.
template <class T>
constexpr ClassEntry Class(const CLSID& clsid) {
  return ClassEntry(&clsid, CreateInstance<T>);
}

HRESULT GetClassObject(const ServerDescription& server, REFCLSID clsid, REFIID iid, void** out);
HRESULT CanUnloadNow();
HRESULT RegisterServer(const ServerDescription& server);
HRESULT UnregisterServer(const ServerDescription& server);

}  // namespace tarvesk::com
