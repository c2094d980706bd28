#include "components/folderpicker/FolderDialog.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

namespace tarvesk {
namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string Utf8(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string utf8(static_cast<size_t>(length - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

// Releases a COM interface pointer at the end of its scope.
template <class T>
struct ComPtr {
  T* p = nullptr;
  ~ComPtr() {
    if (p) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
};

}  // namespace

std::string ShowFolderDialog(const std::string& title, const std::string& startFolder) {
  ComPtr<IFileOpenDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IFileOpenDialog, reinterpret_cast<void**>(&dialog)))) {
    return "";
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  dialog->SetTitle(Wide(title).c_str());
  if (!startFolder.empty()) {
    ComPtr<IShellItem> folder;
    if (SUCCEEDED(SHCreateItemFromParsingName(Wide(startFolder).c_str(), nullptr, IID_IShellItem,
                                              reinterpret_cast<void**>(&folder)))) {
      dialog->SetFolder(folder.p);
      // Wine's dialog chooses nothing while the name box is empty; with the folder's path
      // in it, confirming at once chooses the start folder, as the system's dialog does.
      dialog->SetFileName(Wide(startFolder).c_str());
    }
  }
  if (FAILED(dialog->Show(GetActiveWindow()))) return "";  // cancelled
  ComPtr<IShellItem> result;
  if (FAILED(dialog->GetResult(&result))) return "";
  PWSTR path = nullptr;
  if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) return "";
  std::string chosen = Utf8(path);
  CoTaskMemFree(path);
  return chosen;
}

}  // namespace tarvesk
