// The automation layer: VB conversions and dates, text conversion, lines and files.
#include <gtest/gtest.h>

#include <filesystem>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/TextFile.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

using test::ErrorNumberOf;
using Lines = std::vector<std::string>;

// The number before the first non-number (blanks skipped, halves to even, 32 bits); German forms.
TEST(NumberConversion, ReadsTheLeadingNumberAndWritesValuesInGermanForm) {
  const std::pair<const char*, int32_t> readings[] = {
      {"12: UPDATE", 12}, {"  42abc", 42}, {"1 2 3", 123}, {"-17", -17}, {"abc", 0},
      {"1e3x", 1000},     {"7e", 7},       {"2.5", 2},     {"3.5", 4},   {"2.51", 3}};
  for (const auto& [text, number] : readings) EXPECT_EQ(LeadingNumber(text), number) << text;
  for (const char* text : {"2147483648", "1e999"}) {
    EXPECT_EQ(ErrorNumberOf([&] { LeadingNumber(text); }), kOverflow) << text;
  }
  EXPECT_EQ(LeadingNumber("-2147483648"), INT32_MIN);
  EXPECT_DOUBLE_EQ(Val("3,75"), 3);  // the decimal point is "." whatever the locale
  const std::pair<Variant, const char*> forms[] = {
      {Variant(), ""},       {Variant(true), "Wahr"},  {Variant(false), "Falsch"},
      {Variant(3.5), "3,5"}, {Variant(1e20), "1E+20"}, {Variant(0.00001), "1E-05"}};
  for (const auto& [value, text] : forms) EXPECT_EQ(CStr(value), text);
  EXPECT_EQ(CStr(Variant(1.0 / 3)), "0,333333333333333");
  EXPECT_EQ(CStr(Variant(int64_t{9007199254740993})), "9007199254740993");
  EXPECT_EQ(ErrorNumberOf([] { CStr(Variant::Null()); }), kInvalidUseOfNull);
}

// German and ISO forms read, others are no date; serials from 30.12.1899; formatting round-trips.
TEST(DateText, ReadsGermanAndIsoFormsAndFormatsBackTheSameMoment) {
  const DateValue moment = *MakeDate(2026, 12, 6, 11, 36, 43);
  for (const char* text : {"6.12.2026 11:36:43", "2026-12-06 11:36:43", "2026-12-06T11:36:43"}) {
    EXPECT_EQ(CDate(text), moment) << text;
  }
  EXPECT_EQ(CDate(" 6.12.26 "), *MakeDate(2026, 12, 6));
  for (const char* text : {"heute", "31.02.2026", "2026-13-01", "06.12.2026 24:00",
                           "06.12.2026 11:60", "06.12.2026 x", "12/06/2026", "6.12."}) {
    EXPECT_FALSE(ParseDate(text).has_value()) << text;
  }
  EXPECT_EQ(ErrorNumberOf([] { CDate(""); }), kTypeMismatch);
  // Before the epoch the time still counts forward from midnight: -1.25 is 29.12.1899 06:00.
  EXPECT_DOUBLE_EQ(MakeDate(1899, 12, 29, 6)->serial, -1.25);
  EXPECT_EQ(FormatDate(DateValue{-1.25}), "29.12.1899 06:00:00");
  for (const char* text : {"06.12.2026 11:36:43", "29.02.2024", "31.12.9999 23:59:59",
                           "01.01.1899 00:00:01", "12:00:00"}) {
    EXPECT_EQ(FormatDate(CDate(text)), text);
  }
}

Lines Of(const LineList& list) {
  Lines lines;
  for (size_t i = 0; i < list.Count(); ++i) lines.emplace_back(list.Line(i));
  return lines;
}

// Windows-1252 to Unicode; bytes without a character keep their number, so nothing is lost.
TEST(TextConversion, DecodesWindows1252AndRoundTripsUtf16) {
  EXPECT_EQ(AnsiToUtf8("K\xF6ln \x80 \x84Zitat\x93 \xDF \x81"), "Köln € „Zitat“ ß \u0081");
  for (int b = 0; b < 256; ++b) {
    size_t pos = 0;
    EXPECT_EQ(AnsiByteOf(NextCodePoint(AnsiToUtf8(std::string(1, static_cast<char>(b))), pos)), b);
  }
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

// Lines end at CR and CR LF only, in texts and files (across chunks, past the buffer); errors
// named.
TEST(LineReading, EndsLinesAtCrAndCrLfOnlyInTextsAndFilesAndNamesTheCauseOfErrors) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd\r\n\r\n"), (Lines{"a", "b", "c\nd", ""}));
  EXPECT_EQ(SplitLines("\r\r\n"), (Lines{"", ""}));
  LineList list = LineList::FromText("1\r\n2\r3\n4\r5");
  EXPECT_EQ(Of(list), (Lines{"1", "2", "3\n4", "5"}));
  list.RemoveFirst(5);
  list.RemoveLast();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(CharCount("Köln"), 4u);
  EXPECT_EQ(CharSubstr("Müller", 1, 3), "üll");
  EXPECT_EQ(TrimBlanks("  \tx y \t "), "\tx y \t");
  test::TempFolder folder;
  std::string bytes;
  for (int i = 0; bytes.size() < (3u << 20); ++i) {
    bytes += "Zeile " + std::to_string(i) + " \xE4\xF6\xFC";
    bytes += i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\r" : "\n";
  }
  for (size_t cut : {(1u << 20) - 1, (2u << 20) - 2}) bytes.replace(cut, 2, "\r\n");
  bytes += "letzte";
  folder.WriteBytes("big.txt", bytes);
  EXPECT_EQ(Of(LineList::ReadFile(folder / "big.txt")), SplitLines(AnsiToUtf8(bytes)));

  const std::string longLine(200000, 'x');
  folder.WriteBytes("f.txt", "eins\r\n" + longLine + "\r\n\r\nvier\nmit LF");
  LineReader reader(folder / "f.txt");
  Lines lines;
  for (std::string line; reader.ReadLine(line);) lines.push_back(line);
  EXPECT_EQ(lines, (Lines{"eins", longLine, "", "vier\nmit LF"}));
  EXPECT_EQ(ErrorNumberOf([&] { reader.ReadLineOrFail(); }), kInputPastEndOfFile);
  EXPECT_EQ(ErrorNumberOf([&] { LineReader r(folder / "fehlt/x.xml"); }), kPathNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { LineReader r(folder.Path()); }), kPathFileAccessError);
  folder.WriteBytes("a.xml", "x");
  std::filesystem::permissions(folder / "a.xml", std::filesystem::perms::owner_read);
  EXPECT_EQ(ErrorNumberOf([&] { DeleteFileOrFail(folder / "a.xml"); }), kPermissionDenied);
}

}  // namespace
}  // namespace tarvesk
