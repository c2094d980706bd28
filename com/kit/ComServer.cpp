#include "com/kit/ComServer.h"

#include <olectl.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

namespace tarvesk::com {

// {3B3A7666-1A9D-4E5E-BC1B-D400F6EB87DC}
const IID IID_ITarveskServerObject = {
    0x3b3a7666, 0x1a9d, 0x4e5e, {0xbc, 0x1b, 0xd4, 0x00, 0xf6, 0xeb, 0x87, 0xdc}};

namespace {

std::atomic<long> moduleReferences{0};

std::mutex wrappersMutex;
std::map<const void*, ServerObject*>& Wrappers() {
  static std::map<const void*, ServerObject*> wrappers;
  return wrappers;
}

class ClassFactory : public ModuleUnknown<IClassFactory> {
 public:
  explicit ClassFactory(const ClassEntry& entry) : entry_(entry) {}

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return entry_.create(iid, out);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      ModuleAddRef();
    } else {
      ModuleRelease();
    }
    return S_OK;
  }

 private:
  const ClassEntry& entry_;
};

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// Sets the value name (default value for nullptr) of HKCR\path to text.
bool SetValue(const std::wstring& path, const wchar_t* name, const std::wstring& text) {
  HKEY opened = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&RegCloseKey)> key(opened,
                                                                                 &RegCloseKey);
  return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// This process's type library platform; the other registry view is the other bitness's.
constexpr SYSKIND kOwnSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
constexpr const wchar_t* kOwnPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

// True when the class is still registered as an in-process server in the registry view of
// the other bitness. ProgID, Interface and TypeLib keys are shared by both views: they stay
// while such a registration needs them.
bool RegisteredInOtherView(const CLSID& clsid) {
  HKEY opened = nullptr;
  const std::wstring path = L"CLSID\\" + GuidText(clsid) + L"\\InprocServer32";
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | kOtherView, &opened) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(opened);
  return true;
}

// Deletes HKCR\path with its subkeys and then every parent up to (not including) stop that
// is left empty.
void DeleteKeyAndEmptyParents(std::wstring path, const std::wstring& stop) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
  while (true) {
    const auto slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return;
    path.resize(slash);
    if (path.size() <= stop.size()) return;
    if (RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str()) != ERROR_SUCCESS) return;  // not empty
  }
}

}  // namespace

void ModuleAddRef() { ++moduleReferences; }
void ModuleRelease() { --moduleReferences; }
bool ModuleInUse() { return moduleReferences.load() != 0; }

void SetOut(BSTR* out, std::string_view utf8) {
  if (!out) throw Error(kObjectNotSet);
  *out = NewBstr(utf8);
}
void SetOut(long* out, int32_t value) {
  if (!out) throw Error(kObjectNotSet);
  *out = value;
}
void SetOut(VARIANT_BOOL* out, bool value) {
  if (!out) throw Error(kObjectNotSet);
  *out = value ? VARIANT_TRUE : VARIANT_FALSE;
}
void SetEmpty(VARIANT* out) {
  if (out) VariantInit(out);
}
std::string InText(const BSTR* in) { return in ? BstrToUtf8(*in) : std::string(); }
int32_t InLong(const long* in) {
  if (!in) throw Error(kObjectNotSet);
  return *in;
}
int32_t InLong(const VARIANT* in) {
  if (!in) throw Error(kObjectNotSet);
  VariantOwner value;
  const HRESULT hr = VariantChangeType(&value.Get(), const_cast<VARIANT*>(in), 0, VT_I4);
  if (hr == DISP_E_OVERFLOW) throw Error(kOverflow);
  if (FAILED(hr)) throw Error(kTypeMismatch);
  return V_I4(&value.Get());
}

ServerObject* FindWrapper(const void* core) {
  std::lock_guard lock(wrappersMutex);
  const auto found = Wrappers().find(core);
  return found == Wrappers().end() ? nullptr : found->second;
}
void AddWrapper(const void* core, ServerObject* wrapper) {
  std::lock_guard lock(wrappersMutex);
  Wrappers()[core] = wrapper;
}
void RemoveWrapper(const void* core) {
  std::lock_guard lock(wrappersMutex);
  Wrappers().erase(core);
}

HRESULT GetClassObject(const ServerDescription& server, REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (const ClassEntry& entry : server.classes) {
    if (*entry.clsid != clsid) continue;
    ClassFactory* factory = new (std::nothrow) ClassFactory(entry);
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

HRESULT RegisterServer(const ServerDescription& server) {
  const std::wstring path = ModulePath();
  const std::wstring libId = GuidText(*server.libId);
  const std::wstring version = std::to_wstring(server.major) + L"." + std::to_wstring(server.minor);
  for (const ClassEntry& entry : server.classes) {
    const std::wstring clsidKey = L"CLSID\\" + GuidText(*entry.clsid);
    const bool written =
        SetValue(clsidKey, nullptr, entry.progId) &&
        SetValue(clsidKey + L"\\InprocServer32", nullptr, path) &&
        SetValue(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
        SetValue(clsidKey + L"\\ProgID", nullptr, entry.progId) &&
        SetValue(clsidKey + L"\\TypeLib", nullptr, libId) &&
        SetValue(clsidKey + L"\\VERSION", nullptr, version) &&
        SetValue(entry.progId, nullptr, entry.progId) &&
        SetValue(std::wstring(entry.progId) + L"\\CLSID", nullptr, GuidText(*entry.clsid));
    if (!written) return SELFREG_E_CLASS;
  }
  ComPtr<ITypeLib> typeLib;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, typeLib.Out()))) {
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

// Removes this bitness's registration. The keys both registry views share (ProgID,
// Interface, TypeLib) go only when the other bitness does not register the class too; then
// only this bitness's platform subkey of the type library goes.
HRESULT UnregisterServer(const ServerDescription& server) {
  bool otherViewRegisters = false;
  for (const ClassEntry& entry : server.classes) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(*entry.clsid)).c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(*entry.clsid)).c_str());
    if (RegisteredInOtherView(*entry.clsid)) {
      otherViewRegisters = true;
      continue;
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, entry.progId);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, entry.progId);
  }
  std::wstring version(16, L'\0');
  version.resize(swprintf(version.data(), version.size(), L"%x.%x", server.major, server.minor));
  const std::wstring libKey = L"TypeLib\\" + GuidText(*server.libId);
  if (otherViewRegisters) {
    DeleteKeyAndEmptyParents(libKey + L"\\" + version + L"\\0\\" + kOwnPlatform, libKey);
  } else {
    UnRegisterTypeLib(*server.libId, server.major, server.minor, LOCALE_NEUTRAL, kOwnSysKind);
    // What the other platform's registration of the type library may have left.
    DeleteKeyAndEmptyParents(libKey, L"TypeLib");
  }
  return S_OK;
}

}  // namespace tarvesk::com
