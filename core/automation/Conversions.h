// VB-compatible conversions as a German system performs them:
// - Val: the leading number of a text (blanks skipped, "." as decimal point, 0 if none);
// - CLng: rounding to a 32-bit integer, halves to the even neighbour, error 6 on overflow;
// - CStr: a Variant as text. Portable rules: decimal comma, "Wahr"/"Falsch",
//   dd.mm.yyyy hh:mm:ss; on Windows the OLE Automation conversion of the user locale;
// - CDate: a text as date. Portable rules: German d.m.yyyy [h:mm[:ss]] and ISO
//   yyyy-mm-dd[ hh:mm[:ss]]; on Windows the OLE Automation conversion of the user locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "automation/Variant.h"

namespace tarvesk {

double Val(std::string_view text);
int32_t CLng(double value);
// CLng(Val(text)): how a position is read from the start of a list entry.
inline int32_t LeadingNumber(std::string_view text) { return CLng(Val(text)); }

std::string CStr(const Variant& value);  // Null raises error 94.
// A component's answer as a condition: True or a non-zero number; False, Null, Empty and
// text are not (how the undo and the command line read FindRecord, Save and the like).
bool IsTrueAnswer(const Variant& answer);
std::string FormatDouble(double value);  // "3,5", "1E+20"
std::string FormatDate(DateValue date);  // "06.12.2026 11:36:43", date or time alone if zero

// Serial of a civil date and time; nullopt for a day that does not exist.
std::optional<DateValue> MakeDate(int year, int month, int day, int hour = 0, int minute = 0,
                                  int second = 0);
struct CivilDateTime {
  int year, month, day, hour, minute, second;
};
CivilDateTime SplitDate(DateValue date);

// Text to date; nullopt when the text is not a date. CDate raises error 13 instead.
std::optional<DateValue> ParseDate(std::string_view text);
DateValue CDate(std::string_view text);

}  // namespace tarvesk
