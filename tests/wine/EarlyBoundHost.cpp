// A C++ host calling TarveskLogManager.dll through its vtables. Arguments: the test logs' folder, a
// 1.5 MB log's folder (both ending in "\"), the DLL, 1.5 and 1.12.2026 08:30 in the locale.
#include <windows.h>
// after windows.h
#include <oleauto.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>

#include "automation/Conversions.h"
#include "com/logmanager/TarveskLogManager.h"
#include "platform/windows/ComError.h"
#include "platform/windows/ComOwners.h"

using tarvesk::com::Bstr;
using tarvesk::com::BstrToUtf8;
using tarvesk::com::ComPtr;
using tarvesk::com::FromCore;
using tarvesk::com::VariantOwner;
using tarvesk::com::VbErrorResult;

namespace {

int checks = 0, failures = 0;

void Check(const char* what, bool ok) {
  ++checks;
  failures += !ok;
  if (!ok) std::printf("FAIL %s\n", what);
}

template <class P>
void** Out(P& pointer) {
  return reinterpret_cast<void**>(pointer.Out());
}

template <class I>
ComPtr<I> Create(const CLSID& clsid) {
  ComPtr<I> object;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I), Out(object));
  return object;
}

// An interface's members in vtable order from the type library ("Name", "Name:get", ...).
std::wstring SlotsOf(ITypeLib* lib, const IID& iid) {
  ComPtr<ITypeInfo> info, vtable;
  HREFTYPE ref = 0;
  TYPEATTR* attr = nullptr;
  if (!lib || FAILED(lib->GetTypeInfoOfGuid(iid, info.Out())) ||
      FAILED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) ||
      FAILED(info->GetRefTypeInfo(ref, vtable.Out())) || FAILED(vtable->GetTypeAttr(&attr))) {
    return L"";
  }
  std::map<short, std::wstring> byOffset;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* func = nullptr;
    vtable->GetFuncDesc(i, &func);
    Bstr name;
    vtable->GetDocumentation(func->memid, name.Out(), nullptr, nullptr, nullptr);
    const wchar_t* kinds[] = {L"", L"", L":get", L"", L":put", L"", L"", L"", L":putref"};
    byOffset[func->oVft] = std::wstring(name.Get()) + kinds[func->invkind];
    vtable->ReleaseFuncDesc(func);
  }
  vtable->ReleaseTypeAttr(attr);
  std::wstring slots;
  for (const auto& entry : byOffset) slots += (slots.empty() ? L"" : L" ") + entry.second;
  return slots;
}

// Each class: created, dual, one identity, error objects, nothing foreign; its slots never move.
void EveryInterface() {
  ComPtr<ITypeLib> lib;
  Check("type library registered",
        SUCCEEDED(LoadRegTypeLib(LIBID_TarveskLogManager, 1, 0, 0, lib.Out())));
  const std::tuple<const CLSID*, const IID*, const wchar_t*> classes[] = {
      {&CLSID_LogManager, &IID__LogManager, L"Display EjectFileset FileSetManager:get"},
      {&CLSID_FileSet, &IID__FileSet,
       L"DeleteOldFiles File:get FileCount:get FileProperties LoadFileSet EjectFileset "
       L"ReadFileSetProperties LogContent:get"},
      {&CLSID_PropertyCollection, &IID__PropertyCollection,
       L"AddProperty PropertyContent:get PropertyCount:get PropertyNameByIndex:get "
       L"PropertyValueByIndex:get"},
      {&CLSID_LogData, &IID__LogData,
       L"Parent:get Parent:putref FileIndex:get FileIndex:put ErrorInfo:get GetActionData "
       L"GetActionList LoadLogData ResetErrors RetrieveActionQueryString"},
      {&CLSID_ActionHandler, &IID__ActionHandler,
       L"LogFileHandle:get LogFileHandle:put ActionHandle:get ActionHandle:put "
       L"FileSetObject:put UndoAction"}};
  for (const auto& [clsid, iid, slots] : classes) {
    Check("slot order of an interface", SlotsOf(lib.Get(), *iid) == slots);
    ComPtr<IUnknown> object = Create<IUnknown>(*clsid), typed, dispatch, identity, none;
    ComPtr<ISupportErrorInfo> errors;
    const auto query = [&](const IID& wanted, auto& out) {
      return object && SUCCEEDED(object->QueryInterface(wanted, Out(out)));
    };
    Check("created, dual (the class interface is its IDispatch), one IUnknown",
          query(*iid, typed) && query(IID_IDispatch, dispatch) && dispatch.Get() == typed.Get() &&
              SUCCEEDED(typed->QueryInterface(IID_IUnknown, Out(identity))) &&
              identity.Get() == object.Get());
    Check("ISupportErrorInfo, no foreign interface",
          query(IID_ISupportErrorInfo, errors) &&
              errors->InterfaceSupportsErrorInfo(*iid) == S_OK && !query(IID_IPersist, none));
  }
}

// An object that is not ours but answers as a _FileSet: refused with error 13, never called.
class ForeignFileSet : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__FileSet ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
};

ComPtr<_LogData> FirstLog(const std::string& folder) {
  auto fs = Create<_FileSet>(CLSID_FileSet);
  Bstr path(folder);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  long index = 1;
  ComPtr<_LogData> log;
  if (fs && SUCCEEDED(fs->LoadFileSet(path.OutKeep(), &loaded)) && loaded == -1) {
    fs->get_LogContent(&index, log.Out());
  }
  return log;
}

// Calls through the vtables: variant arguments, results, error results and the error object.
void Calls(const std::string& folder) {
  long index = 0;
  ComPtr<_LogData> first = FirstLog(folder);
  auto pc = Create<_PropertyCollection>(CLSID_PropertyCollection);
  if (!first || !pc) return Check("created; LoadFileSet gives -1 for True", false);
  Bstr query, text;
  VariantOwner position;
  FromCore(tarvesk::Variant("1"), position.Out());  // any whole number a variant holds
  Check("RetrieveActionQueryString with a variant position, left as it was",
        SUCCEEDED(first->RetrieveActionQueryString(&position.Get(), query.Out())) &&
            BstrToUtf8(query.Get()) == "SELECT * FROM Kunden WHERE ID = 7" &&
            V_VT(&position.Get()) == VT_BSTR && std::wstring(V_BSTR(&position.Get())) == L"1");
  FromCore(tarvesk::Variant(1e12), position.Out());
  ForeignFileSet foreign;
  const std::tuple<const char*, HRESULT, HRESULT> results[] = {
      {"a position beyond 32 bits gives error 6",
       first->RetrieveActionQueryString(&position.Get(), query.Out()),
       VbErrorResult(tarvesk::kOverflow)},
      {"a foreign FileSet gives error 13",
       first->putref_Parent(reinterpret_cast<_FileSet*>(&foreign)),
       VbErrorResult(tarvesk::kTypeMismatch)},
      {"index 0 gives error 9", pc->get_PropertyNameByIndex(&index, text.Out()),
       VbErrorResult(tarvesk::kSubscriptOutOfRange)}};
  for (const auto& [what, got, expected] : results) Check(what, got == expected);
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Out()) == S_OK && info) info->GetDescription(text.Out());
  Check("the last one's error object with its German text",
        BstrToUtf8(text.Get()) == "Index außerhalb des gültigen Bereichs");
}

// An outside component's own HRESULT (with its text) and a VB error in wCode keep their numbers.
void OutsideErrorsPassThrough() {
  using tarvesk::com::ErrorFromResult;
  const HRESULT own = static_cast<HRESULT>(0x80040203);  // vbObjectError + 515
  tarvesk::com::ReportError(tarvesk::Error(own, "Satz 12 ist gesperrt", "Fremd"), IID_IDispatch);
  const tarvesk::Error passed = ErrorFromResult(own);
  tarvesk::com::ExcepInfoOwner exception;
  exception.info.wCode = tarvesk::kFileNotFound;
  Check("an own HRESULT and a VB error keep their numbers",
        passed.Number() == own && passed.Description() == "Satz 12 ist gesperrt" &&
            tarvesk::com::ReportError(passed, IID_IDispatch) == own &&
            ErrorFromResult(DISP_E_EXCEPTION, &exception.info).Number() == tarvesk::kFileNotFound);
}

// A number written and a SESSIONTIME (1.12.2026 08:30) read as the user's locale writes them.
void LocaleConversions(const std::string& half, const std::string& sessionTime) {
  const auto read = tarvesk::ParseDate(sessionTime);
  const auto expected = tarvesk::MakeDate(2026, 12, 1, 8, 30, 0);
  Check("1.5 written and the SESSIONTIME read as the locale writes them",
        tarvesk::CStr(tarvesk::Variant(1.5)) == half && read && expected &&
            std::abs(read->serial - expected->serial) < 1e-6);  // < 0.1 s
}

SIZE_T CommittedBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  return counters.PagefileUsage;  // the commit charge; Wine leaves PrivateUsage 0
}

// Sets and their cached logs dropped without EjectFileset must not keep each other alive.
void DroppedSetsAreFreed(const std::string& folder) {
  bool all = FirstLog(folder) && FirstLog(folder);
  const SIZE_T before = CommittedBytes();
  for (int i = 0; i < 100; ++i) all = FirstLog(folder) && all;
  const SIZE_T grown = CommittedBytes() - std::min(before, CommittedBytes());
  // A kept set would hold its 1.5 MB log: 100 of them far beyond this.
  Check("100 sets loaded and dropped, not piling up in memory", all && grown < 16 * 1024 * 1024);
}

// The module may unload only while no class factory, object or server lock holds it.
void UnloadRule(const std::wstring& dllPath) {
  HMODULE dll = LoadLibraryW(dllPath.c_str());
  auto export_ = [dll](const char* name) {
    return dll ? reinterpret_cast<void*>(GetProcAddress(dll, name)) : nullptr;
  };
  auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(export_("DllCanUnloadNow"));
  auto getClass = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      export_("DllGetClassObject"));
  if (!canUnload || !getClass) return Check("the DLL loads with its exports", false);
  ComPtr<IClassFactory> factory;
  getClass(CLSID_FileSet, IID_IClassFactory, Out(factory));
  if (!factory) return Check("class factory", false);
  Check("a factory keeps the module", canUnload() == S_FALSE);
  ComPtr<_FileSet> fs;
  factory->CreateInstance(nullptr, IID__FileSet, Out(fs));
  factory->LockServer(TRUE);
  factory = ComPtr<IClassFactory>();
  Check("an object keeps the module", fs && canUnload() == S_FALSE);
  fs = ComPtr<_FileSet>();
  Check("LockServer keeps the module", canUnload() == S_FALSE);
  getClass(CLSID_LogData, IID_IClassFactory, Out(factory));
  factory->LockServer(FALSE);
  factory = ComPtr<IClassFactory>();
  Check("all released and unlocked: may unload", canUnload() == S_OK);
  ComPtr<IUnknown> unknown;
  Check("unknown class refused",
        getClass(IID_IPersist, IID_IClassFactory, Out(unknown)) == CLASS_E_CLASSNOTAVAILABLE);
  FreeLibrary(dll);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 6) return 2;  // the arguments are in the opening comment
  std::string args[6];
  for (int i = 1; i < 6; ++i) args[i] = tarvesk::com::WideToUtf8(argv[i], wcslen(argv[i]));
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EveryInterface();
  Calls(args[1]);
  DroppedSetsAreFreed(args[2]);
  OutsideErrorsPassThrough();
  LocaleConversions(args[4], args[5]);
  CoFreeUnusedLibraries();
  UnloadRule(argv[3]);
  CoUninitialize();
  std::printf("SUMMARY checks=%d failures=%d\n", checks, failures);
  return failures == 0 ? 0 : 1;
}
