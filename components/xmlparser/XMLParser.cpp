#include "components/xmlparser/XMLParser.h"

#include <optional>

#include "automation/Text.h"

namespace tarvesk {
namespace {

// The first c in text from `from` on. Lines are short: a plain loop beats a library call.
size_t FindChar(std::string_view text, char c, size_t from = 0) {
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] == c) return i;
  }
  return std::string_view::npos;
}

bool IsNameEnd(char c) {
  return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '=';
}

// The name of the first tag in the line and where it starts; npos when there is none.
std::string_view FirstTagName(std::string_view line) {
  const size_t open = FindChar(line, '<');
  if (open == std::string_view::npos) return {};
  size_t begin = open + 1;
  if (begin < line.size() && line[begin] == '/') ++begin;  // a closing tag names its element
  size_t end = begin;
  while (end < line.size() && !IsNameEnd(line[end])) ++end;
  return line.substr(begin, end - begin);
}

std::optional<char32_t> ParseReference(std::string_view ref) {
  if (ref == "lt") return U'<';
  if (ref == "gt") return U'>';
  if (ref == "amp") return U'&';
  if (ref == "quot") return U'"';
  if (ref == "apos") return U'\'';
  if (ref.size() < 2 || ref[0] != '#') return std::nullopt;
  const bool hex = ref[1] == 'x' || ref[1] == 'X';
  const std::string_view digits = ref.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  char32_t value = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return std::nullopt;
    value = value * (hex ? 16 : 10) + static_cast<char32_t>(d);
  }
  if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  return value;
}

}  // namespace

std::string DecodeXmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t amp = text.find('&', i);
    if (amp == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, amp - i));
    const size_t semi = text.find(';', amp + 1);
    std::optional<char32_t> decoded;
    if (semi != std::string_view::npos && semi - amp <= 10) {
      decoded = ParseReference(text.substr(amp + 1, semi - amp - 1));
    }
    if (decoded) {
      AppendUtf8(out, *decoded);
      i = semi + 1;
    } else {
      out += '&';
      i = amp + 1;
    }
  }
  return out;
}

std::string XMLParser::GetTagName(std::string_view line) { return std::string(FirstTagName(line)); }

namespace {

// The text enclosed by the tag tagName in the line, as written; "" when there is none.
std::string_view EnclosedText(std::string_view line, std::string_view tagName) {
  if (tagName.empty()) return {};
  // The opening tag: "<" name, then ">" or attributes.
  size_t from = 0;
  for (;;) {
    const size_t open = FindChar(line, '<', from);
    if (open == std::string_view::npos) return {};
    from = open + 1;
    if (line.compare(from, tagName.size(), tagName) != 0) continue;
    const size_t after = from + tagName.size();
    if (after >= line.size() ||
        !(line[after] == '>' || line[after] == ' ' || line[after] == '\t')) {
      continue;
    }
    const size_t close = FindChar(line, '>', after);
    if (close == std::string_view::npos || line[close - 1] == '/') return {};
    // The closing tag "</" name ">" after it; a value can be long, the library finds faster.
    for (size_t end = line.find('<', close + 1); end != std::string_view::npos;
         end = line.find('<', end + 1)) {
      if (end + 1 >= line.size() || line[end + 1] != '/') continue;
      if (line.compare(end + 2, tagName.size(), tagName) == 0 &&
          end + 2 + tagName.size() < line.size() && line[end + 2 + tagName.size()] == '>') {
        return line.substr(close + 1, end - close - 1);
      }
    }
    return {};
  }
}

}  // namespace

std::string XMLParser::GetTagValue(std::string_view line, std::string_view tagName) {
  return DecodeXmlText(EnclosedText(line, tagName));
}

bool XMLParser::TagValueInLine(std::string_view line, std::string_view tagName,
                               std::string_view& value) {
  value = EnclosedText(line, tagName);
  return value.find('&') == std::string_view::npos;  // no reference to decode
}

bool XMLParser::TagInLine(std::string_view line, std::string_view& name, std::string_view& value) {
  name = FirstTagName(line);
  return TagValueInLine(line, name, value);
}

void XMLParser::ParseSingleTag(const std::string& line, std::string& name, std::string& value) {
  name = GetTagName(line);
  value = GetTagValue(line, name);
}

void XMLParser::ParseRubriqueTag(std::string_view line, std::string& tagName,
                                 std::string& attributeName, std::string& attributes) {
  tagName = GetTagName(line);
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) {
    attributeName.clear();
    attributes.clear();
    return;
  }
  const size_t nameEnd = equals;
  size_t nameBegin = nameEnd;
  while (nameBegin > 0 && !IsNameEnd(line[nameBegin - 1]) && line[nameBegin - 1] != '<') {
    --nameBegin;
  }
  attributeName = std::string(line.substr(nameBegin, nameEnd - nameBegin));
  if (equals + 1 < line.size() && line[equals + 1] == '"') {
    const size_t lastQuote = line.rfind('"');
    attributes = lastQuote > equals + 1
                     ? DecodeXmlText(line.substr(equals + 2, lastQuote - equals - 2))
                     : std::string();
  } else {
    size_t end = equals + 1;
    while (end < line.size() && line[end] != '>' && line[end] != ' ' && line[end] != '/') ++end;
    attributes = DecodeXmlText(line.substr(equals + 1, end - equals - 1));
  }
}

}  // namespace tarvesk
