#include "com/kit/ComServer.h"

#include <olectl.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/Win32Owners.h"

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
  KeyOwner key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Out(),
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
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
  KeyOwner key;
  const std::wstring path = L"CLSID\\" + GuidText(clsid) + L"\\InprocServer32";
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | kOtherView, key.Out()) ==
         ERROR_SUCCESS;
}

// Deletes HKCR\path with its subkeys.
void DeleteKey(const std::wstring& path) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
}

// Deletes HKCR\path with its subkeys and then every parent up to (not including) stop that
// is left empty.
void DeleteKeyAndEmptyParents(std::wstring path, const std::wstring& stop) {
  DeleteKey(path);
  while (true) {
    const auto slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return;
    path.resize(slash);
    if (path.size() <= stop.size()) return;
    if (RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str()) != ERROR_SUCCESS) return;  // not empty
  }
}

// What registration writes, read from the module's type library: the library's identifier
// and version, and each class's ProgID. nullopt when the type library does not describe the
// table's classes, or disagrees with what the table writes out.
struct Registration {
  GUID libId;
  WORD major, minor;
  std::vector<std::wstring> progIds;  // in the order of the table
};

std::optional<std::wstring> CoclassName(ITypeLib& lib, const CLSID& clsid) {
  ComPtr<ITypeInfo> info;
  if (FAILED(lib.GetTypeInfoOfGuid(clsid, info.Out()))) return std::nullopt;
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return std::nullopt;
  const bool coclass = attr->typekind == TKIND_COCLASS;
  info->ReleaseTypeAttr(attr);
  Bstr name;
  if (!coclass ||
      FAILED(info->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr))) {
    return std::nullopt;
  }
  return std::wstring(name.Get(), SysStringLen(name.Get()));
}

std::optional<Registration> ReadRegistration(const ServerDescription& server) {
  ITypeLib* lib = ModuleTypeLib();
  TLIBATTR* attr = nullptr;
  if (!lib || FAILED(lib->GetLibAttr(&attr))) return std::nullopt;
  Registration registration{attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, {}};
  lib->ReleaseTLibAttr(attr);
  Bstr libName;
  if (FAILED(lib->GetDocumentation(-1, libName.Out(), nullptr, nullptr, nullptr))) {
    return std::nullopt;
  }
  for (const ClassEntry& entry : server.classes) {
    const auto coclass = CoclassName(*lib, *entry.clsid);
    if (!coclass) return std::nullopt;
    std::wstring progId =
        std::wstring(libName.Get(), SysStringLen(libName.Get())) + L"." + *coclass;
    registration.progIds.push_back(std::move(progId));
  }
  return registration;
}

}  // namespace

void ModuleAddRef() { ++moduleReferences; }
void ModuleRelease() { --moduleReferences; }
bool ModuleInUse() { return moduleReferences.load() != 0; }

void SetOut(BSTR* out, std::string_view utf8) {
  if (!out) throw Error(kObjectNotSet);
  *out = NewBstr(utf8);
}
void ReplaceText(BSTR* inOut, std::string_view utf8) {
  if (!inOut) return;
  BSTR text = NewBstr(utf8);
  SysFreeString(*inOut);
  *inOut = text;
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
    const auto factory = ComPtr<ClassFactory>::Attach(new (std::nothrow) ClassFactory(entry));
    if (!factory) return E_OUTOFMEMORY;
    return factory->QueryInterface(iid, out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

HRESULT RegisterServer(const ServerDescription& server) {
  const auto registration = ReadRegistration(server);
  if (!registration) return SELFREG_E_CLASS;
  const std::wstring path = ModulePath();
  const std::wstring libId = GuidText(registration->libId);
  const std::wstring version =
      std::to_wstring(registration->major) + L"." + std::to_wstring(registration->minor);
  for (size_t i = 0; i < server.classes.size(); ++i) {
    const std::wstring clsid = GuidText(*server.classes[i].clsid);
    const std::wstring& progId = registration->progIds[i];
    const std::wstring clsidKey = L"CLSID\\" + clsid;
    const bool written =
        SetValue(clsidKey, nullptr, progId) &&
        SetValue(clsidKey + L"\\InprocServer32", nullptr, path) &&
        SetValue(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
        SetValue(clsidKey + L"\\ProgID", nullptr, progId) &&
        SetValue(clsidKey + L"\\TypeLib", nullptr, libId) &&
        SetValue(clsidKey + L"\\VERSION", nullptr, version) && SetValue(progId, nullptr, progId) &&
        SetValue(progId + L"\\CLSID", nullptr, clsid);
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
  const auto registration = ReadRegistration(server);
  if (!registration) return SELFREG_E_CLASS;
  bool otherViewRegisters = false;
  for (size_t i = 0; i < server.classes.size(); ++i) {
    const CLSID& clsid = *server.classes[i].clsid;
    DeleteKey(L"CLSID\\" + GuidText(clsid));
    if (RegisteredInOtherView(clsid)) {
      otherViewRegisters = true;
      continue;
    }
    DeleteKey(registration->progIds[i]);
  }
  std::wstring version(16, L'\0');
  version.resize(
      swprintf(version.data(), version.size(), L"%x.%x", registration->major, registration->minor));
  const std::wstring libKey = L"TypeLib\\" + GuidText(registration->libId);
  if (otherViewRegisters) {
    DeleteKeyAndEmptyParents(libKey + L"\\" + version + L"\\0\\" + kOwnPlatform, libKey);
  } else {
    UnRegisterTypeLib(registration->libId, registration->major, registration->minor, LOCALE_NEUTRAL,
                      kOwnSysKind);
    // What the other platform's registration of the type library may have left.
    DeleteKeyAndEmptyParents(libKey, L"TypeLib");
  }
  return S_OK;
}

}  // namespace tarvesk::com
