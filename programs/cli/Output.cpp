#include "programs/cli/Output.h"

#include <charconv>
#include <cstdint>
#include <regex>

#include "automation/Conversions.h"

namespace tarvesk::cli {
namespace {

// Length of the UTF-8 sequence at text[i] and its code point; 0 when it is not UTF-8
// (overlong forms, surrogates and code points past U+10FFFF count as not UTF-8).
size_t Decode(std::string_view text, size_t i, char32_t& code) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  size_t length;
  char32_t min;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool ActsOnTerminal(char32_t code) {
  return code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F) ||
         (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

std::string Hex(uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(digits, '0');
  for (int k = digits - 1; k >= 0; --k, value >>= 4) out[k] = kDigits[value & 0xF];
  return out;
}

// Number of characters, for the width of a prefix.
size_t Width(std::string_view text) {
  size_t width = 0;
  for (char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return width;
}

}  // namespace

bool IsUtf8(std::string_view text) {
  char32_t code;
  for (size_t i = 0; i < text.size();) {
    const size_t length = Decode(text, i, code);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string Escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char32_t code;
  for (size_t i = 0; i < text.size();) {
    // A run of printable ASCII, the bulk of any text, is copied as it stands.
    size_t run = i;
    while (run < text.size() && text[run] >= 0x20 && text[run] < 0x7F) ++run;
    out.append(text.substr(i, run - i));
    if ((i = run) == text.size()) break;
    const size_t length = Decode(text, i, code);
    if (length == 0) {
      out += "\\x" + Hex(static_cast<unsigned char>(text[i]), 2);
      ++i;
      continue;
    }
    if (code == '\t') {
      out += '\t';
    } else if (ActsOnTerminal(code)) {
      out += code < 0x80 ? "\\x" + Hex(code, 2) : "\\u" + Hex(code, 4);
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

// Writes a line escaped in pieces cut between characters: a huge value is not copied whole.
void WriteEscaped(std::ostream& out, std::string_view line) {
  constexpr size_t kPiece = 64 * 1024;
  while (line.size() > kPiece) {
    size_t cut = kPiece;
    while (cut > kPiece - 4 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out << Escaped(line.substr(0, cut));
    line.remove_prefix(cut);
  }
  out << Escaped(line);
}

void WriteValue(std::ostream& out, std::string_view prefix, std::string_view value) {
  const std::string indent(Width(prefix), ' ');
  out << Escaped(prefix);
  size_t start = 0;
  for (size_t i = 0; i <= value.size(); ++i) {
    if (i < value.size() && value[i] != '\r' && value[i] != '\n') continue;
    WriteEscaped(out, value.substr(start, i - start));
    out << '\n';
    if (i == value.size()) break;
    if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
    start = i + 1;
    out << indent;
  }
}

nlohmann::json JsonText(std::string_view text) {
  if (IsUtf8(text)) return std::string(text);
  std::string out;
  char32_t code;
  for (size_t i = 0; i < text.size();) {
    const size_t length = Decode(text, i, code);
    out += length ? std::string(text.substr(i, length)) : "\xEF\xBF\xBD";
    i += length ? length : 1;
  }
  return out;
}

void PutText(nlohmann::json& object, const std::string& key, std::string_view text) {
  object[key] = JsonText(text);
  if (!IsUtf8(text)) {
    std::string bytes;
    for (unsigned char c : text) bytes += Hex(c, 2);
    object[key + "Bytes"] = bytes;
  }
}

void PutValue(nlohmann::json& object, const std::string& key, std::string_view text) {
  static const std::regex kNumber(R"(-?(0|[1-9][0-9]{0,17})(\.[0-9]*[1-9])?)");
  const std::string value(text);
  if (std::regex_match(value, kNumber)) {
    const nlohmann::json number = value.find('.') == std::string::npos
                                      ? nlohmann::json(std::stoll(value))
                                      : nlohmann::json(std::stod(value));
    if (number.dump() == value) {  // "-0" or "0.10000000000000000001" stay text
      object[key] = number;
      return;
    }
  }
  PutText(object, key, text);
}

std::optional<std::string> IsoDate(std::string_view text) {
  static const std::regex kDate(
      R"([0-9]{1,2}\.[0-9]{1,2}\.[0-9]{4}( [0-9]{1,2}:[0-9]{2}(:[0-9]{2})?)?)");
  const std::string value(text);
  std::smatch match;
  if (!std::regex_match(value, match, kDate)) return std::nullopt;
  const auto date = ParseDate(value);
  if (!date) return std::nullopt;
  const CivilDateTime t = SplitDate(*date);
  char buffer[32];
  if (match[1].matched) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.year, t.month, t.day);
  }
  return std::string(buffer);
}

void PutDate(nlohmann::json& object, const std::string& key, std::string_view text) {
  PutText(object, key, text);
  if (const auto iso = IsoDate(text)) object[key + "Iso"] = *iso;
}

}  // namespace tarvesk::cli
