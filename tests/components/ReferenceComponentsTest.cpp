#include <gtest/gtest.h>

#include "automation/Error.h"
#include "components/filesystem/FileSystem.h"
#include "components/xmlparser/XMLParser.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// References are decoded in values only; what is no reference stays as written.
TEST(TagParser, NamesTheFirstTagAndDecodesItsValue) {
  XMLParser parser;
  EXPECT_EQ(parser.GetTagValue("<B>a &lt;b&gt; &amp; &quot;c&quot; &apos;d&apos;</B>", "B"),
            "a <b> & \"c\" 'd'");
  EXPECT_EQ(parser.GetTagValue("<B>Zeile 1&#13;&#10;Zeile 2 &#x4E2D; &#61; &#0;I7</B>", "B"),
            std::string("Zeile 1\r\nZeile 2 中 = \0I7", 26));
  EXPECT_EQ(parser.GetTagValue("<B>A&B &#xD800; &unbekannt; &#12</B>", "B"),
            "A&B &#xD800; &unbekannt; &#12");
  const Pairs names = {{"<ACTION Info=\"UPDATE\">", "ACTION"},
                       {"</ACTION>", "ACTION"},
                       {"  <E>x</E>", "E"},
                       {"<LEER/>", "LEER"},
                       {"freier Text", ""},
                       {"<", ""}};
  for (const auto& [line, name] : names) EXPECT_EQ(parser.GetTagName(line), name) << line;
  // A missing, unclosed or other tag has no value; the first one of the name counts.
  const Pairs noValue = {
      {"<A>x</A>", "Q"}, {"<A>x", "A"}, {"<AB>x</AB>", "A"}, {"<A/>", "A"}, {"<A>x</A>", ""}};
  for (const auto& [line, tag] : noValue) EXPECT_EQ(parser.GetTagValue(line, tag), "") << line;
  EXPECT_EQ(parser.GetTagValue("<X>1</X><A k=\"v\">2</A>", "A"), "2");
  std::string tag, attribute, text;
  parser.ParseRubriqueTag("<ACTION Info=\"DELETE_inDB RECORDID=3\">", tag, attribute, text);
  EXPECT_EQ(tag + "|" + attribute + "|" + text, "ACTION|Info|DELETE_inDB RECORDID=3");
  parser.ParseRubriqueTag("<ACTION Info=NEWRECORD>", tag, attribute, text);
  EXPECT_EQ(text, "NEWRECORD");
  for (const char* line : {"</ACTION>", "<ACTION Info=\""}) {
    parser.ParseRubriqueTag(line, tag, attribute, text);
    EXPECT_EQ(text, "") << line;
  }
}

// Regular files whose names match, in any case, sorted by name; a missing folder is 76.
TEST(FileListing, ListsMatchingRegularFilesSortedByName) {
  test::TempFolder folder;
  for (const char* name : {"b.xml", "A.XML", "c.xml.bak", "Ä.xml", "a.txt", "C.Xml", ".xml"}) {
    folder.WriteBytes(name, "x");
  }
  std::filesystem::create_directory(folder / "ordner.xml");
  FileSystem fileSystem;
  const std::vector<std::string> expected = {".xml", "A.XML", "b.xml", "C.Xml", "Ä.xml"};
  EXPECT_EQ(fileSystem.GetFilesInFolder(folder.Path(), "*.xml"), expected);
  EXPECT_EQ(fileSystem.GetFilesInFolder(folder.Path(), "?.txt"), std::vector<std::string>{"a.txt"});
  EXPECT_TRUE(MatchesPattern("abc", "a*c*"));
  for (const std::string missing : {"/gibt/es/nicht", ""}) {
    EXPECT_EQ(test::ErrorNumberOf([&] { fileSystem.GetFilesInFolder(missing, "*.xml"); }),
              kPathNotFound);
  }
}

}  // namespace
}  // namespace tarvesk
