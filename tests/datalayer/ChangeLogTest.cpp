#include <gtest/gtest.h>

#include <tuple>

#include "automation/Conversions.h"
#include "automation/Text.h"
#include "components/datalayer/ChangeLog.h"
#include "components/datalayer/DataLayer.h"
#include "fileset/FileSet.h"
#include "logdata/LogData.h"
#include "platform/posix/PosixEnvironment.h"
#include "tests/datalayer/SqliteFixtures.h"

namespace tarvesk {
namespace {

using testing::Bytes;
using testing::Connection;
using testing::TempFolder;

std::vector<std::string> LogFiles(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Splits raw bytes at CR LF; fails the test on a lone CR or LF.
std::vector<std::string> CrLfLines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "lone CR at " << i;
      lines.push_back(bytes.substr(start, i - start));
      start = i + 2;
      ++i;
    } else if (bytes[i] == '\n') {
      ADD_FAILURE() << "lone LF at " << i;
    }
  }
  EXPECT_EQ(start, bytes.size()) << "text after the last line break";
  return lines;
}

class LoggingSession : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateShop(db_);
    std::filesystem::create_directory(logs_);
    layer_.SetLogFolder(logs_);
    layer_.SetApplicationName("Kasse");
    layer_.SetDatabaseByPath(db_);
  }
  void Load(std::string query) { layer_.GetRecordset(query); }
  std::string Status() { return layer_.errorstatus().AsString(); }
  // Opens a session of layer on the shop and saves Ort of customer 1.
  Variant Change(DataLayer& layer, const std::string& ort) {
    layer.SetDatabaseByPath(db_);
    std::string query = "SELECT * FROM Kunden";
    layer.GetRecordset(query);
    int32_t id = 1;
    EXPECT_EQ(layer.FindRecord("ID", id), Variant(true));
    layer.SetFieldValue("Ort", ort);
    return layer.Save();
  }
  void Find(int32_t id) { ASSERT_EQ(layer_.FindRecord("ID", id), Variant(true)); }
  // The one log of the session, read back as the log manager reads it.
  void TearDown() override {
    if (set_) set_->EjectFileset();  // the set and its logs hold each other
  }
  std::shared_ptr<LogData> ReadBack() {
    if (set_) set_->EjectFileset();
    set_ = std::make_shared<FileSet>(env);
    EXPECT_TRUE(set_->LoadFileSet(logs_));
    EXPECT_EQ(set_->FileCount(), 1);
    set_->ReadFileSetProperties();
    return set_->LogContent(1);
  }
  std::string LogBytes() {
    const auto files = LogFiles(logs_);
    return files.size() == 1 ? Bytes(files[0]) : "";
  }
  // Position of the n-th action (1-based) in the action list of a log.
  static int32_t PositionOf(const LogData& log, size_t n) {
    return LeadingNumber(log.GetActionList().at(n - 1));
  }

  TempFolder folder_;
  std::string db_ = folder_ / "shop.db";
  std::string logs_ = folder_ / "logs";
  DataLayer layer_;
  PosixEnvironment env;
  std::shared_ptr<FileSet> set_;
};

TEST_F(LoggingSession, UpdateWritesOneBlockPerChangedField) {
  Load("SELECT * FROM Kunden");
  Find(1);
  layer_.SetFieldValue("Ort", "Köln");
  layer_.SetFieldValue("Vorname", "Jürgen");  // unchanged: no block
  layer_.SetFieldValue("Rabatt", "");
  layer_.Save();

  // "" stands for a line not checked here, "<TIME>" for a line with a time.
  std::vector<std::string> expected;
  expected.insert(expected.end(),
                  {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>", "<TarveskDataLayerLog>",
                   "<HEAD>", "<DATABASE>" + db_ + "</DATABASE>", "", "", "",
                   "<APPLICATION>Kasse</APPLICATION>", "</HEAD>", "<LOGDATA>"});
  for (const auto& [field, oldValue, newValue] :
       {std::tuple{"Ort", "M\xFCnchen", "K\xF6ln"}, std::tuple{"Rabatt", "0.05", ""}}) {
    expected.insert(expected.end(),
                    {"<ACTION Info=\"UPDATE RECORDID=1\">", "<TABLE>Kunden</TABLE>",
                     "<QueryString>SELECT * FROM Kunden WHERE ID &#61; 1</QueryString>", "<TIME>",
                     std::string("<FieldName>") + field + "</FieldName>",
                     std::string("<OldValue>") + oldValue + "</OldValue>",
                     std::string("<NewValue>") + newValue + "</NewValue>", "</ACTION>"});
  }
  expected.insert(expected.end(), {"</LOGDATA>", "</TarveskDataLayerLog>"});
  const auto lines = CrLfLines(LogBytes());
  ASSERT_EQ(lines.size(), expected.size());
  EXPECT_TRUE(ParseDate(lines[4].substr(13, 19)).has_value()) << lines[4];  // SESSIONTIME
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& e = expected[i];
    EXPECT_EQ(e == "<TIME>" ? lines[i].substr(0, 6) : e.empty() ? "" : lines[i], e) << i;
  }
}

TEST_F(LoggingSession, TheLogManagerReadsWhatWasWritten) {
  Load("SELECT * FROM Kunden");
  Find(2);
  layer_.SetFieldValue("Vorname", "Zoë → \"Z\" <&> a=b\r\nzweite Zeile €");
  layer_.Save();

  const auto log = ReadBack();
  EXPECT_EQ(set_->FileProperties(1, "DATABASE"), db_);
  const auto list = log->GetActionList();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0],
            "1: UPDATE RECORDID=2 / TABLE: Kunden (QueryString: SELECT * FROM Kunden WHERE ID = "
            "2)");
  const auto data = log->GetActionData(1);
  ASSERT_TRUE(data);
  for (const auto& [name, value] : {std::pair{"ACTION", "UPDATE"},
                                    {"RECORDID", "2"},
                                    {"FieldName", "Vorname"},
                                    {"OldValue", "Zoë"},
                                    {"NewValue", "Zoë → \"Z\" <&> a=b\r\nzweite Zeile €"}}) {
    EXPECT_EQ(data->PropertyContent(name), value) << name;
  }
}

TEST_F(LoggingSession, NewAndDeletedRecordsHaveTheirBlocks) {
  Load("SELECT * FROM Kunden WHERE ID = 0");
  layer_.AddNew();
  layer_.SetFieldValue("Name", "Neu");
  layer_.Save();
  Load("SELECT * FROM Kunden WHERE ID = 3");
  Find(3);
  layer_.RemoveRecord(true);

  const auto log = ReadBack();
  const auto list = log->GetActionList();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].substr(0, 24), "1: NEWRECORD RECORDID=4 ");
  const auto added = log->GetActionData(1);
  EXPECT_EQ(added->PropertyCount(), 2);
  EXPECT_EQ(added->PropertyContent("RECORDID"), "4");
  EXPECT_EQ(log->RetrieveActionQueryString(1), "SELECT * FROM Kunden WHERE ID = 4");

  const int32_t deletePosition = PositionOf(*log, 2);
  const auto deleted = log->GetActionData(deletePosition);
  ASSERT_TRUE(deleted);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"ACTION", "DELETE_inDB"}, {"ID", "3"},           {"Name", "Øster"},
      {"Vorname", ""},           {"Ort", "Düsseldorf"}, {"Geburtsdatum", "1988-12-24"},
      {"Rabatt", "0.125"},       {"Punkte", ""}};
  ASSERT_EQ(deleted->PropertyCount(), static_cast<int32_t>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(deleted->PropertyNameByIndex(static_cast<int32_t>(i + 1)), expected[i].first);
    EXPECT_EQ(deleted->PropertyValueByIndex(static_cast<int32_t>(i + 1)), expected[i].second);
  }
  EXPECT_EQ(log->RetrieveActionQueryString(deletePosition), "SELECT * FROM Kunden WHERE ID = 3");
}

TEST_F(LoggingSession, NotedErrorsGoIntoTheTailAndActionsStayReadable) {
  Load("SELECT * FROM Kunden");
  Find(1);
  layer_.SetFieldValue("Telefon", "0221");
  layer_.SetFieldValue("Ort", "Bonn");
  layer_.Save();
  layer_.SetFieldValue("Fax", "0");

  const auto lines = CrLfLines(LogBytes());
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[lines.size() - 4], "</LOGDATA>");
  EXPECT_EQ(lines[lines.size() - 2], "<ERRORCOUNT>2</ERRORCOUNT>");
  EXPECT_EQ(lines.back(), "</TarveskDataLayerLog>");
  const auto log = ReadBack();
  EXPECT_EQ(log->ErrorInfo(), Status());
  const auto list = log->GetActionList();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1], kErrorEntry);
  EXPECT_EQ(log->GetActionData(1)->PropertyContent("NewValue"), "Bonn");
}

TEST_F(LoggingSession, AnErrorAloneStartsALog) {
  DataLayer other;
  other.SetLogFolder(logs_);
  other.SetDatabaseByPath(folder_ / "fehlt.db");
  const auto log = ReadBack();
  EXPECT_EQ(set_->FileProperties(1, "DATABASE"), folder_ / "fehlt.db");
  EXPECT_NE(log->ErrorInfo().find("wurde nicht gefunden"), std::string::npos);
  EXPECT_EQ(log->GetActionList(), std::vector<std::string>{kErrorEntry});
}

// A session that changes something writes a file of its own; without the folder it notes
// that and still writes the database.
TEST_F(LoggingSession, EachSessionThatChangesSomethingWritesItsOwnFile) {
  Change(layer_, "München");  // the value it has
  EXPECT_TRUE(LogFiles(logs_).empty());
  Change(layer_, "Bonn");
  Change(layer_, "Ulm");
  EXPECT_EQ(LogFiles(logs_).size(), 2u);
  std::filesystem::remove_all(logs_);
  EXPECT_EQ(Change(layer_, "Essen"), Variant(true));
  EXPECT_NE(Status().find("Das Logfile konnte nicht geschrieben werden"), std::string::npos);
  EXPECT_NE(testing::Content(db_).find("Essen"), std::string::npos);
}

// The host's folder wins over the environment's, and an empty folder turns the log off.
TEST_F(LoggingSession, TheEnvironmentGivesTheFolderWhenTheHostGivesNone) {
  TempFolder fromEnvironment;
  {
    testing::ScopedEnvironment variable(kLogFolderVariable, fromEnvironment.Path());
    DataLayer plain, silent;
    silent.SetLogFolder("");
    Change(plain, "Bonn");
    Change(layer_, "Ulm");
    Change(silent, "Essen");
    EXPECT_EQ(LogFiles(fromEnvironment.Path()), std::vector<std::string>{plain.LogFilePath()});
    EXPECT_EQ(LogFiles(logs_), std::vector<std::string>{layer_.LogFilePath()});
  }
  testing::ScopedEnvironment variable(kLogFolderVariable, "");
  DataLayer layer;
  Change(layer, "Köln");
  EXPECT_EQ(layer.LogFilePath(), "");
  EXPECT_EQ(LogFiles(folder_.Path()).size(), 2u);  // the database and the folder of logs_
  EXPECT_EQ(LogFiles(logs_).size(), 1u);
}

// ---------------------------------------------------------------------------------------
TEST(LogTextEncoding, MarkupEqualsBreaksAndForeignCharactersBecomeReferences) {
  EXPECT_EQ(EncodeLogText("a<b>&\"c\"=d"), "a&lt;b&gt;&amp;&quot;c&quot;&#61;d");
  EXPECT_EQ(EncodeLogText("x\r\ny\tz"), "x&#13;&#10;y\tz");
  EXPECT_EQ(EncodeLogText("Grüße €5 ‰"), "Grüße €5 ‰");  // all in Windows-1252
  EXPECT_EQ(EncodeLogText("Ω😀"), "&#937;&#128512;");
  EXPECT_EQ(EncodeLogText("\x01"), "&#1;");
}

TEST(TagNameEncoding, PlainNamesStayAndOthersRoundTrip) {
  EXPECT_EQ(EncodeTagName("Straße"), "Straße");
  EXPECT_EQ(EncodeTagName("Kunde_ID-2.a"), "Kunde_ID-2.a");
  EXPECT_EQ(EncodeTagName("Straße Nr"), "Straße_x0020_Nr");
  EXPECT_EQ(EncodeTagName("1te"), "_x0031_te");
  EXPECT_EQ(EncodeTagName("a=b"), "a_x003D_b");
  EXPECT_EQ(EncodeTagName("ACTION"), "_x0041_CTION");
  EXPECT_EQ(EncodeTagName("TRANSACTION"), "TRANSACTION");
  EXPECT_EQ(EncodeTagName("a_x0041_b"), "a_x005F_x0041_b");
  for (const char* name :
       {"Straße Nr", "1te", "a=b", "ACTION", "a_x0041_b", "x<y>", "Ω", "😀", "_x", "a_"}) {
    EXPECT_EQ(DecodeTagName(EncodeTagName(name)), name) << name;
  }
  EXPECT_EQ(DecodeTagName("_x00ZZ_"), "_x00ZZ_");
}

TEST_F(LoggingSession, OddColumnNamesSurviveADeleteAndItsRestore) {
  Connection(db_).Exec(
      "CREATE TABLE Sonder (ID INTEGER PRIMARY KEY, \"Straße Nr\" TEXT, \"ACTION\" TEXT, "
      "\"1te\" INTEGER, \"a=b\" TEXT);"
      "INSERT INTO Sonder VALUES (5, 'Hauptstr. 1', 'x', 1, 'y=z');");
  Load("SELECT * FROM Sonder");
  Find(5);
  layer_.RemoveRecord(true);

  const auto log = ReadBack();
  ASSERT_EQ(log->GetActionList().size(), 1u);  // no field line reads as an action
  const auto deleted = log->GetActionData(1);
  ASSERT_EQ(deleted->PropertyCount(), 6);
  EXPECT_EQ(deleted->PropertyNameByIndex(3), "Straße_x0020_Nr");
  EXPECT_EQ(deleted->PropertyValueByIndex(6), "y=z");
  // The escaped names are columns to the data layer that writes them back.
  Load("SELECT * FROM Sonder WHERE ID = 5");
  layer_.AddNew();
  for (int32_t i = 2; i <= deleted->PropertyCount(); ++i) {
    EXPECT_EQ(
        layer_.SetFieldValue(deleted->PropertyNameByIndex(i), deleted->PropertyValueByIndex(i)),
        Variant(true));
  }
  layer_.Save();
  EXPECT_EQ(Connection(db_).Dump("SELECT * FROM Sonder"),
            "int:5|text:Hauptstr. 1|text:x|int:1|text:y=z\n");
}

}  // namespace
}  // namespace tarvesk
