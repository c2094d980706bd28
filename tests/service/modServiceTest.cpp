#include <gtest/gtest.h>

#include <stdexcept>

#include "service/modService.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

// The text followed by the delimiter is cut at each occurrence from the left; field n is the
// piece before the n-th, "" when there is none; an occurrence that runs into the appended
// delimiter closes a field too ("a:" by "::", "f" by "ff").
TEST(FieldSplitter, TakesFieldsBetweenDelimiters) {
  EXPECT_EQ(GetDelimitedField("12: UPDATE", ":", 2), " UPDATE");
  EXPECT_EQ(GetDelimitedField("a  b", " ", 2), "");
  EXPECT_EQ(GetDelimitedField("a  b", " ", 3), "b");
  EXPECT_EQ(GetDelimitedField("ganz", ":", 1), "ganz");
  EXPECT_EQ(GetDelimitedField("a::b", "::", 2), "b");
  EXPECT_EQ(GetDelimitedField("a:b:", ":", 4), "");
  EXPECT_EQ(GetDelimitedField("aXb", "x", 1), "aXb");
  EXPECT_EQ(GetDelimitedField("a:", "::", 1), "a");
  EXPECT_EQ(GetDelimitedField("f", "ff", 1), "");
  EXPECT_EQ(GetDelimitedField("ab", "abc", 1), "ab");
  for (int32_t n : {0, -1}) EXPECT_EQ(GetDelimitedField("a:b", ":", n), "");
  EXPECT_EQ(GetDelimitedField("a:b", "", 1), "");
}

// A component that cannot be made - not registered, or its maker fails - is told in the
// factory's message box and gives nothing, which fails with 91 at its first use.
TEST(ComponentFactories, TellAMissingComponentAndYieldNothing) {
  test::TestEnvironment env;
  env.Components().Unregister(kXmlParserProgId);
  env.Components().Unregister(kDataLayerProgId);
  env.Components().Register<IFileSystem>(kFileSystemProgId, []() -> std::unique_ptr<IFileSystem> {
    throw std::runtime_error("kaputt");
  });
  const std::pair<std::function<bool()>, std::string> cases[] = {
      {[&] { return !CreateXMLParser(env); }, "XMLHandler"},
      {[&] { return !CreateFileManager(env); }, "FileManager"},  // nothing registers a picker
      {[&] { return !CreateFileSystem(env); }, "FileManager"},
      {[&] { return !CreateDataLayer(env); }, "DataLayer"}};
  for (const auto& [yieldsNothing, component] : cases) {
    env.messages.shown.clear();
    EXPECT_TRUE(yieldsNothing()) << component;
    ASSERT_EQ(env.messages.shown.size(), 1u) << component;
    const UserMessage& shown = env.messages.shown[0];
    EXPECT_EQ(
        shown.title + shown.text,
        "Komponente nicht verfügbar!Die Komponente Tarvesk " + component +
            " konnte nicht geladen werden. Ev. ist diese Software nicht korrekt installiert!");
    EXPECT_EQ(shown.buttons, MessageButtons::Ok);
    EXPECT_EQ(shown.icon, MessageIcon::Critical);
  }
  EXPECT_EQ(test::ErrorNumberOf([&] { Use(CreateXMLParser(env)).GetTagName("<A>b</A>"); }),
            kObjectNotSet);
  test::TestEnvironment complete;  // one that can be made is made without a word
  EXPECT_NE(CreateXMLParser(complete), nullptr);
  EXPECT_TRUE(complete.messages.shown.empty());
}

}  // namespace
}  // namespace tarvesk
