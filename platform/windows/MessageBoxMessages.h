// MessageBoxMessages: the user-message seam on Windows - each message is a modal
// MessageBoxW owned by the calling thread's active window (if any), with the message's
// buttons, icon and default button. What the Windows environment shows by default.
#pragma once

#include "service/UserMessages.h"

namespace tarvesk::com {

class MessageBoxMessages : public IUserMessages {
 public:
  MessageAnswer Show(const UserMessage& message) override;
};

}  // namespace tarvesk::com
