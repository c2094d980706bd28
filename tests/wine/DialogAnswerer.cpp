// dialog_answerer RECORD STOP SECONDS ANSWER...: records each message box (title, tab, text) and
// presses the k-th ANSWER (ok/yes/no/cancel, the last repeats) until STOP exists or time is up.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/windows/ComOwners.h"

namespace {

std::string TextOf(HWND window) {
  wchar_t text[4096] = {};
  GetWindowTextW(window, text, 4096);
  std::string utf8 = tarvesk::com::WideToUtf8(text, wcslen(text));
  for (size_t at; (at = utf8.find("\r\n")) != std::string::npos;) utf8.replace(at, 2, "\\n");
  return utf8;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(_wtoi(argv[3])) * 1000;
  std::vector<int> buttons;
  for (const std::wstring& a : std::vector<std::wstring>(argv + 4, argv + argc)) {
    buttons.push_back(a == L"yes" ? IDYES : a == L"no" ? IDNO : a == L"cancel" ? IDCANCEL : IDOK);
  }
  std::set<HWND> answered;
  size_t next = 0;
  while (GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES &&
         static_cast<LONG>(deadline - GetTickCount()) > 0) {
    for (HWND dialog = nullptr; (dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr));) {
      if (!IsWindowVisible(dialog) || answered.count(dialog)) continue;
      Sleep(200);  // let the box finish building its controls
      // A message box's text is its control 0xFFFF.
      const std::string line = TextOf(dialog) + "\t" + TextOf(GetDlgItem(dialog, 0xFFFF)) + "\n";
      const std::unique_ptr<FILE, decltype(&std::fclose)> file(_wfopen(argv[1], L"ab"),
                                                               &std::fclose);
      if (file) std::fwrite(line.data(), 1, line.size(), file.get());
      const int button = buttons[std::min(next++, buttons.size() - 1)];
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
      answered.insert(dialog);
    }
    // Forget boxes that are gone, so that a new box with a reused handle counts.
    std::erase_if(answered, [](HWND dialog) { return !IsWindow(dialog); });
    Sleep(50);
  }
  return 0;
}
