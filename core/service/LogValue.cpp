#include "service/LogValue.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace tarvesk {
namespace {

constexpr char kMark = '\0';
// The store of names and values reads this value as empty, so it never stands plain.
constexpr std::string_view kEmptyPlaceholder = "!###!";

// Strict UTF-8: what survives the way through UTF-16 (COM) and back unchanged.
bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    const int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC2 ? 1 : -1;
    if (extra < 0 || b0 > 0xF4 || i + extra >= text.size()) return false;
    char32_t cp = b0 & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

std::optional<std::string> Unhex(std::string_view hex) {
  if (hex.size() % 2) return std::nullopt;
  std::string out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    const auto r = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
    if (r.ec != std::errc() || r.ptr != hex.data() + i + 2) return std::nullopt;
    out += static_cast<char>(value);
  }
  return out;
}

std::optional<int64_t> WholeNumber(std::string_view text) {
  int64_t value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> RealNumber(std::string_view text, bool finiteOnly) {
  double value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
  if (finiteOnly && !std::isfinite(value)) return std::nullopt;
  return value;
}

// A plain number: digits with an optional sign, decimal point or decimal comma and
// exponent; no blanks, no "inf", no hex.
std::optional<LogValue> PlainNumber(std::string_view text, char affinity) {
  if (affinity != 'R') {
    if (const auto whole = WholeNumber(text)) return LogValue::Integer(*whole);
  }
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.back())) &&
                        (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-' ||
                         text[0] == '.' || text[0] == ','))) {
    return std::nullopt;
  }
  std::string number(text);
  if (std::count(number.begin(), number.end(), ',') == 1 && number.find('.') == std::string::npos) {
    number[number.find(',')] = '.';
  }
  if (const auto real = RealNumber(number, true)) return LogValue::Real(*real);
  return std::nullopt;
}

std::string FormatReal(double value) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

// The marked form: NUL, a letter, the value.
std::optional<LogValue> ReadMarked(std::string_view text) {
  if (text.size() < 2 || text[0] != kMark) return std::nullopt;
  const std::string_view rest = text.substr(2);
  switch (text[1]) {
    case 'T':
      return LogValue::Text(std::string(rest));
    case 'X':
      if (auto bytes = Unhex(rest)) return LogValue::Text(std::move(*bytes));
      return std::nullopt;
    case 'B':
      if (auto bytes = Unhex(rest)) return LogValue::Blob(std::move(*bytes));
      return std::nullopt;
    case 'I':
      if (const auto whole = WholeNumber(rest)) return LogValue::Integer(*whole);
      return std::nullopt;
    case 'R':
      if (const auto real = RealNumber(rest, false); real && !std::isnan(*real)) {
        return LogValue::Real(*real);
      }
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::string Marked(const LogValue& value) {
  switch (value.kind) {
    case LogValue::Kind::Integer:
      return std::string{kMark, 'I'} + std::to_string(value.integer);
    case LogValue::Kind::Real:
      return std::string{kMark, 'R'} + FormatReal(value.real);
    case LogValue::Kind::Text:
      if (IsValidUtf8(value.bytes)) return std::string{kMark, 'T'} + value.bytes;
      return std::string{kMark, 'X'} + Hex(value.bytes);
    case LogValue::Kind::Blob:
      return std::string{kMark, 'B'} + Hex(value.bytes);
    case LogValue::Kind::Null:
      break;
  }
  return "";
}

}  // namespace

char AffinityOfType(std::string_view declaredType) {
  std::string type(declaredType);
  for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto has = [&](const char* part) { return type.find(part) != std::string::npos; };
  if (has("INT")) return 'I';
  if (has("CHAR") || has("CLOB") || has("TEXT")) return 'T';
  if (type.empty() || has("BLOB")) return 'B';
  if (has("REAL") || has("FLOA") || has("DOUB")) return 'R';
  return 'N';
}

std::optional<LogValue> ReadLogValue(std::string_view text, char affinity) {
  if (text.empty()) return LogValue::Null();
  if (auto marked = ReadMarked(text)) return marked;
  if (affinity == 'I' || affinity == 'R' || affinity == 'N') {
    if (auto number = PlainNumber(text, affinity)) return number;
    if (affinity != 'N') return std::nullopt;
  }
  return LogValue::Text(std::string(text));
}

std::string WriteLogValue(const LogValue& value, char affinity) {
  std::string plain;
  switch (value.kind) {
    case LogValue::Kind::Null:
      return "";
    case LogValue::Kind::Integer:
      plain = std::to_string(value.integer);
      break;
    case LogValue::Kind::Real:
      plain = FormatReal(value.real);
      break;
    case LogValue::Kind::Text:
      plain = value.bytes;
      break;
    case LogValue::Kind::Blob:
      return Marked(value);
  }
  const bool carriable = !plain.empty() && plain != kEmptyPlaceholder &&
                         plain.find(kMark) == std::string::npos && IsValidUtf8(plain);
  if (carriable && ReadLogValue(plain, affinity) == value) return plain;
  return Marked(value);
}

std::string LogValueAsRead(std::string_view text) {
  const auto marked = ReadMarked(text);
  if (!marked) return std::string(text);
  switch (marked->kind) {
    case LogValue::Kind::Integer:
      return std::to_string(marked->integer);
    case LogValue::Kind::Real:
      return FormatReal(marked->real);
    default:
      return marked->bytes;
  }
}

std::string ShowLogValue(std::string_view text) {
  const auto marked = ReadMarked(text);
  if (!marked) return std::string(text);
  switch (marked->kind) {
    case LogValue::Kind::Blob:
      return "X'" + Hex(marked->bytes) + "'";
    case LogValue::Kind::Integer:
      return std::to_string(marked->integer);
    case LogValue::Kind::Real:
      return FormatReal(marked->real);
    case LogValue::Kind::Text: {
      if (!IsValidUtf8(marked->bytes)) return "X'" + Hex(marked->bytes) + "'";
      // A message box ends its text at a NUL; the user sees the sign for it instead.
      std::string shown;
      for (char c : marked->bytes) shown += c == kMark ? std::string("\u2400") : std::string(1, c);
      return shown;
    }
    case LogValue::Kind::Null:
      break;
  }
  return "";
}

}  // namespace tarvesk
