#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "components/datalayer/ChangeLog.h"
#include "components/datalayer/DataLayer.h"
#include "fileset/FileSet.h"
#include "logdata/LogData.h"
#include "platform/posix/PosixEnvironment.h"
#include "tests/datalayer/SqliteFixtures.h"

namespace tarvesk {
namespace {

using Lines = std::vector<std::string>;

Lines LogFiles(const std::string& folder) {
  Lines files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    files.push_back(entry.path());
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
  // Loads all customers into layer and makes customer 1 current.
  void FindFirst(DataLayer& layer) {
    std::string query = "SELECT * FROM Kunden";
    int32_t id = 1;
    layer.GetRecordset(query);
    ASSERT_EQ(layer.FindRecord("ID", id), Variant(true));
  }
  // Opens a session of layer on the shop and saves Ort of customer 1.
  Variant Change(DataLayer& layer, const std::string& ort) {
    layer.SetDatabaseByPath(db_);
    FindFirst(layer);
    layer.SetFieldValue("Ort", ort);
    return layer.Save();
  }
  // The lines of the one log, each ended by CR LF, with no other CR or LF.
  Lines LogLines() {
    const auto files = LogFiles(logs_);
    const std::string bytes = files.size() == 1 ? testing::Bytes(files[0]) : "";
    Lines lines;
    for (size_t start = 0, end; start < bytes.size(); start = end + 2) {
      end = std::min(bytes.find("\r\n", start), bytes.size());  // a last line without CR LF
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
  FindFirst(layer_);
  layer_.SetFieldValue("Ort", "Köln");
  layer_.SetFieldValue("Vorname", "Jürgen");  // unchanged: no block
  layer_.SetFieldValue("Rabatt", "");
  layer_.Save();

  // The lines joined by "|", without session time, user, computer (lines 5-7) and action times.
  const Lines lines = LogLines();
  ASSERT_GT(lines.size(), 7u);
  std::string shown;
  for (size_t i = 0; i < lines.size(); ++i) {
    shown += (i ? "|" : "") + (i >= 4 && i <= 6                 ? ""
                               : lines[i].starts_with("<TIME>") ? "<TIME>"
                                                                : lines[i]);
  }
  std::string expected =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>|<TarveskDataLayerLog>|<HEAD>|<DATABASE>" +
      db_ + "</DATABASE>||||<APPLICATION>Kasse</APPLICATION>|</HEAD>|<LOGDATA>";
  for (const auto& [field, oldValue, newValue] :
       {std::tuple{"Ort", "M\xFCnchen", "K\xF6ln"}, std::tuple{"Rabatt", "0.05", ""}}) {
    expected +=
        std::string(
            "|<ACTION Info=\"UPDATE RECORDID=1\">|<TABLE>Kunden</TABLE>|<QueryString>SELECT * FROM "
            "Kunden WHERE ID &#61; 1</QueryString>|<TIME>|<FieldName>") +
        field + "</FieldName>|<OldValue>" + oldValue + "</OldValue>|<NewValue>" + newValue +
        "</NewValue>|</ACTION>";
  }
  EXPECT_EQ(shown, expected + "|</LOGDATA>|</TarveskDataLayerLog>");
}

// Errors go into the tail, where the log manager finds them.
TEST_F(LoggingSession, NotedErrorsGoIntoTheTail) {
  FindFirst(layer_);
  layer_.SetFieldValue("Telefon", "0221");
  layer_.SetFieldValue("Ort", "Bonn");
  layer_.Save();
  layer_.SetFieldValue("Fax", "0");
  const Lines lines = LogLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(Lines(lines.end() - 4, lines.end()),
            (Lines{"</LOGDATA>", lines[lines.size() - 3], "<ERRORCOUNT>2</ERRORCOUNT>",
                   "</TarveskDataLayerLog>"}));
  set_ = std::make_shared<FileSet>(env_);  // read back as the log manager reads it
  EXPECT_TRUE(set_->LoadFileSet(logs_));
  EXPECT_EQ(set_->FileCount(), 1);
  set_->ReadFileSetProperties();
  const auto log = set_->LogContent(1);
  EXPECT_EQ(log->ErrorInfo(), layer_.errorstatus().AsString());
  ASSERT_EQ(log->GetActionList().size(), 2u);
  EXPECT_EQ(log->GetActionList()[1], kErrorEntry);
  EXPECT_EQ(log->GetActionData(1)->PropertyContent("NewValue"), "Bonn");
}

// A log per changing session, in the host's folder, else the environment's.
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
  std::filesystem::remove_all(logs_);
  EXPECT_EQ(Change(layer_, "Hamm"), Variant(true));
  EXPECT_NE(layer_.errorstatus().AsString().find("Das Logfile konnte nicht geschrieben werden"),
            std::string::npos);
}

// What the log cannot carry is escaped: values as references, tag names as _xHHHH_.
TEST(LogTextEncoding, EscapesWhatTheLogCannotCarryAndTagNamesRoundTrip) {
  EXPECT_EQ(EncodeLogText("a<b>&\"c\"=d\r\n\t€Ω😀\x01"),
            "a&lt;b&gt;&amp;&quot;c&quot;&#61;d&#13;&#10;\t€&#937;&#128512;&#1;");
  const std::pair<const char*, const char*> names[] = {{"Straße", "Straße"},
                                                       {"Kunde_ID-2.a", "Kunde_ID-2.a"},
                                                       {"Straße Nr", "Straße_x0020_Nr"},
                                                       {"1te", "_x0031_te"},
                                                       {"ACTION", "_x0041_CTION"},
                                                       {"TRANSACTION", "TRANSACTION"},
                                                       {"a_x0041_b", "a_x005F_x0041_b"}};
  for (const auto& [name, encoded] : names) EXPECT_EQ(EncodeTagName(name), encoded);
  for (const char* name : {"Straße Nr", "1te", "ACTION", "a_x0041_b", "x<y>", "Ω", "_x"}) {
    EXPECT_EQ(DecodeTagName(EncodeTagName(name)), name) << name;
  }
  EXPECT_EQ(DecodeTagName("_x00ZZ_"), "_x00ZZ_");
}

}  // namespace
}  // namespace tarvesk
