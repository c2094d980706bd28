// TerminalMessages: the user-message seam of the command line. A message box becomes a
// block on the terminal - title with the kind of message, then the text - and a question
// is answered by typing j (Ja) or n (Nein). The answer "Nein" is the default whatever the
// box's default button: Enter, the end of the input and anything but j/ja keep the
// database as it is. A notice is printed without waiting for a key: the user answers one
// question per undo, no OK. With a fixed answer (--yes, --no) nothing is read.
//
// Values are escaped for the terminal; a "Name: " line without a value ends in "(leer)".
// Holds references to the streams it was given and the list of messages shown; the caller
// owns the streams and hands the object to the handler it asks for (EnvironmentWithMessages).
// Used on one thread.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "service/UserMessages.h"

namespace tarvesk::cli {

enum class AnswerPolicy { Ask, AlwaysYes, AlwaysNo };

// Prints "[j/N]? " and reads lines until j/ja/y/yes or n/nein/no (any case) or an empty
// line or the end of the input (both Nein); a fixed policy answers without reading.
bool AskYes(std::istream& in, std::ostream& out, AnswerPolicy policy);

class TerminalMessages : public IUserMessages {
 public:
  TerminalMessages(std::istream& in, std::ostream& out, AnswerPolicy policy)
      : in_(in), out_(out), policy_(policy) {}

  // Printed once, before the first question (what the question is about).
  void SetPreface(std::string preface) { preface_ = std::move(preface); }

  MessageAnswer Show(const UserMessage& message) override;

  struct Shown {
    UserMessage message;
    MessageAnswer answer;
  };
  const std::vector<Shown>& History() const { return history_; }

 private:
  std::istream& in_;
  std::ostream& out_;
  AnswerPolicy policy_;
  std::string preface_;
  std::vector<Shown> history_;
};

// The German words of an icon and an answer as the terminal shows them ("Frage", "Fehler",
// ...; "Ja", "Nein", "OK"), in the order of the enumerations.
const char* IconWord(MessageIcon icon);
const char* AnswerWord(MessageAnswer answer);

}  // namespace tarvesk::cli
