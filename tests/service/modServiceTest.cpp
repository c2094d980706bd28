#include <gtest/gtest.h>

#include <stdexcept>

#include "service/modService.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

// Field n ends at the n-th delimiter, the appended one included ("a:" by "::" is "a").
TEST(FieldSplitter, TakesFieldsBetweenDelimiters) {
  EXPECT_EQ(GetDelimitedField("12: UPDATE", ":", 2), " UPDATE");
  EXPECT_EQ(GetDelimitedField("a  b", " ", 2), "");
  EXPECT_EQ(GetDelimitedField("a:b:", ":", 4), "");
  EXPECT_EQ(GetDelimitedField("a::b", "::", 2), "b");
  EXPECT_EQ(GetDelimitedField("a:", "::", 1), "a");
  EXPECT_EQ(GetDelimitedField("a:b", ":", 0) + GetDelimitedField("a:b", "", 1), "");
}

// A component that cannot be made is told in the factory's message box and gives nothing.
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
}

}  // namespace
}  // namespace tarvesk
