// The libFuzzer targets; FUZZ_TARGET names a program's. Only the core's errors may come out.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "components/datalayer/DataLayer.h"
#include "components/xmlparser/XMLParser.h"
#include "fileset/FileSet.h"
#include "logdata/LogData.h"
#include "platform/posix/PosixEnvironment.h"
#include "service/modService.h"
#include "tests/datalayer/SqliteFixtures.h"

namespace tarvesk {
namespace {

// The folder of the files a target writes, in memory where it can (a file per input).
const test::TempFolder& Folder() {
  static const test::TempFolder folder(std::filesystem::is_directory("/dev/shm")
                                           ? "/dev/shm"
                                           : std::filesystem::temp_directory_path());
  return folder;
}

// Writes the input as the one log of the folder and hands read the set that loaded it.
template <class Read>
void WithLogFile(std::string_view bytes, Read read) {
  std::ofstream(Folder() / "log.xml", std::ios::binary | std::ios::trunc) << bytes;
  static PosixEnvironment environment;  // the reference components, messages on stderr
  auto set = std::make_shared<FileSet>(environment);
  try {
    if (set->LoadFileSet(Folder().Path()) && set->FileCount() == 1) read(*set);
  } catch (const Error&) {
  }
  set->EjectFileset();
}

}  // namespace

namespace fuzz {

// The log reader: the file, its action list, each listed action's details and query string.
void LogReader(std::string_view bytes) {
  WithLogFile(bytes, [](FileSet& set) {
    const auto log = set.LogContent(1);
    for (const std::string& entry : log->GetActionList()) {
      if (entry == kErrorEntry) continue;
      try {
        (void)log->GetActionData(LeadingNumber(entry));
        (void)log->RetrieveActionQueryString(LeadingNumber(entry));
      } catch (const Error&) {
      }
    }
  });
}

// The header reader: marker test, header properties, the file's own name always the last.
void Header(std::string_view bytes) {
  WithLogFile(bytes, [](FileSet& set) {
    set.ReadFileSetProperties();
    const auto properties = set.HeaderProperties(1);
    const int32_t count = properties->PropertyCount();
    if (count < 1 || properties->PropertyNameByIndex(count) != "FILENAME") std::abort();
    (void)ParseDate(set.FileProperties(1, "SESSIONTIME"));
  });
}

// The tag parser on every line: no member raises; a value found in the line is GetTagValue's.
void TagParser(std::string_view text) {
  XMLParser parser;
  for (size_t start = 0, end; start <= text.size(); start = end + 1) {
    end = std::min(text.find('\r', start), text.size());
    const std::string line(text.substr(start, end - start));
    const std::string name = parser.GetTagName(line);
    const std::string value = parser.GetTagValue(line, name);
    std::string_view inLine, inLineName;
    if (parser.TagValueInLine(line, name, inLine) && inLine != value) std::abort();
    if (parser.TagInLine(line, inLineName, inLine) && (inLineName != name || inLine != value)) {
      std::abort();
    }
    (void)parser.GetTagValue(line, "QueryString");
    std::string single, singleValue, first, second, attributes;
    parser.ParseSingleTag(line, single, singleValue);
    parser.ParseRubriqueTag(line, first, second, attributes);
  }
}

// VB conversions: overflow is Val's and CLng's only error; a parsed date formats and parses back.
void Conversions(std::string_view text) {
  try {
    const double number = Val(text);
    (void)CStr(Variant(number));
    (void)CLng(number);
  } catch (const Error& error) {
    if (error.Number() != kOverflow) std::abort();
  }
  if (const auto date = ParseDate(text)) {
    const auto again = ParseDate(FormatDate(*date));
    if (!again || std::fabs(again->serial - date->serial) > 1.0 / 86400) std::abort();
    (void)SplitDate(*date);
  }
}

// The field splitter against its plain rule. Input: n (int8), delimiter length % 4, it, text.
void FieldSplitter(std::string_view bytes) {
  if (bytes.size() < 2) return;
  const int32_t n = static_cast<int8_t>(bytes[0]);
  const std::string_view delimiter = bytes.substr(2, static_cast<uint8_t>(bytes[1]) % 4);
  const std::string_view text = bytes.substr(2 + delimiter.size());
  std::string expected, working = std::string(text) + std::string(delimiter);
  for (int32_t count = 1; !delimiter.empty(); ++count) {
    const size_t at = working.find(delimiter);
    if (at == std::string::npos) break;
    if (count == n) expected = working.substr(0, at);
    if (count >= n) break;
    working.erase(0, at + delimiter.size());
  }
  if (GetDelimitedField(text, delimiter, n) != expected) std::abort();
}

// The query guard on any text: the database keeps its bytes and no file appears beside it.
void QueryGuard(std::string_view bytes) {
  static const std::string database = Folder() / "shop.db";
  static const std::string before = (testing::CreateShop(database), testing::Bytes(database));
  std::string query(bytes);
  try {
    DataLayer layer;
    layer.SetLogFolder("");
    layer.SetDatabaseByPath(database);
    layer.GetRecordset(query);
  } catch (const Error&) {
  }
  if (test::EntriesIn(Folder().Path()) != 1 || testing::Bytes(database) != before) std::abort();
}

}  // namespace fuzz
}  // namespace tarvesk

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tarvesk::fuzz::FUZZ_TARGET({reinterpret_cast<const char*>(data), size});
  return 0;
}
