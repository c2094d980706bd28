#include "logdata/LogData.h"

#include <algorithm>
#include <bit>
#include <charconv>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "automation/Error.h"
#include "fileset/FileSet.h"
#include "service/modService.h"

namespace tarvesk {
namespace {

constexpr int kErrorInfoSearchLines = 6;

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The characters of an opening line after the one that follows its first "=", without
// its last two characters: for <ACTION Info="UPDATE RECORDID=7"> the text in quotes.
std::string_view KindText(std::string_view line, size_t equals) {
  size_t begin = equals + 1;
  if (begin < line.size()) {
    ++begin;
    while (begin < line.size() && IsContinuationByte(line[begin])) ++begin;
  }
  size_t end = line.size();
  for (int dropped = 0; dropped < 2 && end > 0; ++dropped) {
    --end;
    while (end > 0 && IsContinuationByte(line[end])) --end;
  }
  return begin < end ? line.substr(begin, end - begin) : std::string_view();
}

// Values of this length or more are kept as views into the log's text, not copied.
constexpr size_t kSharedValueLength = 1 << 16;

void AddField(PropertyCollection& properties, IXmlParser& parser, std::string_view line,
              const std::shared_ptr<const void>& text) {
  std::string_view name, inLine;
  if (!parser.TagInLine(line, name, inLine)) {
    const std::string asked = parser.GetTagName(line);
    properties.AddProperty(asked, parser.GetTagValue(line, asked));
  } else if (inLine.size() >= kSharedValueLength) {
    properties.AddProperty(std::string(name), inLine, text);
  } else {
    properties.AddProperty(std::string(name), std::string(inLine));
  }
}

// Appends the parser's value of tagName in line.
void AppendTagValue(std::string& out, IXmlParser& parser, std::string_view line,
                    std::string_view tagName) {
  std::string_view inLine;
  if (parser.TagValueInLine(line, tagName, inLine)) {
    out += inLine;
  } else {
    out += parser.GetTagValue(line, tagName);
  }
}

// Appends the parser's tag name of line, separator and its value.
void AppendTag(std::string& out, IXmlParser& parser, std::string_view line,
               std::string_view separator) {
  std::string_view name, inLine;
  if (parser.TagInLine(line, name, inLine)) {
    out += name;
    out += separator;
    out += inLine;
  } else {
    const std::string asked = parser.GetTagName(line);
    out += asked;
    out += separator;
    out += parser.GetTagValue(line, asked);
  }
}

// The first "ACTION" in text from `from` on; npos when there is none.
size_t FindAction(std::string_view text, size_t from) {
  constexpr std::string_view kWord = "ACTION";
#ifdef __SSE2__
  // Candidates have the first and the last letter in place; sixteen positions at a time.
  const __m128i first = _mm_set1_epi8('A'), last = _mm_set1_epi8('N');
  for (; from + 16 + kWord.size() - 1 <= text.size(); from += 16) {
    const char* p = text.data() + from;
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + kWord.size() - 1));
    for (unsigned both = static_cast<unsigned>(
             _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(n, last))));
         both != 0; both &= both - 1) {
      const size_t at = from + static_cast<size_t>(std::countr_zero(both));
      if (text.compare(at, kWord.size(), kWord) == 0) return at;
    }
  }
#endif
  return text.find(kWord, from);
}

// Where the body of the lines after the head ends, given the lines its tail takes. The
// writer rewrites the tail behind each new action block, so the tail starts with
// "</LOGDATA>". A log whose tail does not is torn (its writer died while writing): the
// new block overwrote part of the old tail and its own end is missing. Its body ends
// before the torn block's opening line, which is what follows the last closing line;
// without such a line the tail is taken as usual.
size_t BodyEnd(const LineList& lines, size_t tail) {
  const size_t count = lines.Count();
  const size_t usual = count > tail ? count - tail : 0;
  if (count >= tail && Contains(lines.Line(count - tail), "</LOGDATA>")) return usual;
  size_t from = 0;
  for (size_t k = count; k > 0; --k) {
    if (Contains(lines.Line(k - 1), "</ACTION>")) {
      from = k;
      break;
    }
  }
  for (size_t k = from; k < count; ++k) {
    if (Contains(lines.Line(k), "<ACTION")) return k;
  }
  return usual;
}

}  // namespace

std::string_view LogData::Line(int64_t position) const {
  if (!colLogLines) throw Error(kObjectNotSet);
  if (position < 1 || static_cast<uint64_t>(position) > colLogLines->Count()) {
    throw Error(kSubscriptOutOfRange);
  }
  return colLogLines->Line(static_cast<size_t>(position - 1));
}

void LogData::LoadLogData() {
  if (bolLogLoaded || fileIndex_ == 0) return;
  colLogLines.emplace();
  const std::shared_ptr<FileSet> parent = parent_.lock();
  if (!parent) throw Error(kObjectNotSet);
  *colLogLines = LineList::ReadFile(parent->File(fileIndex_));
  LineList& lines = *colLogLines;

  for (size_t k = 0; k < lines.Count(); ++k) {
    if (Contains(lines.Line(k), "<LOGDATA>")) {
      lines.RemoveFirst(k + 1);
      break;
    }
  }

  const auto parser = CreateXMLParser(environment_);
  const size_t count = lines.Count();
  const size_t stop = count > kErrorInfoSearchLines ? count - kErrorInfoSearchLines : 0;
  size_t tail = 2;
  for (size_t k = count; k > stop; --k) {
    const std::string_view line = lines.Line(k - 1);
    if (Use(parser).GetTagName(line) == "ERRORINFO") {
      strErrorInfo = Use(parser).GetTagValue(line, "ERRORINFO");
      tail = 4;
      break;
    }
  }
  const size_t body = BodyEnd(lines, tail);
  while (lines.Count() > body) lines.RemoveLast();
  bolLogLoaded = true;
}

bool LogData::ComposeEntry(IXmlParser& parser, size_t n, std::string& entry) const {
  const std::string_view line = colLogLines->Line(n - 1);
  // The cheaper test first: a closing line holds "ACTION" but no "=".
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  if (!Contains(parser.GetTagName(line), "ACTION")) return false;
  // An opening line among the last two lines (a log cut short) reads the missing lines as
  // empty text.
  const LineList& lines = *colLogLines;
  const std::string_view second = n < lines.Count() ? lines.Line(n) : std::string_view();
  const std::string_view third = n + 1 < lines.Count() ? lines.Line(n + 1) : std::string_view();
  char digits[24];
  entry.assign(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
  entry += ": ";
  entry += KindText(line, equals);
  entry += " / ";
  AppendTag(entry, parser, second, ": ");
  entry += " (QueryString: ";
  AppendTagValue(entry, parser, third, "QueryString");
  entry += ')';
  return true;
}

void LogData::ForEachAction(const std::function<void(std::string_view entry)>& emit) const {
  if (!colLogLines) throw Error(kObjectNotSet);
  const auto parser = CreateXMLParser(environment_);
  const LineList& lines = *colLogLines;
  const size_t count = lines.Count();
  std::string entry;
  if (count > 0 && Use(parser).TagNameIsPartOfLine()) {
    // Only a line that holds "ACTION" can have a tag name that holds it: the scan goes
    // from one such line to the next.
    const std::string_view text = lines.Text();
    size_t n = 0;  // 0-based
    for (size_t at = FindAction(text, 0); at != std::string_view::npos;) {
      n = lines.LineAt(n, at);
      if (n >= count) break;
      if (ComposeEntry(*parser, n + 1, entry)) emit(entry);
      if (++n >= count) break;
      at = FindAction(text, static_cast<size_t>(lines.Offset(n)));
    }
  } else {
    for (size_t n = 1; n <= count; ++n) {
      if (ComposeEntry(Use(parser), n, entry)) emit(entry);
    }
  }
  if (!strErrorInfo.empty()) emit(kErrorEntry);
}

std::vector<std::string> LogData::GetActionList() const {
  std::vector<std::string> entries;
  ForEachAction([&](std::string_view entry) { entries.emplace_back(entry); });
  return entries;
}

std::shared_ptr<PropertyCollection> LogData::GetActionData(int32_t PositionInList) const {
  const auto parser = CreateXMLParser(environment_);
  const std::string_view opening = Line(PositionInList);
  if (!Contains(opening, "ACTION")) return nullptr;

  // Field lines end before the closing line; without one there are none.
  const size_t count = colLogLines->Count();
  size_t lastField = 0;  // the closing line's position - 1, 0 when there is none
  for (size_t c = static_cast<size_t>(PositionInList) + 1; c <= count; ++c) {
    if (Contains(colLogLines->Line(c - 1), "</ACTION>")) {
      lastField = c - 1;
      break;
    }
  }

  std::string first, second, attributes;
  Use(parser).ParseRubriqueTag(opening, first, second, attributes);
  std::string kind = GetDelimitedField(attributes, " ", 1);
  const std::string idWord = GetDelimitedField(attributes, " ", 2);
  std::string recordId = idWord.empty() ? "" : GetDelimitedField(idWord, "=", 2);

  auto properties = std::make_shared<PropertyCollection>();
  const bool isUpdate = kind == "UPDATE";
  const bool isNew = kind == "NEWRECORD";
  const bool isDelete = kind == "DELETE_OFFLINE" || kind == "DELETE_inDB";
  if (!isUpdate && !isNew && !isDelete) return properties;

  const size_t firstField = static_cast<size_t>(PositionInList) + 4;
  // Delete actions end with four lines that are not fields.
  const size_t fieldEnd = isUpdate ? lastField : isDelete && lastField >= 4 ? lastField - 4 : 0;
  properties->Reserve(2 + (!isNew && fieldEnd >= firstField ? fieldEnd - firstField + 1 : 0));
  std::string action = kind;
  properties->AddProperty("ACTION", action);
  if (!isNew) {
    const auto text = colLogLines->Owner();
    for (size_t k = firstField; k <= fieldEnd; ++k) AddField(*properties, *parser, Line(k), text);
  }
  if (!isDelete) properties->AddProperty("RECORDID", recordId);
  return properties;
}

std::string LogData::RetrieveActionQueryString(int32_t lngActionPos) const {
  const auto parser = CreateXMLParser(environment_);
  const std::string_view line = Line(static_cast<int64_t>(lngActionPos) + 2);
  return Use(parser).GetTagValue(line, "QueryString");
}

}  // namespace tarvesk
