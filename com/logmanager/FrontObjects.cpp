// The wrappers of the entry class LogManager and of ActionHandler.
#include "com/logmanager/Objects.h"

namespace tarvesk::com {
// ActionHandler

STDMETHODIMP ActionHandlerObject::get_LogFileHandle(long* Result) {
  return Call([&] { SetOut(Result, Object().LogFileHandle()); });
}

STDMETHODIMP ActionHandlerObject::put_LogFileHandle(long LogFileHandle) {
  return Call([&] { Object().SetLogFileHandle(LogFileHandle); });
}

STDMETHODIMP ActionHandlerObject::get_ActionHandle(long* Result) {
  return Call([&] { SetOut(Result, Object().ActionHandle()); });
}

STDMETHODIMP ActionHandlerObject::put_ActionHandle(long ActionHandle) {
  return Call([&] { Object().SetActionHandle(ActionHandle); });
}

STDMETHODIMP ActionHandlerObject::put_FileSetObject(_FileSet** objfs) {
  return Call([&] { Object().SetFileSetObject(FileSetOf(objfs ? *objfs : nullptr)); });
}

STDMETHODIMP ActionHandlerObject::UndoAction(VARIANT* Result) {
  return Call([&] {
    SetEmpty(Result);
    Object().UndoAction();
  });
}

// LogManager

STDMETHODIMP LogManagerObject::Display(VARIANT* Result) {
  return Call([&] {
    SetEmpty(Result);
    Object().Display();
  });
}

STDMETHODIMP LogManagerObject::EjectFileset(VARIANT* Result) {
  return Call([&] {
    SetEmpty(Result);
    Object().EjectFileset();
  });
}

STDMETHODIMP LogManagerObject::get_FileSetManager(_FileSet** Result) {
  return Call([&] {
    auto fileSet = WrapperOf<FileSetObject>(Object().FileSetManager());
    SetOut<_FileSet>(Result, ComPtr<_FileSet>(fileSet.Get()));
  });
}

}  // namespace tarvesk::com
