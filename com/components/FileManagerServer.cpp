// TarveskFileManager.dll: the reference file-system component (components/filesystem) as
// TarveskFileManager.FileSystem, and the folder picker TarveskFileManager.clsFileManager,
// which shows the system's folder dialog (components/folderpicker) with the caption and
// start folder it was given; without one it starts in the data layer's log folder.
#include "com/components/FolderPickerObject.h"
#include "com/components/TarveskFileManager.h"
#include "com/kit/ComCollection.h"
#include "com/kit/ComServer.h"
#include "components/datalayer/ChangeLog.h"
#include "components/filesystem/FileSystem.h"
#include "components/folderpicker/FolderDialog.h"

namespace tarvesk::com {
namespace {

class FileSystemObject : public DispatchObject<_FileSystem> {
 public:
  STDMETHODIMP GetFilesInFolder(BSTR* strFolder, BSTR strPattern, _Collection** Result) override {
    return Call([&] {
      auto files = CollectionObject::OfTexts(
          fileSystem_.GetFilesInFolder(InText(strFolder), BstrToUtf8(strPattern)));
      SetOut<_Collection>(Result, ComPtr<_Collection>(files.Get()));
    });
  }

 private:
  FileSystem fileSystem_;
};

class FileManagerObject : public FolderPickerObject {
 public:
  STDMETHODIMP DisplayFileManager(VARIANT* Result) override {
    return Call([&] {
      SetEmpty(Result);
      // The dialog picks folders only and has no icon to hide; both settings are kept for the
      // host. Before the user's first choice the logs are most likely where the data layer
      // writes.
      resultFullPath_ =
          ShowFolderDialog(formCaption_, defaultPath_.empty() ? DefaultLogFolder() : defaultPath_);
    });
  }
};

const ClassEntry kClasses[] = {
    Class<FileSystemObject>(CLSID_FileSystem),
    Class<FileManagerObject>(CLSID_clsFileManager),
};
const ServerDescription kServer{kClasses};

}  // namespace
}  // namespace tarvesk::com

#include "com/kit/ServerExports.inc"
