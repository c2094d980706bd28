#include "platform/windows/MessageBoxMessages.h"

#include <windows.h>

#include "platform/windows/ComOwners.h"

namespace tarvesk::com {

MessageAnswer MessageBoxMessages::Show(const UserMessage& message) {
  UINT style = message.buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK;
  switch (message.icon) {
    case MessageIcon::Critical:
      style |= MB_ICONSTOP;
      break;
    case MessageIcon::Question:
      style |= MB_ICONQUESTION;
      break;
    case MessageIcon::Exclamation:
      style |= MB_ICONEXCLAMATION;
      break;
    case MessageIcon::Information:
      style |= MB_ICONINFORMATION;
      break;
  }
  if (message.defaultButton == 2) style |= MB_DEFBUTTON2;
  const std::wstring text = Utf8ToWide(message.text), title = Utf8ToWide(message.title);
  switch (MessageBoxW(GetActiveWindow(), text.c_str(), title.c_str(), style)) {
    case IDYES:
      return MessageAnswer::Yes;
    case IDNO:
      return MessageAnswer::No;
    default:
      // A box that could not be shown (0) changes nothing, like No.
      return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  }
}

}  // namespace tarvesk::com
