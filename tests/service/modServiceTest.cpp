#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "service/modService.h"
#include "tests/support/TestEnvironment.h"

namespace tarvesk {
namespace {

TEST(FieldSplitter, TakesFieldsBetweenDelimiters) {
  EXPECT_EQ(GetDelimitedField("12: UPDATE", ":", 1), "12");
  EXPECT_EQ(GetDelimitedField("12: UPDATE", ":", 2), " UPDATE");
  EXPECT_EQ(GetDelimitedField("UPDATE RECORDID=7", " ", 2), "RECORDID=7");
  EXPECT_EQ(GetDelimitedField("RECORDID=7", "=", 2), "7");
  EXPECT_EQ(GetDelimitedField("a b", " ", 3), "");
  EXPECT_EQ(GetDelimitedField("a  b", " ", 2), "");
  EXPECT_EQ(GetDelimitedField("a  b", " ", 3), "b");
  EXPECT_EQ(GetDelimitedField("", ":", 1), "");
  EXPECT_EQ(GetDelimitedField("ganz", ":", 1), "ganz");
  EXPECT_EQ(GetDelimitedField("a::b", "::", 2), "b");
  // An occurrence that ends in the appended delimiter closes a field too.
  EXPECT_EQ(GetDelimitedField("a:", "::", 1), "a");
  EXPECT_EQ(GetDelimitedField("a:", "::", 2), "");
  EXPECT_EQ(GetDelimitedField("f", "ff", 1), "");      // "f" + "ff": the first "ff" starts at 0
  EXPECT_EQ(GetDelimitedField("ab", "abc", 1), "ab");  // a delimiter longer than the text
  EXPECT_EQ(GetDelimitedField("aXb", "x", 1), "aXb");
  EXPECT_EQ(GetDelimitedField("a:b:", ":", 3), "");
  EXPECT_EQ(GetDelimitedField("a:b:", ":", 4), "");
}

TEST(FieldSplitter, AnswersEmptyForImpossibleRequests) {
  for (int32_t field : {0, -1, INT32_MIN}) EXPECT_EQ(GetDelimitedField("a:b", ":", field), "");
  EXPECT_EQ(GetDelimitedField("a:b", "", 1), "");
}

// A component that cannot be made - not registered, or its maker fails - is told in the
// factory's message box and gives nothing, which fails with 91 at its first use; one that
// can be made is made without a word.
TEST(ComponentFactories, TellAMissingComponentAndYieldNothing) {
  test::TestEnvironment env;
  env.Components().Unregister(kXmlParserProgId);
  env.Components().Unregister(kDataLayerProgId);
  env.Components().Register<IFileSystem>(kFileSystemProgId, []() -> std::unique_ptr<IFileSystem> {
    throw std::runtime_error("kaputt");
  });
  const struct {
    std::function<bool()> yieldsNothing;
    std::string component;
  } cases[] = {
      {[&] { return !CreateXMLParser(env); }, "XMLHandler"},
      {[&] { return !CreateFileManager(env); }, "FileManager"},  // nothing registers a picker
      {[&] { return !CreateFileSystem(env); }, "FileManager"},
      {[&] { return !CreateDataLayer(env); }, "DataLayer"},
  };
  for (const auto& c : cases) {
    env.messages.shown.clear();
    EXPECT_TRUE(c.yieldsNothing()) << c.component;
    ASSERT_EQ(env.messages.shown.size(), 1u) << c.component;
    const UserMessage& shown = env.messages.shown[0];
    EXPECT_EQ(shown.title, "Komponente nicht verfügbar!");
    EXPECT_EQ(shown.text, "Die Komponente Tarvesk " + c.component +
                              " konnte nicht geladen werden. Ev. ist diese Software nicht "
                              "korrekt installiert!");
    EXPECT_EQ(shown.buttons, MessageButtons::Ok);
    EXPECT_EQ(shown.icon, MessageIcon::Critical);
  }
  env.messages.shown.clear();
  test::TestEnvironment complete;
  EXPECT_NE(CreateXMLParser(complete), nullptr);
  EXPECT_TRUE(complete.messages.shown.empty());

  const auto parser = CreateXMLParser(env);
  try {
    Use(parser).GetTagName("<A>b</A>");
    FAIL();
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), kObjectNotSet);
  }
}

}  // namespace
}  // namespace tarvesk
