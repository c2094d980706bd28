#include "automation/Conversions.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "automation/Error.h"
#include "automation/System.h"

namespace tarvesk {
namespace {

bool IsValBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// A small cursor over the text for the date grammar.
struct Cursor {
  std::string_view s;
  size_t i = 0;
  void SkipBlanks() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  }
  bool Done() const { return i == s.size(); }
  bool Eat(char c) {
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  // 1 to maxDigits digits; the count read goes to digits.
  bool Number(int maxDigits, int& value, int* digits = nullptr) {
    int n = 0;
    value = 0;
    while (i < s.size() && IsDigit(s[i]) && n < maxDigits) {
      value = value * 10 + (s[i] - '0');
      ++i;
      ++n;
    }
    if (digits) *digits = n;
    return n > 0 && (i == s.size() || !IsDigit(s[i]));
  }
};

bool ParseTime(Cursor& c, int& h, int& m, int& s) {
  s = 0;
  if (!c.Number(2, h) || !c.Eat(':') || !c.Number(2, m)) return false;
  if (c.Eat(':') && !c.Number(2, s)) return false;
  return h < 24 && m < 60 && s < 60;
}

std::optional<DateValue> ParsePortableDate(std::string_view text) {
  Cursor c{text};
  c.SkipBlanks();
  int a = 0, b = 0, y = 0, h = 0, mi = 0, s = 0, digits = 0;
  const size_t start = c.i;
  if (!c.Number(4, a, &digits)) return std::nullopt;
  bool hasDate = true;
  int year = 0, month = 0, day = 0;
  if (digits == 4 && c.Eat('-')) {  // ISO yyyy-mm-dd
    if (!c.Number(2, b) || !c.Eat('-') || !c.Number(2, y)) return std::nullopt;
    year = a, month = b, day = y;
  } else if (digits <= 2 && c.Eat('.')) {  // German d.m.yyyy
    int yearDigits = 0;
    if (!c.Number(2, b) || !c.Eat('.') || !c.Number(4, y, &yearDigits)) return std::nullopt;
    if (yearDigits == 2)
      y += y < 30 ? 2000 : 1900;
    else if (yearDigits != 4)
      return std::nullopt;
    year = y, month = b, day = a;
  } else {  // a time of day alone
    c.i = start;
    hasDate = false;
  }
  bool hasTime = false;
  if (hasDate) {
    const size_t beforeSeparator = c.i;
    if (c.Eat('T') || (c.i < text.size() && (text[c.i] == ' ' || text[c.i] == '\t'))) {
      c.SkipBlanks();
      if (!c.Done())
        hasTime = true;
      else
        c.i = beforeSeparator;
    }
  } else {
    hasTime = true;
  }
  if (hasTime && !ParseTime(c, h, mi, s)) return std::nullopt;
  c.SkipBlanks();
  if (!c.Done()) return std::nullopt;
  if (!hasDate) return DateValue{(h * 3600 + mi * 60 + s) / 86400.0};
  return MakeDate(year, month, day, h, mi, s);
}

}  // namespace

double Val(std::string_view text) {
  std::string clean;
  size_t i = 0;
  auto next = [&]() -> int {
    while (i < text.size() && IsValBlank(text[i])) ++i;
    return i < text.size() ? static_cast<unsigned char>(text[i]) : -1;
  };
  int c = next();
  if (c == '+' || c == '-') {
    clean += static_cast<char>(c);
    ++i;
    c = next();
  }
  bool mantissaDigits = false;
  while (IsDigit(static_cast<char>(c))) {
    clean += static_cast<char>(c), ++i, mantissaDigits = true;
    c = next();
  }
  if (c == '.') {
    clean += '.', ++i;
    c = next();
    while (IsDigit(static_cast<char>(c))) {
      clean += static_cast<char>(c), ++i, mantissaDigits = true;
      c = next();
    }
  }
  if (!mantissaDigits) return 0;
  if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
    std::string exponent = "e";
    ++i;
    c = next();
    if (c == '+' || c == '-') {
      exponent += static_cast<char>(c), ++i;
      c = next();
    }
    bool expDigits = false;
    while (IsDigit(static_cast<char>(c))) {
      exponent += static_cast<char>(c), ++i, expDigits = true;
      c = next();
    }
    if (expDigits) clean += exponent;
  }
  const double value = std::strtod(clean.c_str(), nullptr);
  if (std::isinf(value)) throw Error(kOverflow);
  return value;
}

int32_t CLng(double value) {
  if (std::isnan(value)) throw Error(kOverflow);
  // The default floating-point rounding mode rounds halves to the even neighbour.
  const double rounded = std::nearbyint(value);
  if (rounded < -2147483648.0 || rounded > 2147483647.0) throw Error(kOverflow);
  return static_cast<int32_t>(rounded);
}

std::string FormatDouble(double value) {
  if (value == 0) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  std::string text = buffer;
  for (char& ch : text) {
    if (ch == '.') ch = ',';
  }
  return text;
}

std::optional<DateValue> MakeDate(int year, int month, int day, int hour, int minute, int second) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59) {
    return std::nullopt;
  }
  const double days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochDays);
  const double fraction = (hour * 3600 + minute * 60 + second) / 86400.0;
  // Before the epoch the time of day still counts forward from midnight.
  return DateValue{days < 0 ? days - fraction : days + fraction};
}

CivilDateTime SplitDate(DateValue date) {
  double days = std::trunc(date.serial);
  int64_t seconds = std::llround(std::fabs(date.serial - days) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    days += date.serial < 0 ? -1 : 1;
  }
  CivilDateTime t{};
  CivilFromDays(static_cast<int64_t>(days) + kEpochDays, t.year, t.month, t.day);
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

std::string FormatDate(DateValue date) {
  const CivilDateTime t = SplitDate(date);
  const bool hasDate = std::trunc(date.serial) != 0;
  const bool hasTime = t.hour || t.minute || t.second;
  char buffer[48];
  std::string text;
  if (hasDate) {
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d", t.day, t.month, t.year);
    text = buffer;
  }
  if (hasTime || !hasDate) {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    if (!text.empty()) text += ' ';
    text += buffer;
  }
  return text;
}

bool IsTrueAnswer(const Variant& answer) {
  switch (answer.GetType()) {
    case Variant::Type::Boolean:
      return answer.AsBool();
    case Variant::Type::Long:
      return answer.AsLong() != 0;
    case Variant::Type::LongLong:
      return answer.AsLongLong() != 0;
    case Variant::Type::Double:
      return answer.AsDouble() != 0;
    default:
      return false;
  }
}

std::string CStr(const Variant& value) {
  if (auto text = sys::LocaleText(value)) return *text;  // the locale's own, where there is one
  switch (value.GetType()) {
    case Variant::Type::Empty:
      return "";
    case Variant::Type::Null:
      throw Error(kInvalidUseOfNull);
    case Variant::Type::Boolean:
      return value.AsBool() ? "Wahr" : "Falsch";
    case Variant::Type::Long:
      return std::to_string(value.AsLong());
    case Variant::Type::LongLong:
      return std::to_string(value.AsLongLong());
    case Variant::Type::Double:
      return FormatDouble(value.AsDouble());
    case Variant::Type::Date:
      return FormatDate(value.AsDate());
    case Variant::Type::String:
      return value.AsString();
  }
  return "";
}

std::optional<DateValue> ParseDate(std::string_view text) {
  // The conversion of the user's locale, as CDate does it; the portable rules for what it
  // refuses.
  if (auto date = sys::LocaleDate(text)) return *date;
  return ParsePortableDate(text);
}

DateValue CDate(std::string_view text) {
  if (auto date = ParseDate(text)) return *date;
  throw Error(kTypeMismatch);
}

}  // namespace tarvesk
