// A C++ host that uses TarveskLogManager.dll early-bound, through the vtables of its
// interfaces: creation through COM, QueryInterface, the slot order of the registered type
// library, by-reference and variant arguments, error results with their error objects, the
// module's unload rule, and that sets dropped without EjectFileset do not pile up in memory.
// What a script host sees is the script suites'.
// Arguments: the folder of the test logs (Windows path ending in "\"), the DLL's path, and
// 1.5 and 1.12.2026 08:30 as the user's locale writes them.
// Prints a line per failed check and "SUMMARY checks=N failures=M" last.
#include <windows.h>
// after windows.h
#include <oleauto.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "automation/Conversions.h"
#include "com/logmanager/TarveskLogManager.h"
#include "platform/windows/ComError.h"
#include "platform/windows/ComOwners.h"

using tarvesk::com::Bstr;
using tarvesk::com::BstrToUtf8;
using tarvesk::com::ComPtr;
using tarvesk::com::VariantOwner;
using tarvesk::com::VbErrorResult;

namespace {

int checks = 0, failures = 0;

void Check(const char* what, bool ok) {
  ++checks;
  if (!ok) {
    ++failures;
    std::printf("FAIL %s\n", what);
  }
}

template <class I>
ComPtr<I> Create(const CLSID& clsid) {
  ComPtr<I> object;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I),
                   reinterpret_cast<void**>(object.Out()));
  return object;
}

// The members of an interface in the order of its vtable slots, from the registered type
// library, as "Name" for a method and "Name:get", "Name:put", "Name:putref" for a property.
std::wstring SlotsOf(ITypeLib* lib, const IID& iid) {
  ComPtr<ITypeInfo> info, vtable;
  HREFTYPE ref = 0;
  TYPEATTR* attr = nullptr;
  if (FAILED(lib->GetTypeInfoOfGuid(iid, info.Out())) ||
      FAILED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) ||
      FAILED(info->GetRefTypeInfo(ref, vtable.Out())) || FAILED(vtable->GetTypeAttr(&attr))) {
    return L"";
  }
  std::vector<std::pair<short, std::wstring>> byOffset;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* func = nullptr;
    vtable->GetFuncDesc(i, &func);
    Bstr name;
    vtable->GetDocumentation(func->memid, name.Out(), nullptr, nullptr, nullptr);
    const wchar_t* kind = func->invkind == INVOKE_PROPERTYGET      ? L":get"
                          : func->invkind == INVOKE_PROPERTYPUT    ? L":put"
                          : func->invkind == INVOKE_PROPERTYPUTREF ? L":putref"
                                                                   : L"";
    byOffset.push_back({func->oVft, std::wstring(name.Get()) + kind});
    vtable->ReleaseFuncDesc(func);
  }
  vtable->ReleaseTypeAttr(attr);
  std::sort(byOffset.begin(), byOffset.end());
  std::wstring slots;
  for (const auto& entry : byOffset) slots += (slots.empty() ? L"" : L" ") + entry.second;
  return slots;
}

// Each class: created by its identifier, its interface dual, one identity, error objects
// for its interface, nothing foreign; and its slots, which hosts compiled against the
// interfaces call by position: the order must never change.
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
    Check("slot order of an interface", lib && SlotsOf(lib.Get(), *iid) == slots);
    ComPtr<IUnknown> object = Create<IUnknown>(*clsid), typed, dispatch, identity, none;
    ComPtr<ISupportErrorInfo> errors;
    const auto query = [&](const IID& wanted, auto& out) {
      return SUCCEEDED(object->QueryInterface(wanted, reinterpret_cast<void**>(out.Out())));
    };
    Check("class created by its identifier", static_cast<bool>(object));
    if (!object) continue;
    Check("dual: the class interface is IDispatch",
          query(*iid, typed) && query(IID_IDispatch, dispatch) && dispatch.Get() == typed.Get());
    typed->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.Out()));
    Check("one IUnknown", identity.Get() == object.Get());
    Check("ISupportErrorInfo",
          query(IID_ISupportErrorInfo, errors) && errors->InterfaceSupportsErrorInfo(*iid) == S_OK);
    Check("no foreign interface", !query(IID_IPersist, none));
  }
}

void PropertyCollectionCalls() {
  auto pc = Create<_PropertyCollection>(CLSID_PropertyCollection);
  if (!pc) return Check("PropertyCollection", false);
  Bstr name("Ort"), content(""), text;
  VariantOwner result;
  Check("AddProperty", SUCCEEDED(pc->AddProperty(name.OutKeep(), content.OutKeep(), result.Out())));
  Check("placeholder written back", BstrToUtf8(content.Get()) == "!###!");
  long index = 0;
  Check("index 0 gives VB error 9", pc->get_PropertyNameByIndex(&index, text.Out()) ==
                                        VbErrorResult(tarvesk::kSubscriptOutOfRange));
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Out()) == S_OK && info) info->GetDescription(text.Out());
  Check("error object with German text",
        BstrToUtf8(text.Get()) == "Index außerhalb des gültigen Bereichs");
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

void FileSetCalls(const std::string& folder) {
  auto fs = Create<_FileSet>(CLSID_FileSet);
  if (!fs) return Check("FileSet", false);
  Bstr path(folder);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  long count = 0, index = 1, entries = 0;
  Check("LoadFileSet gives -1 for True, FileCount",
        SUCCEEDED(fs->LoadFileSet(path.OutKeep(), &loaded)) && loaded == -1 &&
            SUCCEEDED(fs->get_FileCount(&count)) && count == 2);
  ComPtr<_LogData> first;
  Check("LogContent", SUCCEEDED(fs->get_LogContent(&index, first.Out())) && first);
  if (!first) return;

  ComPtr<_Collection> list;
  VariantOwner position, item;
  V_VT(&position.Get()) = VT_I4;
  V_I4(&position.Get()) = 1;
  Check("GetActionList: Count and Item(1)",
        SUCCEEDED(first->GetActionList(list.Out())) && list && SUCCEEDED(list->Count(&entries)) &&
            entries == 3 && SUCCEEDED(list->Item(&position.Get(), item.Out())) &&
            V_VT(&item.Get()) == VT_BSTR &&
            BstrToUtf8(V_BSTR(&item.Get())).rfind("1: UPDATE", 0) == 0);

  VariantClear(position.Out());
  V_VT(&position.Get()) = VT_BSTR;  // any whole number a variant holds
  V_BSTR(&position.Get()) = SysAllocString(L"1");
  Bstr query;
  Check("RetrieveActionQueryString with a variant position, left as it was",
        SUCCEEDED(first->RetrieveActionQueryString(&position.Get(), query.Out())) &&
            BstrToUtf8(query.Get()) == "SELECT * FROM Kunden WHERE ID = 7" &&
            V_VT(&position.Get()) == VT_BSTR && std::wstring(V_BSTR(&position.Get())) == L"1");
  VariantClear(position.Out());
  V_VT(&position.Get()) = VT_R8;
  V_R8(&position.Get()) = 1e12;
  Check("a position beyond 32 bits gives error 6",
        first->RetrieveActionQueryString(&position.Get(), query.Out()) ==
            VbErrorResult(tarvesk::kOverflow));

  ForeignFileSet foreign;
  Check("a foreign FileSet gives error 13",
        first->putref_Parent(reinterpret_cast<_FileSet*>(&foreign)) ==
            VbErrorResult(tarvesk::kTypeMismatch));
  auto handler = Create<_ActionHandler>(CLSID_ActionHandler);
  VariantOwner result;
  Check("UndoAction without a file set does nothing",
        handler && handler->UndoAction(result.Out()) == S_OK && V_VT(&result.Get()) == VT_EMPTY);
}

// An outside component's error reaches the host with its own number and text: a VB error
// as it is, an HRESULT of its own (vbObjectError + n) unchanged, not as error 5.
void OutsideErrorsPassThrough() {
  using tarvesk::com::ErrorFromResult;
  using tarvesk::com::ReportError;
  const HRESULT own = static_cast<HRESULT>(0x80040203);  // vbObjectError + 515
  ReportError(tarvesk::Error(static_cast<int32_t>(own), "Satz 12 ist gesperrt", "Fremd"),
              IID_IDispatch);
  const tarvesk::Error passed = ErrorFromResult(own);
  Check("an own HRESULT keeps its number and text, and goes on to the host unchanged",
        passed.Number() == static_cast<int32_t>(own) &&
            passed.Description() == "Satz 12 ist gesperrt" &&
            ReportError(passed, IID_IDispatch) == own);
  tarvesk::com::ExcepInfoOwner exception;
  exception.info.wCode = tarvesk::kFileNotFound;
  exception.info.bstrDescription = SysAllocString(L"Datei fehlt");
  const tarvesk::Error vb = ErrorFromResult(DISP_E_EXCEPTION, &exception.info);
  Check("a VB error keeps its number and text",
        vb.Number() == tarvesk::kFileNotFound && vb.Description() == "Datei fehlt");
}

// The conversions that follow the user's locale: a number as text, and a SESSIONTIME as
// that locale writes it read as a date (1.12.2026 08:30).
void LocaleConversions(const std::string& half, const std::string& sessionTime) {
  Check("1.5 as the locale writes it", tarvesk::CStr(tarvesk::Variant(1.5)) == half);
  const auto read = tarvesk::ParseDate(sessionTime);
  const auto expected = tarvesk::MakeDate(2026, 12, 1, 8, 30, 0);
  Check("the locale's SESSIONTIME read as a date",
        read && expected && std::abs(read->serial - expected->serial) < 1e-6);  // < 0.1 s
}

SIZE_T CommittedBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  return counters.PagefileUsage;  // the commit charge; Wine leaves PrivateUsage 0
}

// A host that loads a set, reads a log and drops the set without EjectFileset, 100 times:
// the set and its cached logs must go each time (they must not keep each other alive).
void DroppedSetsAreFreed() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"tarvesk-rounds\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  {
    std::ofstream log(std::filesystem::path(folder + L"big.xml"), std::ios::binary);
    log << "<?xml version=\"1.0\"?>\r\n<TarveskDataLayerLog>\r\n<HEAD>\r\n"
           "<DATABASE>C:\\db.db</DATABASE>\r\n</HEAD>\r\n<LOGDATA>\r\n";
    for (int i = 0; i < 4000; ++i) {
      log << "<ACTION Info=\"UPDATE RECORDID=7\">\r\n<TABLE>Kunden</TABLE>\r\n"
             "<QueryString>SELECT * FROM Kunden WHERE ID &#61; 7</QueryString>\r\n"
             "<TIME>01.12.2026 08:31:40</TIME>\r\n<FieldName>Ort</FieldName>\r\n"
             "<OldValue>Muenchen</OldValue>\r\n<NewValue>Koeln</NewValue>\r\n</ACTION>\r\n";
    }
    log << "</LOGDATA>\r\n</TarveskDataLayerLog>\r\n";
  }
  auto round = [&] {
    auto fs = Create<_FileSet>(CLSID_FileSet);
    Bstr path(tarvesk::com::WideToUtf8(folder.data(), folder.size()));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    long index = 1;
    ComPtr<_LogData> log;
    return fs && SUCCEEDED(fs->LoadFileSet(path.OutKeep(), &loaded)) && loaded &&
           SUCCEEDED(fs->get_LogContent(&index, log.Out())) && log;
  };
  bool all = round() && round();
  const SIZE_T before = CommittedBytes();
  for (int i = 0; i < 100; ++i) all = round() && all;
  const SIZE_T grown = CommittedBytes() - std::min(before, CommittedBytes());
  Check("100 rounds of loading and dropping a set", all);
  // A kept set would hold its 1.5 MB log: 100 of them far beyond this.
  Check("dropped sets do not pile up in memory", grown < 16 * 1024 * 1024);
  DeleteFileW((folder + L"big.xml").c_str());
  RemoveDirectoryW(folder.c_str());
}

// The module may unload only while no class factory, object or server lock holds it.
void UnloadRule(const std::wstring& dllPath) {
  HMODULE dll = LoadLibraryW(dllPath.c_str());
  auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      dll ? GetProcAddress(dll, "DllCanUnloadNow") : nullptr);
  auto getClass = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      dll ? GetProcAddress(dll, "DllGetClassObject") : nullptr);
  Check("the DLL loads with its exports", canUnload && getClass &&
                                              GetProcAddress(dll, "DllRegisterServer") &&
                                              GetProcAddress(dll, "DllUnregisterServer"));
  if (!canUnload || !getClass) return;
  Check("unused module may unload", canUnload() == S_OK);
  ComPtr<IClassFactory> factory;
  getClass(CLSID_FileSet, IID_IClassFactory, reinterpret_cast<void**>(factory.Out()));
  if (!factory) return Check("class factory", false);
  Check("a factory keeps the module", canUnload() == S_FALSE);
  ComPtr<_FileSet> fs;
  factory->CreateInstance(nullptr, IID__FileSet, reinterpret_cast<void**>(fs.Out()));
  factory->LockServer(TRUE);
  factory = ComPtr<IClassFactory>();
  Check("an object keeps the module", fs && canUnload() == S_FALSE);
  fs = ComPtr<_FileSet>();
  Check("LockServer keeps the module", canUnload() == S_FALSE);
  getClass(CLSID_LogData, IID_IClassFactory, reinterpret_cast<void**>(factory.Out()));
  factory->LockServer(FALSE);
  factory = ComPtr<IClassFactory>();
  Check("all released and unlocked: may unload", canUnload() == S_OK);
  ComPtr<IUnknown> unknown;
  Check("unknown class refused",
        getClass(IID_IPersist, IID_IClassFactory, reinterpret_cast<void**>(unknown.Out())) ==
            CLASS_E_CLASSNOTAVAILABLE);
  FreeLibrary(dll);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) {
    std::printf("usage: early_bound_host LOGFOLDER\\ DLLPATH HALF SESSIONTIME\n");
    return 2;
  }
  auto utf8 = [](const wchar_t* text) { return tarvesk::com::WideToUtf8(text, wcslen(text)); };
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EveryInterface();
  PropertyCollectionCalls();
  FileSetCalls(utf8(argv[1]));
  DroppedSetsAreFreed();
  OutsideErrorsPassThrough();
  LocaleConversions(utf8(argv[3]), utf8(argv[4]));
  CoFreeUnusedLibraries();
  UnloadRule(argv[2]);
  CoUninitialize();
  std::printf("SUMMARY checks=%d failures=%d\n", checks, failures);
  return failures == 0 ? 0 : 1;
}
