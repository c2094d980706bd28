// The user-message seam: modal message boxes with a fixed text, buttons, icon and title.
// Windows shows MessageBoxW, the CLI asks at the terminal, tests use a scripted fake; the
// environment (service/Environment.h) hands the core its implementation. Where no person
// can answer, the message goes to stderr and a question is answered No, so that nothing is
// changed unasked.
#pragma once

#include <string>

namespace tarvesk {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { Critical, Question, Exclamation, Information };
enum class MessageAnswer { Ok, Yes, No };

struct UserMessage {
  std::string text;  // a line break is CR LF
  std::string title;
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::Information;
  int defaultButton = 1;  // 1-based
};

class IUserMessages {
 public:
  virtual ~IUserMessages() = default;
  virtual MessageAnswer Show(const UserMessage& message) = 0;
};

}  // namespace tarvesk
