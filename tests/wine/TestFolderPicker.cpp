// test_folder_picker.dll, a stand-in for clsFileManager: DisplayFileManager answers
// TARVESK_TEST_PICKER_ANSWER and leaves caption, a tab, start folder in TARVESK_TEST_PICKER_SEEN.
#include "com/components/FolderPickerObject.h"
#include "com/components/TarveskFileManager.h"
#include "com/kit/ComServer.h"

namespace tarvesk::com {
namespace {

class TestFileManagerObject : public FolderPickerObject {
 public:
  STDMETHODIMP DisplayFileManager(VARIANT* Result) override {
    return Call([&] {
      SetEmpty(Result);
      // Only a picker set to folders without icon counts as asked the way the viewer asks.
      const std::string seen = formCaption_ + "\t" + defaultPath_ +
                               (showDirectoryOnly_ && hideIcon_ ? "" : "\t(not folders only)");
      SetEnvironmentVariableW(L"TARVESK_TEST_PICKER_SEEN", Utf8ToWide(seen).c_str());
      wchar_t answer[2048] = {};
      const DWORD length = GetEnvironmentVariableW(L"TARVESK_TEST_PICKER_ANSWER", answer, 2048);
      resultFullPath_ = length < 2048 ? WideToUtf8(answer, length) : std::string();
    });
  }
};

const ClassEntry kClasses[] = {
    Class<TestFileManagerObject>(CLSID_clsFileManager),
};
const ServerDescription kServer{kClasses};

}  // namespace
}  // namespace tarvesk::com

#include "com/kit/ServerExports.inc"
