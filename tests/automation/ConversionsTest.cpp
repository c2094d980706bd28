#include <gtest/gtest.h>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

using test::ErrorNumberOf;

// The number before the first non-number, blanks inside skipped, halves rounded to the even
// neighbour; outside 32 bits an overflow.
TEST(LeadingNumberReading, TakesTheNumberBeforeTheFirstNonNumber) {
  const std::pair<const char*, int32_t> cases[] = {
      {"12: UPDATE", 12}, {"  42abc", 42}, {"1 2 3", 123}, {"-17", -17}, {"abc", 0},
      {"1e3x", 1000},     {"7e", 7},       {"2.5", 2},     {"3.5", 4},   {"2.51", 3}};
  for (const auto& [text, number] : cases) EXPECT_EQ(LeadingNumber(text), number) << text;
  for (const char* text : {"2147483648", "1e999"}) {
    EXPECT_EQ(ErrorNumberOf([&] { LeadingNumber(text); }), kOverflow) << text;
  }
  EXPECT_EQ(LeadingNumber("-2147483648"), INT32_MIN);
  EXPECT_DOUBLE_EQ(Val("3,75"), 3);  // the decimal point is "." whatever the locale
}

TEST(TextForm, WritesValuesAsAGermanSystemDoes) {
  const std::pair<Variant, const char*> cases[] = {
      {Variant(), ""},       {Variant(true), "Wahr"},  {Variant(false), "Falsch"},
      {Variant(3.5), "3,5"}, {Variant(1e20), "1E+20"}, {Variant(0.00001), "1E-05"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(CStr(value), text);
  EXPECT_EQ(CStr(Variant(1.0 / 3)), "0,333333333333333");
  EXPECT_EQ(CStr(Variant(int64_t{9007199254740993})), "9007199254740993");
  EXPECT_EQ(ErrorNumberOf([] { CStr(Variant::Null()); }), kInvalidUseOfNull);
}

// German and ISO forms are read, anything else is no date; serials count days from
// 30.12.1899, and formatting gives back the same moment.
TEST(DateText, ReadsGermanAndIsoFormsAndFormatsBackTheSameMoment) {
  const DateValue moment = *MakeDate(2026, 12, 6, 11, 36, 43);
  for (const char* text : {"6.12.2026 11:36:43", "2026-12-06 11:36:43", "2026-12-06T11:36:43"}) {
    EXPECT_EQ(CDate(text), moment) << text;
  }
  EXPECT_EQ(CDate(" 6.12.26 "), *MakeDate(2026, 12, 6));
  EXPECT_EQ(CDate("6.12.2026 11:36"), *MakeDate(2026, 12, 6, 11, 36));
  for (const char* text : {"heute", "31.02.2026", "2026-13-01", "06.12.2026 24:00",
                           "06.12.2026 11:60", "06.12.2026 x", "12/06/2026", "6.12."}) {
    EXPECT_FALSE(ParseDate(text).has_value()) << text;
  }
  EXPECT_EQ(ErrorNumberOf([] { CDate(""); }), kTypeMismatch);
  EXPECT_DOUBLE_EQ(MakeDate(1900, 1, 1, 12)->serial, 2.5);
  // Before the epoch the time still counts forward from midnight: -1.25 is 29.12.1899 06:00.
  EXPECT_DOUBLE_EQ(MakeDate(1899, 12, 29, 6)->serial, -1.25);
  EXPECT_EQ(FormatDate(DateValue{-1.25}), "29.12.1899 06:00:00");
  for (const char* text : {"06.12.2026 11:36:43", "29.02.2024", "31.12.9999 23:59:59",
                           "01.01.1899 00:00:01", "12:00:00"}) {
    EXPECT_EQ(FormatDate(CDate(text)), text);
  }
}

}  // namespace
}  // namespace tarvesk
