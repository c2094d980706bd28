// The error translation at the COM boundary, in one place. Every entry point of a server
// object runs its body through Guarded(); whatever escapes it becomes an Error
// (CaughtError) and then HRESULT 0x800A0000 + number, with source and description handed to
// the caller through IErrorInfo, or through the EXCEPINFO of IDispatch::Invoke
// (ReportError). Callers of outside components turn a failed call back into an Error with
// ErrorFromResult. Windows only.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>

#include "automation/Error.h"

namespace tarvesk::com {

// A VB error number as HRESULT: 0x800A0000 + number; a negative number is an outside
// component's own HRESULT (as VB keeps it in Err.Number) and stays as it is.
inline HRESULT VbErrorResult(int32_t number) {
  if (number < 0) return static_cast<HRESULT>(number);
  return static_cast<HRESULT>(0x800A0000u + static_cast<uint32_t>(number & 0xFFFF));
}

// The Error that the exception being handled stands for: an Error as it is, a failed
// allocation as error 7, anything else as error 5. Call it only inside a catch block.
Error CaughtError() noexcept;

// Hands error to the caller. Without exception: sets the thread's error object for iid and
// answers the error's HRESULT. With exception (IDispatch::Invoke): fills it in and answers
// DISP_E_EXCEPTION.
HRESULT ReportError(const Error& error, REFIID iid, EXCEPINFO* exception = nullptr);

template <class Body>
HRESULT Guarded(REFIID iid, Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (...) {
    return ReportError(CaughtError(), iid);
  }
}

// The Error that a failed call of an outside component stands for: the VB number of an
// HRESULT 0x800A.... or of a well-known one, else the HRESULT itself as its number (as a VB
// program passes it on), with the description of the error object or of the EXCEPINFO.
Error ErrorFromResult(HRESULT hr, const EXCEPINFO* info = nullptr);

}  // namespace tarvesk::com
