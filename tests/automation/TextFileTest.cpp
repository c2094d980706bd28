#include <gtest/gtest.h>

#include <filesystem>

#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/TextFile.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

using test::TempFolder;

std::vector<std::string> Lines(const LineList& list) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < list.Count(); ++i) lines.emplace_back(list.Line(i));
  return lines;
}

TEST(AnsiDecoding, MapsWindows1252ToUnicode) {
  EXPECT_EQ(AnsiToUtf8("K\xF6ln \x80 \x84Zitat\x93 \xDF"), "Köln € „Zitat“ ß");
  // Bytes without a character keep their number, so nothing is lost.
  EXPECT_EQ(AnsiToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(AnsiToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
  for (int b = 0; b < 256; ++b) {
    const std::string utf8 = AnsiToUtf8(std::string(1, static_cast<char>(b)));
    size_t pos = 0;
    EXPECT_EQ(AnsiByteOf(NextCodePoint(utf8, pos)), b);
  }
  EXPECT_FALSE(AnsiByteOf(U'\u4E2D').has_value());
}

TEST(Utf16Conversion, RoundTripsAndReplacesWhatIsMalformed) {
  const struct {
    std::string utf8;
    std::u16string utf16;
    std::string back;  // the UTF-8 the UTF-16 gives again
  } cases[] = {
      {"K\xC3\xB6ln \xE2\x82\xAC", u"K\u00F6ln \u20AC", "K\xC3\xB6ln \xE2\x82\xAC"},
      {"\xF0\x9F\x98\x80", u"\U0001F600", "\xF0\x9F\x98\x80"},  // a surrogate pair
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
      {"a\xE9z", u"a\uFFFDz", "a\xEF\xBF\xBDz"},  // a stray byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.back) << c.utf8;
  }
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800}) + u"x"), "\xEF\xBF\xBDx");
}

TEST(LineSplitting, EndsLinesAtCrAndCrLfOnlyAndCountsCharacters) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c\nd"}));
  EXPECT_EQ(SplitLines("a\r\n"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(SplitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(SplitLines("\r\r\n"), (std::vector<std::string>{"", ""}));
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(Lines(LineList::FromText("a\r\nb\rc\nd")), SplitLines("a\r\nb\rc\nd"));
  // Positions count characters, not bytes.
  EXPECT_EQ(CharCount("Köln"), 4u);
  EXPECT_EQ(CharSubstr("Müller", 1, 3), "üll");
  EXPECT_EQ(TrimBlanks("  \tx y \t "), "\tx y \t");
  EXPECT_EQ(TrimBlanks("   "), "");
}

TEST(WholeFileReading, SplitsAndDecodesLikeTheTextSplitter) {
  TempFolder folder;
  // Breaks and umlauts straddle the 1 MiB read chunks.
  std::string bytes;
  for (int i = 0; bytes.size() < (3u << 20); ++i) {
    bytes += "Zeile " + std::to_string(i) + " \xE4\xF6\xFC";
    bytes += i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\r" : "\n";
  }
  for (size_t cut : {(1u << 20) - 1, (2u << 20) - 2}) bytes.replace(cut, 2, "\r\n");
  bytes += "letzte";
  folder.WriteBytes("big.txt", bytes);
  const LineList list = LineList::ReadFile(folder / "big.txt");
  EXPECT_EQ(Lines(list), SplitLines(AnsiToUtf8(bytes)));
}

TEST(WholeFileReading, RemovesLinesFromBothEnds) {
  LineList list = LineList::FromText("1\r2\r3\r4");
  list.RemoveFirst(1);
  list.RemoveLast();
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"2", "3"}));
  list.RemoveFirst(5);
  list.RemoveLast();
  EXPECT_EQ(list.Count(), 0u);
}

TEST(FirstLinesReading, ReadsLineByLineAcrossTheBuffer) {
  TempFolder folder;
  const std::string longLine(200000, 'x');
  folder.WriteBytes("f.txt", "eins\r\n" + longLine + "\r\n\r\nvier\nmit LF");
  LineReader reader(folder / "f.txt");
  std::string line;
  std::vector<std::string> lines;
  while (reader.ReadLine(line)) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"eins", longLine, "", "vier\nmit LF"}));
  EXPECT_THROW(reader.ReadLineOrFail(), Error);
}

// Opening names the cause; a read-only file is not deleted.
TEST(FileErrors, NameTheCause) {
  TempFolder folder;
  const auto openError = [](const std::string& path) {
    return test::ErrorNumberOf([&] { LineReader reader(path); });
  };
  EXPECT_EQ(openError(folder / "fehlt.xml"), kFileNotFound);
  EXPECT_EQ(openError(folder / "fehlt/x.xml"), kPathNotFound);
  EXPECT_EQ(openError(folder.Path()), kPathFileAccessError);
  EXPECT_EQ(openError(""), kBadFileName);
  folder.WriteBytes("a.xml", "x");
  std::filesystem::permissions(folder / "a.xml", std::filesystem::perms::owner_read);
  EXPECT_EQ(test::ErrorNumberOf([&] { DeleteFileOrFail(folder / "a.xml"); }), kPermissionDenied);
  EXPECT_TRUE(std::filesystem::exists(folder / "a.xml"));
  std::filesystem::permissions(folder / "a.xml", std::filesystem::perms::owner_all);
  DeleteFileOrFail(folder / "a.xml");
  EXPECT_FALSE(std::filesystem::exists(folder / "a.xml"));
}

}  // namespace
}  // namespace tarvesk
