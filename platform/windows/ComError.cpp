#include "platform/windows/ComError.h"

#include <new>

#include "platform/windows/ComOwners.h"

namespace tarvesk::com {

Error CaughtError() noexcept {
  try {
    throw;
  } catch (const Error& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return Error(kOutOfMemory);
  } catch (...) {
    return Error(kInvalidProcedureCall);
  }
}

HRESULT ReportError(const Error& error, REFIID iid, EXCEPINFO* exception) {
  if (exception) {
    *exception = EXCEPINFO{};
    exception->scode = VbErrorResult(error.Number());
    exception->bstrSource = NewBstr(error.Source());
    exception->bstrDescription = NewBstr(error.Description());
    return DISP_E_EXCEPTION;
  }
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.Out()))) {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(Utf8ToWide(error.Source()).c_str()));
    create->SetDescription(const_cast<LPOLESTR>(Utf8ToWide(error.Description()).c_str()));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.Out())))) {
      SetErrorInfo(0, info.Get());
    }
  }
  return VbErrorResult(error.Number());
}

namespace {

int32_t NumberOfResult(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) return hr & 0xFFFF;
  switch (hr) {
    case E_OUTOFMEMORY:
      return kOutOfMemory;
    case DISP_E_TYPEMISMATCH:
      return kTypeMismatch;
    case DISP_E_OVERFLOW:
      return kOverflow;
    case DISP_E_BADINDEX:
      return kSubscriptOutOfRange;
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
      return kMemberNotSupported;
    case REGDB_E_CLASSNOTREG:
    case CO_E_CLASSSTRING:
      return kCannotCreateObject;
    case E_POINTER:
      return kObjectNotSet;
    default:
      return static_cast<int32_t>(hr);  // the component's own error, passed on unchanged
  }
}

}  // namespace

Error ErrorFromResult(HRESULT hr, const EXCEPINFO* info) {
  std::string description, source;
  if (info) {
    HRESULT code = info->scode ? info->scode : hr;
    if (info->wCode) code = VbErrorResult(info->wCode);
    hr = code;
    description = BstrToUtf8(info->bstrDescription);
    source = BstrToUtf8(info->bstrSource);
  } else {
    ComPtr<IErrorInfo> errorInfo;
    if (GetErrorInfo(0, errorInfo.Out()) == S_OK && errorInfo) {
      Bstr text, from;
      errorInfo->GetDescription(text.Out());
      errorInfo->GetSource(from.Out());
      description = BstrToUtf8(text.Get());
      source = BstrToUtf8(from.Get());
    }
  }
  return source.empty() ? Error(NumberOfResult(hr), description)
                        : Error(NumberOfResult(hr), description, source);
}

}  // namespace tarvesk::com
