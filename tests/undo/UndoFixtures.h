// Test support for the undo: a scripted message seam that records every message box and
// answers as told, and a fixture with a shop database, a folder for the logs of the
// sessions under test and one for the logs that the undo itself writes.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "automation/Conversions.h"
#include "components/ReferenceComponents.h"
#include "components/datalayer/ChangeLog.h"
#include "components/datalayer/DataLayer.h"
#include "datalayer/SqliteFixtures.h"
#include "fileset/FileSet.h"
#include "logdata/LogData.h"
#include "service/UserMessages.h"
#include "undo/ActionHandler.h"

namespace tarvesk::testing {

class ScriptedMessages : public IUserMessages {
 public:
  ScriptedMessages() : previous_(SetUserMessages(this)) {}
  ~ScriptedMessages() override { SetUserMessages(previous_); }

  MessageAnswer Show(const UserMessage& message) override {
    shown.push_back(message);
    if (message.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (answers.empty()) return questionAnswer;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (const auto& message : shown) titles.push_back(message.title);
    return titles;
  }

  std::vector<UserMessage> shown;
  std::deque<MessageAnswer> answers;                  // for questions, in order
  MessageAnswer questionAnswer = MessageAnswer::Yes;  // once answers is used up

 private:
  IUserMessages* previous_;
};

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
    RegisterReferenceComponents();
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
  void Update(const std::string& table, int32_t id, const std::string& field,
              const std::string& value) {
    auto layer = Session();
    Load(*layer, "SELECT * FROM " + table, id);
    layer->SetFieldValue(field, value);
    layer->Save();
  }

  // The log files of a folder as a loaded set; the fixture ejects it at the end, since
  // the set and the logs it hands out hold each other.
  std::shared_ptr<FileSet> Logs(const std::string& folder) {
    auto set = std::make_shared<FileSet>();
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
  // Undoes the action at position of log file fileIndex in folder (logs_ by default).
  void Undo(int32_t position, int32_t fileIndex = 1, std::string folder = {}) {
    ActionHandler handler;
    handler.SetLogFileHandle(fileIndex);
    handler.SetFileSetObject(Logs(folder.empty() ? logs_ : folder));
    handler.SetActionHandle(position);
    EXPECT_TRUE(handler.UndoAction().IsEmpty());
  }
  // Writes a log by hand (ASCII only) with the given body lines; returns its path.
  std::string HandLog(const std::string& database, const std::vector<std::string>& body,
                      const std::string& name = "hand.xml") {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
        "<TarveskDataLayerLog>\r\n<HEAD>\r\n<DATABASE>" +
        database +
        "</DATABASE>\r\n<SESSIONTIME>06.12.2026 11:40:00</SESSIONTIME>\r\n"
        "</HEAD>\r\n<LOGDATA>\r\n";
    for (const auto& line : body) text += line + "\r\n";
    text += "</LOGDATA>\r\n</TarveskDataLayerLog>\r\n";
    const std::string path = folder_ / ("logs/" + name);
    WriteBytes(path, text);
    return path;
  }

  TempFolder folder_;
  std::string db_ = folder_ / "shop.db";
  std::string logs_ = folder_ / "logs";
  std::string undoLogs_ = folder_ / "undo-logs";
  // The undo's data layers log where the environment says.
  ScopedEnvironment logFolder_{kLogFolderVariable, undoLogs_};
  ScriptedMessages messages_;
  std::vector<std::shared_ptr<FileSet>> sets_;
};

}  // namespace tarvesk::testing
