#include "cli/TerminalMessages.h"

#include <string>

namespace tarvesk::cli {
namespace {

// Message texts break lines with CR LF; the terminal wants LF.
std::string TerminalText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i] == '\r' ? '\n' : text[i];
  }
  return out;
}

std::string Folded(std::string text) {
  const size_t first = text.find_first_not_of(" \t\r");
  const size_t last = text.find_last_not_of(" \t\r");
  text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

const char* IconWord(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Critical:
      return "Fehler";
    case MessageIcon::Question:
      return "Frage";
    case MessageIcon::Exclamation:
      return "Warnung";
    case MessageIcon::Information:
      return "Hinweis";
  }
  return "";
}

MessageAnswer TerminalMessages::AskYesNo(const UserMessage& message) {
  const bool yesIsDefault = message.defaultButton != 2;
  out_ << "[J]a / [N]ein (Vorgabe: " << (yesIsDefault ? "Ja" : "Nein") << ")? ";
  if (policy_ != AnswerPolicy::Ask) {
    const bool yes = policy_ == AnswerPolicy::AlwaysYes;
    out_ << (yes ? "Ja" : "Nein") << (yes ? " (--yes)" : " (--no)") << '\n';
    return yes ? MessageAnswer::Yes : MessageAnswer::No;
  }
  for (;;) {
    out_.flush();
    std::string line;
    if (!std::getline(in_, line)) {
      out_ << "\nNein (keine Eingabe mehr)\n";
      return MessageAnswer::No;
    }
    const std::string answer = Folded(line);
    if (answer.empty()) return yesIsDefault ? MessageAnswer::Yes : MessageAnswer::No;
    if (answer == "j" || answer == "ja" || answer == "y" || answer == "yes") {
      return MessageAnswer::Yes;
    }
    if (answer == "n" || answer == "nein" || answer == "no") return MessageAnswer::No;
    out_ << "Bitte J (Ja) oder N (Nein) eingeben: ";
  }
}

MessageAnswer TerminalMessages::Show(const UserMessage& message) {
  out_ << "=== " << message.title << " (" << IconWord(message.icon) << ") ===\n"
       << TerminalText(message.text) << '\n';
  MessageAnswer answer = MessageAnswer::Ok;
  if (message.buttons == MessageButtons::YesNo) {
    answer = AskYesNo(message);
  } else {
    out_ << "[OK]";
    if (policy_ == AnswerPolicy::Ask) {
      out_ << " (Eingabetaste) ";
      out_.flush();
      std::string line;
      std::getline(in_, line);
    }
    out_ << '\n';
  }
  out_.flush();
  history_.push_back({message, answer});
  return answer;
}

}  // namespace tarvesk::cli
