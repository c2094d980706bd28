// FolderPickerObject: the properties of the folder picker TarveskFileManager.clsFileManager
// as a COM object keeps them. The picker of the component and the tests' stand-in derive
// from it and differ only in DisplayFileManager, which fills resultFullPath_.
#pragma once

#include <string>

#include "com/components/TarveskFileManager.h"
#include "com/kit/ComServer.h"

namespace tarvesk::com {

class FolderPickerObject : public DispatchObject<_clsFileManager> {
 public:
  STDMETHODIMP get_bolShowDirectoryOnly(VARIANT_BOOL* Result) override {
    return Call([&] { SetOut(Result, showDirectoryOnly_); });
  }
  STDMETHODIMP put_bolShowDirectoryOnly(VARIANT_BOOL Value) override {
    return Call([&] { showDirectoryOnly_ = Value != VARIANT_FALSE; });
  }
  STDMETHODIMP get_bolHideIcon(VARIANT_BOOL* Result) override {
    return Call([&] { SetOut(Result, hideIcon_); });
  }
  STDMETHODIMP put_bolHideIcon(VARIANT_BOOL Value) override {
    return Call([&] { hideIcon_ = Value != VARIANT_FALSE; });
  }
  STDMETHODIMP get_strDefaultPath(BSTR* Result) override {
    return Call([&] { SetOut(Result, defaultPath_); });
  }
  STDMETHODIMP put_strDefaultPath(BSTR Value) override {
    return Call([&] { defaultPath_ = BstrToUtf8(Value); });
  }
  STDMETHODIMP get_strFormCaption(BSTR* Result) override {
    return Call([&] { SetOut(Result, formCaption_); });
  }
  STDMETHODIMP put_strFormCaption(BSTR Value) override {
    return Call([&] { formCaption_ = BstrToUtf8(Value); });
  }
  STDMETHODIMP get_strResultFullPath(BSTR* Result) override {
    return Call([&] { SetOut(Result, resultFullPath_); });
  }

 protected:
  bool showDirectoryOnly_ = false, hideIcon_ = false;
  std::string defaultPath_, formCaption_, resultFullPath_;
};

}  // namespace tarvesk::com
