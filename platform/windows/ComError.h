// The error translation at the COM boundary. Every entry point of a server object runs its
// body through Guarded(), which turns a tarvesk::Error into HRESULT 0x800A0000 + number and
// hands source and description to the caller through SetErrorInfo; anything else that is
// thrown becomes the matching VB error. Callers of outside components turn a failed call
// back into an Error with ErrorFromCall. Windows only.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>

#include <new>

#include "automation/Error.h"

namespace tarvesk::com {

// A VB error number as HRESULT: 0x800A0000 + number; a negative number is an outside
// component's own HRESULT (as VB keeps it in Err.Number) and stays as it is.
inline HRESULT VbErrorResult(int32_t number) {
  if (number < 0) return static_cast<HRESULT>(number);
  return static_cast<HRESULT>(0x800A0000u + static_cast<uint32_t>(number & 0xFFFF));
}

// Sets the thread's error object for iid and answers the HRESULT of the error.
HRESULT ReportError(const Error& error, REFIID iid);

template <class Body>
HRESULT Guarded(REFIID iid, Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (const Error& error) {
    return ReportError(error, iid);
  } catch (const std::bad_alloc&) {
    return ReportError(Error(kOutOfMemory), iid);
  } catch (...) {
    return ReportError(Error(kInvalidProcedureCall), iid);
  }
}

// The Error that a failed call of an outside component stands for: the VB number of an
// HRESULT 0x800A.... or of a well-known one, else the HRESULT itself as its number (as a VB
// program passes it on), with the description of the error object or of the EXCEPINFO.
Error ErrorFromResult(HRESULT hr, const EXCEPINFO* info = nullptr);

}  // namespace tarvesk::com
