#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "automation/Error.h"
#include "components/xmlparser/XMLParser.h"
#include "fileset/FileSet.h"
#include "logdata/LogData.h"
#include "service/modService.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

using test::Concat;
using test::ErrorNumberOf;
using Lines = std::vector<std::string>;

Lines Update(int id, const std::string& field, const std::string& oldValue) {
  const std::string n = std::to_string(id);
  return {"<ACTION Info=\"UPDATE RECORDID=" + n + "\">",
          "<TABLE>Kunden</TABLE>",
          "<QueryString>SELECT * FROM Kunden WHERE ID = " + n + "</QueryString>",
          "<TIME>01.12.2026 08:31:40</TIME>",
          "<FieldName>" + field + "</FieldName>",
          "<OldValue>" + oldValue + "</OldValue>",
          "<NewValue>neu</NewValue>",
          "</ACTION>"};
}

Lines Properties(const std::shared_ptr<PropertyCollection>& properties) {
  Lines pairs;
  for (int32_t i = 1; i <= properties->PropertyCount(); ++i) {
    pairs.push_back(properties->PropertyNameByIndex(i) + "=" + properties->PropertyValueByIndex(i));
  }
  return pairs;
}

// A file set of one log file whose whole text is given.
class LogFile : public ::testing::Test {
 protected:
  void TearDown() override { set->EjectFileset(); }

  std::shared_ptr<LogData> Load(const Lines& fileLines) {
    set->EjectFileset();
    folder.WriteLines("log.xml", fileLines);
    set->LoadFileSet(folder.Path());
    return set->LogContent(1);
  }
  std::shared_ptr<LogData> LoadBody(const Lines& body, const std::string& errorInfo = "") {
    return Load(test::LogLines("C:\\db", "01.12.2026", body, errorInfo));
  }

  test::TempFolder folder;
  test::TestEnvironment env;
  std::shared_ptr<FileSet> set = std::make_shared<FileSet>(env);
};

// The body lies between the data marker and the tail; ERRORINFO counts in the last six lines.
TEST_F(LogFile, FindsBodyAndErrorInformation) {
  const Lines head = {"x", "<TarveskDataLayerLog>", "<LOGDATA>"};
  const Lines update = Update(7, "Ort", "München");
  const struct {
    Lines lines;
    size_t body;
    std::string errorInfo;
  } cases[] = {
      {{"a", "<TarveskDataLayerLog> <LOGDATA> Rest", "<X>1</X>", "<LOGDATA>", "c", "d", "e"},
       3,
       ""},
      {{"a", "<TarveskDataLayerLog>", "c", "d"}, 2, ""},
      {Concat({head,
               update,
               {"<ERRORINFO>Zeile 1&#13;&#10;Zeile 2</ERRORINFO>", "a", "b", "c", "d", "e"}}),
       update.size() + 2, "Zeile 1\r\nZeile 2"},  // sixth-last: four lines go, it stays
      {Concat({head, {"<ERRORINFO>alt</ERRORINFO>", "1", "2", "3", "4", "5", "6"}}), 5, ""},
      {Concat({head, {"1", "2", "3", "</LOGDATA>", "<ERRORINFO></ERRORINFO>", "<N>0</N>", "</E>"}}),
       3, ""},
      {head, 0, ""},
  };
  for (const auto& c : cases) {
    const auto log = Load(c.lines);
    EXPECT_EQ(log->BodyLineCount(), c.body) << c.lines[1] << " " << c.lines.size();
    EXPECT_EQ(log->ErrorInfo(), c.errorInfo) << c.lines.size();
  }
  const auto log = LoadBody({}, "Fehler");
  log->ResetErrors();
  EXPECT_EQ(log->ErrorInfo(), "");
}

// One entry per opening line, fields by character positions; missing lines at the end read empty.
TEST_F(LogFile, ComposesOneListEntryPerOpeningLine) {
  const auto log = LoadBody(
      Concat({Update(7, "Ort", "M&amp;M"),
              {"<ACTION Info=\"ÄNDERUNG Nr=ü\">", "<A>x</A>", "<Q>y</Q>", "<XACTIONX =>", "a", "b",
               "<ACTION Info=>", "a", "b", "<ACTION =ab>", "a", "b", "<action Info=\"x\">",
               "<ACTION ohne>", "a", "b", "<ACTION Info=\"NEWRECORD RECORDID=1\">", "<B>2</B>"}}),
      "Fehler");
  EXPECT_EQ(log->GetActionList(),
            (Lines{"1: UPDATE RECORDID=7 / TABLE: Kunden (QueryString: SELECT * FROM Kunden "
                   "WHERE ID = 7)",
                   "9: ÄNDERUNG Nr=ü / A: x (QueryString: )", "12:  / :  (QueryString: )",
                   "15:  / :  (QueryString: )", "18:  / :  (QueryString: )",
                   "25: NEWRECORD RECORDID=1 / B: 2 (QueryString: )", kErrorEntry}));
  EXPECT_EQ(log->RetrieveActionQueryString(-1), "");  // line 1 holds no QueryString
  EXPECT_EQ(ErrorNumberOf([&] { log->RetrieveActionQueryString(INT32_MAX); }),
            kSubscriptOutOfRange);
}

// Kind, fields by kind, id last; an open block reaches the next end; no set, no read; no reread.
TEST_F(LogFile, ActionDetailsGiveKindFieldsAndId) {
  LogData unbound(env);
  unbound.SetFileIndex(1);
  EXPECT_EQ(ErrorNumberOf([&] { unbound.LoadLogData(); }), kObjectNotSet);  // no Parent
  EXPECT_FALSE(unbound.IsLoaded());
  const Lines del = {"<ACTION Info=\"DELETE_inDB RECORDID=3\">", "<A/>", "<Q/>", "<T/>"};
  const Lines tail = {"<U>u</U>", "<C>c</C>", "<P>p</P>", "<R>1</R>", "</ACTION>"};
  Lines noClose = Update(6, "Ort", "alt");
  noClose.pop_back();
  const std::string longValue(100000, 'v');
  auto log = LoadBody(Concat(
      {Update(7, "Ort", longValue),
       {"<ACTION Info=\"NEWRECORD RECORDID=12\">", "<A/>", "<Q/>", "<T/>", "<X>1</X>", "</ACTION>"},
       del,
       {"<ID>3</ID>"},
       tail,
       noClose,
       {"<Extra>1</Extra>"},
       Update(8, "PLZ", "1"),
       {"<ACTION Info=\"delete_indb RECORDID=1\">", "<A/>", "<Q/>", "<T/>", "</ACTION>",
        "<ACTION Info=\"UPDATE\">", "<A/>", "<Q/>", "<T/>", "<>leer</>", "<F>1</F>", "</ACTION>"},
       noClose}));
  EXPECT_EQ(Properties(log->GetActionData(1)),
            (Lines{"ACTION=UPDATE", "FieldName=Ort", "OldValue=" + longValue, "NewValue=neu",
                   "RECORDID=7"}));
  EXPECT_EQ(Properties(log->GetActionData(9)), (Lines{"ACTION=NEWRECORD", "RECORDID=12"}));
  EXPECT_EQ(Properties(log->GetActionData(15)), (Lines{"ACTION=DELETE_inDB", "ID=3"}));
  const Lines reaching = Properties(log->GetActionData(25));
  EXPECT_EQ(reaching.size(), 1u + 3 + 1 + 7 + 1);  // own fields, the next block but its end
  EXPECT_EQ(reaching.back(), "RECORDID=6");
  EXPECT_EQ(log->GetActionData(2), nullptr);              // a field line
  EXPECT_EQ(log->GetActionData(41)->PropertyCount(), 0);  // kind in small letters
  EXPECT_EQ(Properties(log->GetActionData(46)), (Lines{"ACTION=UPDATE", "F=1", "RECORDID="}));
  EXPECT_EQ(Properties(log->GetActionData(53)), (Lines{"ACTION=UPDATE", "RECORDID=6"}));
  EXPECT_EQ(ErrorNumberOf([&] { log->GetActionData(60); }), kSubscriptOutOfRange);
  folder.WriteLines("log.xml", test::LogLines("C:\\db", "01.12.2026", {}));
  log->LoadLogData();
  const auto details = log->GetActionData(1);
  set->EjectFileset();
  log.reset();
  EXPECT_EQ(details->PropertyValueByIndex(3), longValue);
}

// The reference parser without its promises: lines read through GetTagName and GetTagValue.
class PlainParser : public XMLParser {
 public:
  bool TagNameIsPartOfLine() const override { return false; }
  bool TagValueInLine(std::string_view, std::string_view, std::string_view&) override {
    return false;
  }
  bool TagInLine(std::string_view, std::string_view&, std::string_view&) override { return false; }
};

// Everything a host reads of a log (headers, list, details, query strings), errors as numbers.
Lines Outcome(Environment& env, const std::string& folder) {
  Lines outcome;
  auto set = std::make_shared<FileSet>(env);
  const auto note = [&](const std::function<void()>& read) {
    if (const int error = ErrorNumberOf(read)) outcome.push_back("Fehler " + std::to_string(error));
  };
  note([&] {
    if (!set->LoadFileSet(folder) || set->FileCount() != 1) return;
    note([&] { set->ReadFileSetProperties(); });
    const auto log = set->LogContent(1);
    for (const auto& entry : log->GetActionList()) outcome.push_back(entry);
    for (int32_t p = -1; p <= static_cast<int32_t>(log->BodyLineCount()) + 2; ++p) {
      note([&] {
        const auto details = log->GetActionData(p);
        if (!details) return outcome.push_back("keine");
        for (const auto& pair : Properties(details)) outcome.push_back(pair);
      });
      note([&] { outcome.push_back(log->RetrieveActionQueryString(p)); });
    }
  });
  set->EjectFileset();
  return outcome;
}

// The fast reading gives what the plain way gives: each line end, cut short, random bytes.
TEST(FastReading, GivesWhatThePlainWayGivesOnWholeCutAndDamagedLogs) {
  test::TempFolder folder;
  test::TestEnvironment env, plainEnv;
  plainEnv.Components().Register<IXmlParser>(kXmlParserProgId,
                                             [] { return std::make_unique<PlainParser>(); });
  const Lines lines =
      test::LogLines("C:\\db", "01.12.2026",
                     Concat({Update(7, "Ort", "M\xFCnchen &amp; Umland"),
                             {"<ACTION Info=\"DELETE_inDB RECORDID=3\">", "<Q>x</Q>"}}),
                     "Fehler &lt;1&gt;");
  std::vector<std::string> texts;
  for (const char* end : {"\r\n", "\r", "\n\r"}) {
    std::string text;
    for (const auto& line : lines) text += line + end;
    texts.push_back(text);
    texts.push_back(text.substr(0, text.size() - std::strlen(end)));  // no last line end
  }
  const size_t whole = texts.size();
  const size_t size = texts[0].size();  // every third byte at both ends, some in the middle
  for (size_t cut = 0; cut < size; cut += cut < 400 || cut > size - 600 ? 3 : size / 40) {
    texts.push_back(texts[0].substr(0, cut));
  }
  std::mt19937 random(1);
  for (int i = 0; i < 20; ++i) {
    std::string bytes = texts[0].substr(0, 60);
    for (int k = 0; k < 400; ++k) bytes += static_cast<char>(random() % 256);
    texts.push_back(bytes);
  }
  for (size_t t = 0; t < texts.size(); ++t) {
    folder.WriteBytes("log.xml", texts[t]);
    const Lines fast = Outcome(env, folder.Path());
    ASSERT_EQ(fast, Outcome(plainEnv, folder.Path())) << t;
    ASSERT_TRUE(t >= whole || fast.size() > 20) << t;
  }
}

}  // namespace
}  // namespace tarvesk
