// Test support for the undo: a fixture with a shop database, a folder for the logs of the
// sessions under test and one for the logs that the undo itself writes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "components/datalayer/ChangeLog.h"
#include "components/datalayer/DataLayer.h"
#include "fileset/FileSet.h"
#include "logdata/LogData.h"
#include "tests/datalayer/SqliteFixtures.h"
#include "tests/support/TestEnvironment.h"
#include "undo/ActionHandler.h"

namespace tarvesk::testing {

using Titles = std::vector<std::string>;

inline void ExpectMessage(const UserMessage& actual, const std::string& text,
                          const std::string& title, MessageButtons buttons, MessageIcon icon) {
  EXPECT_EQ(actual.text, text);
  EXPECT_EQ(actual.title, title);
  EXPECT_EQ(actual.buttons, buttons);
  EXPECT_EQ(actual.icon, icon);
  EXPECT_EQ(actual.defaultButton, 1);
}

class UndoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    messages_.questionAnswer = MessageAnswer::Yes;
    CreateShop(db_);
    std::filesystem::create_directory(logs_);
    std::filesystem::create_directory(undoLogs_);
  }

  // A data layer that logs into logs_, bound to the shop.
  std::unique_ptr<DataLayer> Session() {
    auto layer = std::make_unique<DataLayer>();
    layer->SetLogFolder(logs_);
    layer->SetDatabaseByPath(db_);
    return layer;
  }
  static void Load(DataLayer& layer, std::string query, int32_t id) {
    layer.GetRecordset(query);
    ASSERT_EQ(layer.FindRecord("ID", id), Variant(true));
  }
  // One session each: an update, a new record, a deleted record.
  void Update(const std::string& table, int32_t id, const std::string& field,
              const std::string& value) {
    auto layer = Session();
    Load(*layer, "SELECT * FROM " + table, id);
    layer->SetFieldValue(field, value);
    layer->Save();
  }
  void Insert(const std::string& table,
              const std::vector<std::pair<std::string, std::string>>& values) {
    auto layer = Session();
    std::string query = "SELECT * FROM " + table + " WHERE ID = 0";
    layer->GetRecordset(query);
    layer->AddNew();
    for (const auto& [field, value] : values) layer->SetFieldValue(field, value);
    layer->Save();
  }
  void Remove(const std::string& table, int32_t id) {
    auto layer = Session();
    Load(*layer, "SELECT * FROM " + table, id);
    layer->RemoveRecord(true);
  }

  // The log files of a folder as a loaded set; the fixture ejects it at the end, since
  // the set and the logs it hands out hold each other.
  std::shared_ptr<FileSet> Logs(const std::string& folder) {
    auto set = std::make_shared<FileSet>(env);
    set->LoadFileSet(folder);
    set->ReadFileSetProperties();
    sets_.push_back(set);
    return set;
  }
  void TearDown() override {
    for (const auto& set : sets_) set->EjectFileset();
  }
  static std::vector<int32_t> ActionPositions(LogData& log) {
    std::vector<int32_t> positions;
    for (const auto& entry : log.GetActionList()) {
      if (entry != kErrorEntry) positions.push_back(LeadingNumber(entry));
    }
    return positions;
  }
  // Undoes the action at position of log file fileIndex in logs_.
  void Undo(int32_t position, int32_t fileIndex = 1) {
    ActionHandler handler(env);
    handler.SetLogFileHandle(fileIndex);
    handler.SetFileSetObject(Logs(logs_));
    handler.SetActionHandle(position);
    EXPECT_TRUE(handler.UndoAction().IsEmpty());
  }
  // Undoes the first action of the log, expecting these message titles (and the last
  // message to hold reportPart) and the database to keep its bytes.
  void UndoKeepsTheBytes(const Titles& titles, const std::string& reportPart = "") {
    const std::string before = Bytes(db_);
    Undo(1);
    if (!reportPart.empty()) {
      ASSERT_FALSE(messages_.shown.empty());
      EXPECT_NE(messages_.shown.back().text.find(reportPart), std::string::npos)
          << messages_.shown.back().text;
    }
    EXPECT_EQ(messages_.TakeTitles(), titles);
    EXPECT_EQ(Bytes(db_), before);
  }
  // Empties the folder of the session logs, so that the next session's log is file 1.
  void FreshLogs() {
    std::filesystem::remove_all(logs_);
    std::filesystem::create_directory(logs_);
  }
  // Writes a log by hand with the given body lines.
  void HandLog(const std::string& database, const std::vector<std::string>& body) {
    folder_.WriteLines("logs/hand.xml", test::LogLines(database, "06.12.2026 11:40:00", body));
  }

  TempFolder folder_;
  std::string db_ = folder_ / "shop.db";
  std::string logs_ = folder_ / "logs";
  std::string undoLogs_ = folder_ / "undo-logs";
  // The undo's data layers log where the environment says.
  ScopedEnvironment logFolder_{kLogFolderVariable, undoLogs_};
  test::TestEnvironment env;
  test::ScriptedMessages& messages_ = env.messages;  // answers every question with Yes
  std::vector<std::shared_ptr<FileSet>> sets_;
};

}  // namespace tarvesk::testing
