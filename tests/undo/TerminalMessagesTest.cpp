#include <gtest/gtest.h>

#include <sstream>

#include "cli/TerminalMessages.h"

namespace tarvesk::cli {
namespace {

const UserMessage kQuestion{"Erste Zeile\r\nZweite Zeile", "Aktion durchführen",
                            MessageButtons::YesNo, MessageIcon::Question, 1};
const UserMessage kNotice{"Die Aktion wurde durchgeführt!", "Aktion", MessageButtons::Ok,
                          MessageIcon::Information, 1};

class TerminalPrompt : public ::testing::Test {
 protected:
  MessageAnswer Ask(const std::string& input, const UserMessage& message = kQuestion,
                    AnswerPolicy policy = AnswerPolicy::Ask) {
    in_.str(input);
    TerminalMessages terminal(in_, out_, policy);
    return terminal.Show(message);
  }
  std::istringstream in_;
  std::ostringstream out_;
};

// Ja and Nein in any case; Enter takes the default button; anything else asks again
// until the answer is clear or the input ends, which means Nein.
TEST_F(TerminalPrompt, ShowsTheQuestionAndReadsTheAnswer) {
  EXPECT_EQ(Ask("j\n"), MessageAnswer::Yes);
  EXPECT_EQ(out_.str(),
            "=== Aktion durchführen (Frage) ===\nErste Zeile\nZweite Zeile\n"
            "[J]a / [N]ein (Vorgabe: Ja)? ");
  constexpr auto Yes = MessageAnswer::Yes, No = MessageAnswer::No;
  for (const auto& [input, answer] :
       std::vector<std::pair<const char*, MessageAnswer>>{{"J\n", Yes},
                                                          {" ja \n", Yes},
                                                          {"N\n", No},
                                                          {"Nein\n", No},
                                                          {"\n", Yes},
                                                          {"vielleicht\nj\n", Yes},
                                                          {"", No},
                                                          {"x\n", No}}) {
    EXPECT_EQ(Ask(input), answer) << input;
  }
  EXPECT_NE(out_.str().find("Bitte J (Ja) oder N (Nein) eingeben: "), std::string::npos);
  UserMessage noByDefault = kQuestion;
  noByDefault.defaultButton = 2;
  EXPECT_EQ(Ask("\n", noByDefault), MessageAnswer::No);
}

TEST_F(TerminalPrompt, FixedAnswersReadNothing) {
  EXPECT_EQ(Ask("n\n", kQuestion, AnswerPolicy::AlwaysYes), MessageAnswer::Yes);
  EXPECT_NE(out_.str().find("Ja (--yes)"), std::string::npos);
  EXPECT_EQ(Ask("j\n", kQuestion, AnswerPolicy::AlwaysNo), MessageAnswer::No);
  std::string unread;
  std::getline(in_, unread);
  EXPECT_EQ(unread, "j");
}

TEST_F(TerminalPrompt, NoticesWaitForEnterOnlyWhenAsking) {
  EXPECT_EQ(Ask("weiter\nj\n", kNotice), MessageAnswer::Ok);
  EXPECT_EQ(out_.str(),
            "=== Aktion (Hinweis) ===\nDie Aktion wurde durchgeführt!\n"
            "[OK] (Eingabetaste) \n");
  std::string rest;
  std::getline(in_, rest);
  EXPECT_EQ(rest, "j");
  out_.str("");
  Ask("", kNotice, AnswerPolicy::AlwaysYes);
  EXPECT_EQ(out_.str(), "=== Aktion (Hinweis) ===\nDie Aktion wurde durchgeführt!\n[OK]\n");
}

TEST_F(TerminalPrompt, KeepsAHistoryOfWhatWasShownAndAnswered) {
  in_.str("n\n");
  TerminalMessages terminal(in_, out_, AnswerPolicy::Ask);
  terminal.Show(kQuestion);
  terminal.Show(kNotice);
  ASSERT_EQ(terminal.History().size(), 2u);
  EXPECT_EQ(terminal.History()[0].answer, MessageAnswer::No);
  EXPECT_EQ(terminal.History()[1].message.title, "Aktion");
}

}  // namespace
}  // namespace tarvesk::cli
