#include <gtest/gtest.h>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

using test::ErrorNumberOf;

TEST(LeadingNumberReading, TakesTheNumberBeforeTheFirstNonNumber) {
  EXPECT_EQ(LeadingNumber("12: UPDATE RECORDID=7"), 12);
  EXPECT_EQ(LeadingNumber("  42abc"), 42);
  EXPECT_EQ(LeadingNumber("1 2 3"), 123);  // blanks inside are skipped
  EXPECT_EQ(LeadingNumber("-17"), -17);
  EXPECT_EQ(LeadingNumber("abc"), 0);
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingNumber("1e3x"), 1000);
  EXPECT_EQ(LeadingNumber("7e"), 7);
  EXPECT_DOUBLE_EQ(Val("3.75 kg"), 3.75);
  EXPECT_DOUBLE_EQ(Val("3,75"), 3);  // the decimal point is "." whatever the locale
}

TEST(LeadingNumberReading, RoundsHalvesToTheEvenNeighbour) {
  EXPECT_EQ(LeadingNumber("2.5"), 2);
  EXPECT_EQ(LeadingNumber("3.5"), 4);
  EXPECT_EQ(LeadingNumber("-2.5"), -2);
  EXPECT_EQ(LeadingNumber("2.51"), 3);
}

TEST(LeadingNumberReading, OverflowsOutsideThirtyTwoBits) {
  EXPECT_EQ(LeadingNumber("2147483647"), 2147483647);
  EXPECT_EQ(LeadingNumber("-2147483648"), INT32_MIN);
  EXPECT_EQ(ErrorNumberOf([] { LeadingNumber("2147483648"); }), kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { LeadingNumber("99999999999999999999"); }), kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { LeadingNumber("1e999"); }), kOverflow);
}

TEST(TextForm, WritesValuesAsAGermanSystemDoes) {
  EXPECT_EQ(CStr(Variant()), "");
  EXPECT_EQ(CStr(Variant(true)), "Wahr");
  EXPECT_EQ(CStr(Variant(false)), "Falsch");
  EXPECT_EQ(CStr(Variant(int32_t{-5})), "-5");
  EXPECT_EQ(CStr(Variant(int64_t{9007199254740993})), "9007199254740993");
  EXPECT_EQ(CStr(Variant(3.5)), "3,5");
  EXPECT_EQ(CStr(Variant(0.1)), "0,1");
  EXPECT_EQ(CStr(Variant(1e20)), "1E+20");
  EXPECT_EQ(CStr(Variant(0.00001)), "1E-05");
  EXPECT_EQ(CStr(Variant(1.0 / 3)), "0,333333333333333");
  EXPECT_EQ(CStr(Variant("Köln")), "Köln");
  EXPECT_EQ(ErrorNumberOf([] { CStr(Variant::Null()); }), kInvalidUseOfNull);
}

TEST(DateText, ReadsGermanAndIsoForms) {
  const DateValue expected = *MakeDate(2026, 12, 6, 11, 36, 43);
  EXPECT_EQ(CDate("06.12.2026 11:36:43"), expected);
  EXPECT_EQ(CDate("6.12.2026 11:36:43"), expected);
  EXPECT_EQ(CDate("2026-12-06 11:36:43"), expected);
  EXPECT_EQ(CDate("2026-12-06T11:36:43"), expected);
  EXPECT_EQ(CDate(" 6.12.2026 "), *MakeDate(2026, 12, 6));
  EXPECT_EQ(CDate("6.12.2026 11:36"), *MakeDate(2026, 12, 6, 11, 36));
  EXPECT_EQ(CDate("6.12.26"), *MakeDate(2026, 12, 6));
  EXPECT_EQ(CDate("1.1.1899"), *MakeDate(1899, 1, 1));
}

TEST(DateText, RejectsWhatIsNoDate) {
  for (const char* text : {"", "heute", "31.02.2026", "2026-13-01", "06.12.2026 24:00",
                           "06.12.2026 11:60", "06.12.2026 x", "12/06/2026", "6.12."}) {
    EXPECT_FALSE(ParseDate(text).has_value()) << text;
  }
  EXPECT_EQ(ErrorNumberOf([] { CDate("kein Datum"); }), kTypeMismatch);
}

TEST(DateText, SerialsCountDaysFromTheEpoch) {
  EXPECT_DOUBLE_EQ(MakeDate(1899, 12, 30)->serial, 0);
  EXPECT_DOUBLE_EQ(MakeDate(1900, 1, 1, 12)->serial, 2.5);
  EXPECT_DOUBLE_EQ(MakeDate(2026, 12, 6)->serial, 46362);
  // Before the epoch the time still counts forward from midnight: -1.25 is 29.12.1899 06:00.
  EXPECT_DOUBLE_EQ(MakeDate(1899, 12, 29, 6)->serial, -1.25);
  EXPECT_EQ(FormatDate(DateValue{-1.25}), "29.12.1899 06:00:00");
}

TEST(DateText, FormatsAndReadsBackTheSameMoment) {
  for (const char* text :
       {"06.12.2026 11:36:43", "29.02.2024", "31.12.9999 23:59:59", "01.01.1900 00:00:01"}) {
    EXPECT_EQ(FormatDate(CDate(text)), text);
  }
  EXPECT_EQ(FormatDate(DateValue{0}), "00:00:00");
  EXPECT_EQ(FormatDate(DateValue{0.5}), "12:00:00");
}

TEST(ErrorTexts, AreTheGermanStandardTexts) {
  EXPECT_EQ(Error(kFileNotFound).Description(), "Datei nicht gefunden");
  EXPECT_EQ(Error(kInputPastEndOfFile).Description(), "Einlesen hinter Dateiende");
  EXPECT_EQ(Error(kObjectNotSet).Description(),
            "Objektvariable oder With-Blockvariable nicht festgelegt");
  EXPECT_EQ(Error(kSubscriptOutOfRange).Source(), "TarveskLogManager");
  EXPECT_EQ(Error(kOverflow, "eigener Text", "Quelle").Description(), "eigener Text");
  EXPECT_EQ(DescribeError(Error(kPathNotFound)), "Laufzeitfehler 76: Pfad nicht gefunden");
}

}  // namespace
}  // namespace tarvesk
