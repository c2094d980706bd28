#include <gtest/gtest.h>

#include "automation/Error.h"
#include "components/filesystem/FileSystem.h"
#include "components/xmlparser/XMLParser.h"
#include "service/ComponentRegistry.h"
#include "service/modService.h"
#include "tests/support/TestFiles.h"

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

class MissingComponent : public ::testing::Test {
 protected:
  void TearDown() override {
    Registry().Register<IXmlParser>(kXmlParserProgId, [] { return std::make_unique<XMLParser>(); });
    Registry().Register<IFileSystem>(kFileSystemProgId,
                                     [] { return std::make_unique<FileSystem>(); });
  }
  test::RecordingMessages messages;
};

TEST_F(MissingComponent, ShowsTheFactoryMessageAndYieldsNothing) {
  Registry().Unregister(kXmlParserProgId);
  EXPECT_EQ(CreateXMLParser(), nullptr);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Komponente nicht verfügbar!");
  EXPECT_EQ(messages.shown[0].text,
            "Die Komponente Tarvesk XMLHandler konnte nicht geladen werden. Ev. ist diese "
            "Software nicht korrekt installiert!");
  EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Critical);

  EXPECT_EQ(CreateFileManager(), nullptr);  // nothing registers a picker here
  EXPECT_EQ(messages.shown[1].text,
            "Die Komponente Tarvesk FileManager konnte nicht geladen werden. Ev. ist diese "
            "Software nicht korrekt installiert!");
}

TEST_F(MissingComponent, AFailingMakerCountsAsMissing) {
  Registry().Register<IFileSystem>(kFileSystemProgId, []() -> std::unique_ptr<IFileSystem> {
    throw std::runtime_error("kaputt");
  });
  EXPECT_EQ(CreateFileSystem(), nullptr);
  EXPECT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(CreateXMLParser(), nullptr);
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(MissingComponent, FailsAtTheFirstCallWithObjectNotSet) {
  Registry().Unregister(kXmlParserProgId);
  const auto parser = CreateXMLParser();
  EXPECT_EQ(test::ErrorNumberOf([&] { Use(parser).GetTagName("<A>b</A>"); }), kObjectNotSet);
}

}  // namespace
}  // namespace tarvesk
