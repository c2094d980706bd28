// TerminalMessages: the user-message seam of the command line. A message box becomes a
// block on the terminal - title with the kind of message, the text, the buttons as
// choices - and a question is answered by typing J (Ja) or N (Nein); Enter takes the
// default button, the end of the input counts as Nein so that nothing changes unasked.
// With a fixed answer (--yes, --no) every question is answered without reading input.
//
// Holds references to the streams it was given and the list of messages shown; the
// caller owns the streams and installs the object with SetUserMessages for as long as
// it lives. Used on one thread.
#pragma once

#include <istream>
#include <ostream>
#include <vector>

#include "service/UserMessages.h"

namespace tarvesk::cli {

enum class AnswerPolicy { Ask, AlwaysYes, AlwaysNo };

class TerminalMessages : public IUserMessages {
 public:
  TerminalMessages(std::istream& in, std::ostream& out, AnswerPolicy policy)
      : in_(in), out_(out), policy_(policy) {}

  MessageAnswer Show(const UserMessage& message) override;

  struct Shown {
    UserMessage message;
    MessageAnswer answer;
  };
  const std::vector<Shown>& History() const { return history_; }

 private:
  MessageAnswer AskYesNo(const UserMessage& message);

  std::istream& in_;
  std::ostream& out_;
  AnswerPolicy policy_;
  std::vector<Shown> history_;
};

// The German word of an icon as the terminal shows it ("Frage", "Fehler", ...).
const char* IconWord(MessageIcon icon);

}  // namespace tarvesk::cli
