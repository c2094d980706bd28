#include "components/folderpicker/FolderDialog.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include "platform/windows/ComOwners.h"
#include "platform/windows/Win32Owners.h"

namespace tarvesk {

using com::ComPtr;
using com::TaskMemoryOwner;
using com::Utf8ToWide;

std::string ShowFolderDialog(const std::string& title, const std::string& startFolder) {
  ComPtr<IFileOpenDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IFileOpenDialog, reinterpret_cast<void**>(dialog.Out())))) {
    return "";
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  dialog->SetTitle(Utf8ToWide(title).c_str());
  if (!startFolder.empty()) {
    ComPtr<IShellItem> folder;
    if (SUCCEEDED(SHCreateItemFromParsingName(Utf8ToWide(startFolder).c_str(), nullptr,
                                              IID_IShellItem,
                                              reinterpret_cast<void**>(folder.Out())))) {
      dialog->SetFolder(folder.Get());
      // Wine's dialog chooses nothing while the name box is empty; with the folder's path
      // in it, confirming at once chooses the start folder, as the system's dialog does.
      dialog->SetFileName(Utf8ToWide(startFolder).c_str());
    }
  }
  if (FAILED(dialog->Show(GetActiveWindow()))) return "";  // cancelled
  ComPtr<IShellItem> result;
  if (FAILED(dialog->GetResult(result.Out()))) return "";
  TaskMemoryOwner<wchar_t> path;
  if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, path.Out())) || !path) return "";
  return com::WideToUtf8(std::wstring_view(path.Get()));
}

}  // namespace tarvesk
