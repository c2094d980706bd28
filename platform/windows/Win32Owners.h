// Owners of Win32 handles: each holds one handle and frees it the matching way when it ends
// (a window is destroyed, a GDI object deleted, a registry key closed, a DC deleted or
// released, task memory freed). Release() hands the handle to the caller. Move-only, as
// std::unique_ptr; used on the thread that made the handle. Windows only.
#pragma once

#include <windows.h>

#include <utility>

namespace tarvesk::com {

// Handle is a pointer-like handle type; Free(handle) frees a non-null one.
template <class Handle, auto Free>
class HandleOwner {
 public:
  HandleOwner() = default;
  explicit HandleOwner(Handle handle) : handle_(handle) {}
  ~HandleOwner() { Reset(); }
  HandleOwner(HandleOwner&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  HandleOwner& operator=(HandleOwner&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  HandleOwner(const HandleOwner&) = delete;
  HandleOwner& operator=(const HandleOwner&) = delete;

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Frees the held handle; the address receives a new one (for an out-parameter).
  Handle* Out() {
    Reset();
    return &handle_;
  }
  Handle Release() { return std::exchange(handle_, nullptr); }
  void Reset(Handle handle = nullptr) {
    if (Handle old = std::exchange(handle_, handle)) Free(old);
  }

 private:
  Handle handle_ = nullptr;
};

namespace owners {
inline void DestroyWindow(HWND window) { ::DestroyWindow(window); }
inline void DeleteGdiObject(HGDIOBJ object) { ::DeleteObject(object); }
inline void DeleteDc(HDC dc) { ::DeleteDC(dc); }
inline void ReleaseScreenDc(HDC dc) { ::ReleaseDC(nullptr, dc); }
inline void CloseKey(HKEY key) { ::RegCloseKey(key); }
inline void FreeTaskMemory(void* memory) { ::CoTaskMemFree(memory); }
}  // namespace owners

using WindowOwner = HandleOwner<HWND, owners::DestroyWindow>;
using FontOwner = HandleOwner<HFONT, owners::DeleteGdiObject>;
using BrushOwner = HandleOwner<HBRUSH, owners::DeleteGdiObject>;
using MemoryDcOwner = HandleOwner<HDC, owners::DeleteDc>;         // CreateCompatibleDC
using ScreenDcOwner = HandleOwner<HDC, owners::ReleaseScreenDc>;  // GetDC(nullptr)
using KeyOwner = HandleOwner<HKEY, owners::CloseKey>;
template <class T>
using TaskMemoryOwner = HandleOwner<T*, owners::FreeTaskMemory>;  // CoTaskMemAlloc'd

}  // namespace tarvesk::com
