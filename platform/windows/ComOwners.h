// Owners of the COM resources the servers, the component adapters and the hosts handle:
// Bstr owns a BSTR, VariantOwner a VARIANT, SafeArrayOwner a SAFEARRAY, ExcepInfoOwner the
// texts of an EXCEPINFO, ComPtr one counted interface reference (the one COM smart pointer
// of the system). Each frees what it holds when it ends; Release() hands ownership to the
// caller (for out-parameters). Win32 handles have theirs in Win32Owners.h. Conversions
// between UTF-8 text, BSTRs, core Variants and VARIANTs live here too. Windows only.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

#include "automation/Variant.h"

namespace tarvesk::com {

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view utf8);
  static Bstr Attach(BSTR value) {
    Bstr b;
    b.value_ = value;
    return b;
  }
  ~Bstr() { SysFreeString(value_); }
  Bstr(Bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    std::swap(value_, other.value_);
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR Get() const { return value_; }
  BSTR* Out() {
    SysFreeString(value_);
    value_ = nullptr;
    return &value_;
  }
  BSTR Release() { return std::exchange(value_, nullptr); }
  // The address of the held BSTR, for a by-reference argument that may replace it.
  BSTR* OutKeep() { return &value_; }

 private:
  BSTR value_ = nullptr;
};

class VariantOwner {
 public:
  VariantOwner() { VariantInit(&value_); }
  ~VariantOwner() { VariantClear(&value_); }
  VariantOwner(VariantOwner&& other) noexcept : VariantOwner() { std::swap(value_, other.value_); }
  VariantOwner& operator=(VariantOwner&& other) noexcept {
    std::swap(value_, other.value_);
    return *this;
  }
  VariantOwner(const VariantOwner&) = delete;
  VariantOwner& operator=(const VariantOwner&) = delete;

  VARIANT& Get() { return value_; }
  const VARIANT& Get() const { return value_; }
  VARIANT* Out() {
    VariantClear(&value_);
    return &value_;
  }
  // Moves the value into *target, which the caller owns (and has initialised or cleared).
  void ReleaseTo(VARIANT* target) {
    *target = value_;
    VariantInit(&value_);
  }

 private:
  VARIANT value_;
};

class SafeArrayOwner {
 public:
  SafeArrayOwner() = default;
  explicit SafeArrayOwner(SAFEARRAY* array) : array_(array) {}
  ~SafeArrayOwner() {
    if (array_) SafeArrayDestroy(array_);
  }
  SafeArrayOwner(SafeArrayOwner&& other) noexcept : array_(std::exchange(other.array_, nullptr)) {}
  SafeArrayOwner& operator=(SafeArrayOwner&& other) noexcept {
    std::swap(array_, other.array_);
    return *this;
  }
  SafeArrayOwner(const SafeArrayOwner&) = delete;
  SafeArrayOwner& operator=(const SafeArrayOwner&) = delete;

  SAFEARRAY* Get() const { return array_; }
  SAFEARRAY* Release() { return std::exchange(array_, nullptr); }

 private:
  SAFEARRAY* array_ = nullptr;
};

// An EXCEPINFO for a call to fill in; its texts are freed when the owner ends.
struct ExcepInfoOwner {
  ExcepInfoOwner() = default;
  ~ExcepInfoOwner() {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
  ExcepInfoOwner(const ExcepInfoOwner&) = delete;
  ExcepInfoOwner& operator=(const ExcepInfoOwner&) = delete;

  EXCEPINFO info{};
};

template <class I>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(I* p) : p_(p) {  // takes a new reference
    if (p_) p_->AddRef();
  }
  static ComPtr Attach(I* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  I* Get() const { return p_; }
  I* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  I** Out() {
    *this = ComPtr();
    return &p_;
  }
  I* Release() { return std::exchange(p_, nullptr); }

 private:
  I* p_ = nullptr;
};

// The UTF-8/UTF-16 pair of core/automation/Text.h on wchar_t, which is UTF-16 on Windows.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(const wchar_t* text, size_t length);
inline std::string WideToUtf8(std::wstring_view text) {
  return WideToUtf8(text.data(), text.size());
}
std::string BstrToUtf8(BSTR text);  // null reads as ""
// A new BSTR that the caller owns.
BSTR NewBstr(std::string_view utf8);

// Core Variant <-> VARIANT. ToCore raises error 13 for values it cannot hold (objects,
// arrays); FromCore writes into a VARIANT the caller owns and has cleared.
Variant ToCore(const VARIANT& value);
void FromCore(const Variant& value, VARIANT* out);

}  // namespace tarvesk::com
