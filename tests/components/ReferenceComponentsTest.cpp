#include <gtest/gtest.h>

#include <tuple>

#include "automation/Error.h"
#include "components/filesystem/FileSystem.h"
#include "components/xmlparser/XMLParser.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

class TagParser : public ::testing::Test {
 protected:
  XMLParser parser;
};

TEST_F(TagParser, DecodesReferencesInValuesOnly) {
  EXPECT_EQ(parser.GetTagValue("<B>a &lt;b&gt; &amp; &quot;c&quot; &apos;d&apos;</B>", "B"),
            "a <b> & \"c\" 'd'");
  EXPECT_EQ(parser.GetTagValue("<B>Zeile 1&#13;&#10;Zeile 2 &#x4E2D; &#61; &#0;I7</B>", "B"),
            std::string("Zeile 1\r\nZeile 2 中 = \0I7", 26));
  // What is no reference stays as written.
  EXPECT_EQ(parser.GetTagValue("<B>A&B &#xD800; &unbekannt; &#12</B>", "B"),
            "A&B &#xD800; &unbekannt; &#12");
}

TEST_F(TagParser, NamesTheFirstTagOfAnyLineAndAnswersEmptyForMissingOrUnclosedTags) {
  const std::pair<const char*, const char*> names[] = {
      {"<ACTION Info=\"UPDATE RECORDID=7\">", "ACTION"},
      {"</ACTION>", "ACTION"},
      {"  <ERRORINFO>x</ERRORINFO>", "ERRORINFO"},
      {"<LEER/>", "LEER"},
      {"freier Text", ""},
      {"", ""},
      {"<", ""}};
  for (const auto& [line, name] : names) EXPECT_EQ(parser.GetTagName(line), name) << line;
  const std::tuple<const char*, const char*, const char*> values[] = {
      {"<A>x</A>", "QueryString", ""},
      {"<A>x", "A", ""},
      {"<AB>x</AB>", "A", ""},
      {"<A/>", "A", ""},
      {"<A>x</A>", "", ""},
      {"<X>1</X><A k=\"v\">2</A>", "A", "2"}};
  for (const auto& [line, tag, value] : values) EXPECT_EQ(parser.GetTagValue(line, tag), value);
}

TEST_F(TagParser, TakesTheAttributeTextOfAnOpeningLine) {
  std::string tag, attribute, text;
  parser.ParseRubriqueTag("<ACTION Info=\"DELETE_inDB RECORDID=3\">", tag, attribute, text);
  EXPECT_EQ(tag, "ACTION");
  EXPECT_EQ(attribute, "Info");
  EXPECT_EQ(text, "DELETE_inDB RECORDID=3");
  parser.ParseRubriqueTag("<ACTION Info=NEWRECORD>", tag, attribute, text);
  EXPECT_EQ(text, "NEWRECORD");
  parser.ParseRubriqueTag("</ACTION>", tag, attribute, text);
  EXPECT_EQ(text, "");
  parser.ParseRubriqueTag("<ACTION Info=\"", tag, attribute, text);
  EXPECT_EQ(text, "");
}

TEST(FileListing, ListsMatchingRegularFilesSortedByName) {
  test::TempFolder folder;
  for (const char* name : {"b.xml", "A.XML", "c.xml.bak", "Ä.xml", "a.txt", "C.Xml"}) {
    folder.WriteBytes(name, "x");
  }
  std::filesystem::create_directory(folder / "ordner.xml");
  FileSystem fileSystem;
  const std::vector<std::string> expected = {"A.XML", "b.xml", "C.Xml", "Ä.xml"};
  EXPECT_EQ(fileSystem.GetFilesInFolder(folder.Path(), "*.xml"), expected);
  EXPECT_EQ(fileSystem.GetFilesInFolder(folder.Path() + "/", "*.xml"), expected);
  EXPECT_EQ(fileSystem.GetFilesInFolder(folder.Path(), "?.txt"), std::vector<std::string>{"a.txt"});
}

TEST(FileListing, MatchesWildcards) {
  EXPECT_TRUE(MatchesPattern("log.XML", "*.xml"));
  EXPECT_TRUE(MatchesPattern(".xml", "*.xml"));
  EXPECT_FALSE(MatchesPattern("log.xml.bak", "*.xml"));
  EXPECT_TRUE(MatchesPattern("a.b.xml", "*.xml"));
  EXPECT_TRUE(MatchesPattern("abc", "a*c*"));
  EXPECT_FALSE(MatchesPattern("ab", "a?c"));
}

TEST(FileListing, AMissingFolderIsPathNotFound) {
  for (const std::string folder : {"/gibt/es/nicht", ""}) {
    EXPECT_EQ(test::ErrorNumberOf([&] { FileSystem().GetFilesInFolder(folder, "*.xml"); }),
              kPathNotFound);
  }
}

}  // namespace
}  // namespace tarvesk
