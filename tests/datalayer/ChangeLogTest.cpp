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

using testing::Connection;
using Lines = std::vector<std::string>;

Lines LogFiles(const std::string& folder) {
  Lines files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
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
  void TearDown() override {
    if (set_) set_->EjectFileset();  // the set and its logs hold each other
  }
  // Loads query and makes record id current.
  void Find(std::string query, int32_t id) {
    layer_.GetRecordset(query);
    ASSERT_EQ(layer_.FindRecord("ID", id), Variant(true));
  }
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
  // The one log of the session, read back as the log manager reads it.
  std::shared_ptr<LogData> ReadBack() {
    if (set_) set_->EjectFileset();
    set_ = std::make_shared<FileSet>(env_);
    EXPECT_TRUE(set_->LoadFileSet(logs_));
    EXPECT_EQ(set_->FileCount(), 1);
    set_->ReadFileSetProperties();
    return set_->LogContent(1);
  }
  // The lines of the one log, each ended by CR LF, with no other CR or LF.
  Lines LogLines() {
    const auto files = LogFiles(logs_);
    const std::string bytes = files.size() == 1 ? testing::Bytes(files[0]) : "";
    Lines lines;
    for (size_t start = 0, end; start < bytes.size(); start = end + 2) {
      end = bytes.find("\r\n", start);
      lines.push_back(bytes.substr(start, end - start));
      EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos) << lines.back();
    }
    EXPECT_TRUE(bytes.ends_with("\r\n"));
    return lines;
  }

  testing::TempFolder folder_;
  std::string db_ = folder_ / "shop.db";
  std::string logs_ = folder_ / "logs";
  DataLayer layer_;
  PosixEnvironment env_;
  std::shared_ptr<FileSet> set_;
};

// One block per changed field, values in Windows-1252 as written, markup and "=" escaped.
TEST_F(LoggingSession, AnUpdateWritesOneBlockPerChangedField) {
  Find("SELECT * FROM Kunden", 1);
  layer_.SetFieldValue("Ort", "Köln");
  layer_.SetFieldValue("Vorname", "Jürgen");  // unchanged: no block
  layer_.SetFieldValue("Rabatt", "");
  layer_.Save();

  // "" stands for a line not checked here, "<TIME>" for a line with a time.
  Lines expected = {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>",
                    "<TarveskDataLayerLog>",
                    "<HEAD>",
                    "<DATABASE>" + db_ + "</DATABASE>",
                    "",
                    "",
                    "",
                    "<APPLICATION>Kasse</APPLICATION>",
                    "</HEAD>",
                    "<LOGDATA>"};
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
  const Lines lines = LogLines();
  ASSERT_EQ(lines.size(), expected.size());
  EXPECT_TRUE(ParseDate(lines[4].substr(13, 19)).has_value()) << lines[4];  // SESSIONTIME
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& e = expected[i];
    EXPECT_EQ(e == "<TIME>" ? lines[i].substr(0, 6) : e.empty() ? "" : lines[i], e) << i;
  }
}

// Errors go into the tail, where the log manager finds them, and the actions stay readable;
// an error alone starts a log.
TEST_F(LoggingSession, NotedErrorsGoIntoTheTail) {
  Find("SELECT * FROM Kunden", 1);
  layer_.SetFieldValue("Telefon", "0221");
  layer_.SetFieldValue("Ort", "Bonn");
  layer_.Save();
  layer_.SetFieldValue("Fax", "0");
  const Lines lines = LogLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(Lines(lines.end() - 4, lines.end()),
            (Lines{"</LOGDATA>", lines[lines.size() - 3], "<ERRORCOUNT>2</ERRORCOUNT>",
                   "</TarveskDataLayerLog>"}));
  auto log = ReadBack();
  EXPECT_EQ(log->ErrorInfo(), Status());
  ASSERT_EQ(log->GetActionList().size(), 2u);
  EXPECT_EQ(log->GetActionList()[1], kErrorEntry);
  EXPECT_EQ(log->GetActionData(1)->PropertyContent("NewValue"), "Bonn");

  std::filesystem::remove_all(logs_);
  std::filesystem::create_directory(logs_);
  DataLayer other;
  other.SetLogFolder(logs_);
  other.SetDatabaseByPath(folder_ / "fehlt.db");
  log = ReadBack();
  EXPECT_EQ(set_->FileProperties(1, "DATABASE"), folder_ / "fehlt.db");
  EXPECT_NE(log->ErrorInfo().find("wurde nicht gefunden"), std::string::npos);
  EXPECT_EQ(log->GetActionList(), Lines{kErrorEntry});
}

// A session that changes something writes a file of its own, into the host's folder or else
// the environment's; an empty folder turns the log off; a missing folder is noted and the
// database still written.
TEST_F(LoggingSession, EachSessionThatChangesSomethingWritesItsOwnFile) {
  testing::TempFolder fromEnvironment;
  testing::ScopedEnvironment variable(kLogFolderVariable, fromEnvironment.Path());
  DataLayer plain, silent;
  silent.SetLogFolder("");
  Change(layer_, "München");  // the value it has
  EXPECT_TRUE(LogFiles(logs_).empty());
  Change(layer_, "Bonn");
  Change(plain, "Ulm");
  Change(silent, "Essen");
  Change(layer_, "Köln");
  EXPECT_EQ(LogFiles(logs_).size(), 2u);
  EXPECT_EQ(LogFiles(fromEnvironment.Path()), Lines{plain.LogFilePath()});
  {
    testing::ScopedEnvironment empty(kLogFolderVariable, "");
    DataLayer off;
    Change(off, "Bonn");
    EXPECT_EQ(off.LogFilePath(), "");
  }
  EXPECT_EQ(LogFiles(folder_.Path()).size(), 2u);  // the database and the folder of logs_
  std::filesystem::remove_all(logs_);
  EXPECT_EQ(Change(layer_, "Hamm"), Variant(true));
  EXPECT_NE(Status().find("Das Logfile konnte nicht geschrieben werden"), std::string::npos);
  EXPECT_NE(testing::Content(db_).find("Hamm"), std::string::npos);
}

// Values: markup, "=" and line breaks become references, as does what Windows-1252 lacks.
// Tag names: what cannot stand in a tag, and the log's own tag names, are escaped as _xHHHH_.
TEST(LogTextEncoding, EscapesWhatTheLogCannotCarryAndTagNamesRoundTrip) {
  EXPECT_EQ(EncodeLogText("a<b>&\"c\"=d\r\n\t€Ω😀\x01"),
            "a&lt;b&gt;&amp;&quot;c&quot;&#61;d&#13;&#10;\t€&#937;&#128512;&#1;");
  const std::pair<const char*, const char*> names[] = {{"Straße", "Straße"},
                                                       {"Kunde_ID-2.a", "Kunde_ID-2.a"},
                                                       {"Straße Nr", "Straße_x0020_Nr"},
                                                       {"1te", "_x0031_te"},
                                                       {"a=b", "a_x003D_b"},
                                                       {"ACTION", "_x0041_CTION"},
                                                       {"TRANSACTION", "TRANSACTION"},
                                                       {"a_x0041_b", "a_x005F_x0041_b"}};
  for (const auto& [name, encoded] : names) EXPECT_EQ(EncodeTagName(name), encoded);
  for (const char* name : {"Straße Nr", "1te", "a=b", "ACTION", "a_x0041_b", "x<y>", "Ω", "_x"}) {
    EXPECT_EQ(DecodeTagName(EncodeTagName(name)), name) << name;
  }
  EXPECT_EQ(DecodeTagName("_x00ZZ_"), "_x00ZZ_");
}

// The escaped names of a deleted record are columns to the data layer that writes them back.
TEST_F(LoggingSession, OddColumnNamesSurviveADeleteAndItsRestore) {
  Connection(db_).Exec(
      "CREATE TABLE Sonder (ID INTEGER PRIMARY KEY, \"Straße Nr\" TEXT, \"ACTION\" TEXT, "
      "\"1te\" INTEGER, \"a=b\" TEXT);"
      "INSERT INTO Sonder VALUES (5, 'Hauptstr. 1', 'x', 1, 'y=z');");
  Find("SELECT * FROM Sonder", 5);
  layer_.RemoveRecord(true);
  const auto log = ReadBack();
  ASSERT_EQ(log->GetActionList().size(), 1u);  // no field line reads as an action
  const auto deleted = log->GetActionData(1);
  ASSERT_EQ(deleted->PropertyCount(), 6);
  EXPECT_EQ(deleted->PropertyNameByIndex(3), "Straße_x0020_Nr");
  std::string query = "SELECT * FROM Sonder WHERE ID = 5";
  layer_.GetRecordset(query);
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
