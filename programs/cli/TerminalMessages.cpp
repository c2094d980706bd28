#include "programs/cli/TerminalMessages.h"

#include "programs/cli/Output.h"
#include "undo/ActionHandler.h"

namespace tarvesk::cli {
namespace {

std::string Folded(std::string text) {
  const size_t first = text.find_first_not_of(" \t\r");
  const size_t last = text.find_last_not_of(" \t\r");
  text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Message texts break lines with CR LF. Each line is escaped; one that ends in ": "
// (a field without a value) says so, but for the heading of the reported errors.
void WriteText(std::ostream& out, const std::string& text) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = Escaped(std::string_view(text).substr(start, end - start));
    if (line.ends_with(": ") && line != kErrorsReported) line += "(leer)";
    out << line << '\n';
    if (end == text.size()) break;
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
}

}  // namespace

const char* IconWord(MessageIcon icon) {
  static constexpr const char* kWords[] = {"Fehler", "Frage", "Warnung", "Hinweis"};
  return kWords[static_cast<size_t>(icon)];
}

const char* AnswerWord(MessageAnswer answer) {
  static constexpr const char* kWords[] = {"OK", "Ja", "Nein"};
  return kWords[static_cast<size_t>(answer)];
}

bool AskYes(std::istream& in, std::ostream& out, AnswerPolicy policy) {
  out << "[j/N]? ";
  if (policy != AnswerPolicy::Ask) {
    const bool yes = policy == AnswerPolicy::AlwaysYes;
    out << (yes ? "Ja (--yes)" : "Nein (--no)") << '\n';
    return yes;
  }
  for (;;) {
    out.flush();
    std::string line;
    if (!std::getline(in, line)) {
      out << "\nNein (keine Eingabe)\n";
      return false;
    }
    const std::string answer = Folded(line);
    if (answer == "j" || answer == "ja" || answer == "y" || answer == "yes") return true;
    if (answer.empty() || answer == "n" || answer == "nein" || answer == "no") return false;
    out << "Bitte j (Ja) oder n (Nein) eingeben, Eingabetaste für Nein: ";
  }
}

MessageAnswer TerminalMessages::Show(const UserMessage& message) {
  const bool question = message.buttons == MessageButtons::YesNo;
  if (question && !preface_.empty()) {
    out_ << preface_;
    preface_.clear();
  }
  out_ << "=== " << Escaped(message.title) << " (" << IconWord(message.icon) << ") ===\n";
  WriteText(out_, message.text);
  MessageAnswer answer = MessageAnswer::Ok;
  if (question) {
    answer = AskYes(in_, out_, policy_) ? MessageAnswer::Yes : MessageAnswer::No;
  }
  out_.flush();
  history_.push_back({message, answer});
  return answer;
}

}  // namespace tarvesk::cli
