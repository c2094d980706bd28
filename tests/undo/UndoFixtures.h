// Test support for the undo: the shop, folders for the sessions' and the undo's own logs.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
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

class UndoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    messages_.questionAnswer = MessageAnswer::Yes;
    FreshShop();
    std::filesystem::create_directory(undoLogs_);
  }
  void TearDown() override {
    for (const auto& set : sets_) set->EjectFileset();  // the set and its logs hold each other
  }
  // No session logs yet; with FreshShop, the shop as created.
  void FreshLogs() {
    std::filesystem::remove_all(logs_);
    std::filesystem::create_directory(logs_);
  }
  void FreshShop() {
    std::filesystem::remove(db_);
    CreateShop(db_);
    FreshLogs();
  }

  // A data layer that logs into logs_, bound to the shop.
  std::unique_ptr<DataLayer> Session() {
    auto layer = std::make_unique<DataLayer>();
    layer->SetLogFolder(logs_);
    layer->SetDatabaseByPath(db_);
    return layer;
  }
  // A session of its own: "table id field=value ..." sets fields (id 0 adds; no field deletes).
  void Change(const std::string& what) {
    std::istringstream words(what);
    std::string table;
    int32_t id = 0;
    words >> table >> id;
    auto layer = Session();
    std::string query = "SELECT * FROM " + table + (id ? "" : " WHERE ID = 0");
    layer->GetRecordset(query);
    if (id == 0) layer->AddNew();
    EXPECT_TRUE(id == 0 || layer->FindRecord("ID", id) == Variant(true)) << what;
    bool set = false;
    for (std::string field; words >> field; set = true) {
      layer->SetFieldValue(field.substr(0, field.find('=')), field.substr(field.find('=') + 1));
    }
    set ? layer->Save() : layer->RemoveRecord(true);
  }

  // The log files of a folder as a loaded set.
  std::shared_ptr<FileSet> Logs(const std::string& folder) {
    auto set = std::make_shared<FileSet>(env);
    set->LoadFileSet(folder);
    set->ReadFileSetProperties();
    sets_.push_back(set);
    return set;
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
  // The titles shown since the last call, joined by ", ", each with its title's icon and buttons.
  std::string Seen() {
    const std::string questions = "|Aktion durchführen|Datensatz löschen|Datensatz wieder anlegen|";
    const std::string stops = "|Aktion nicht möglich|Komponente nicht verfügbar!|";
    std::string titles;
    for (const UserMessage& m : messages_.shown) {
      titles += (titles.empty() ? "" : ", ") + m.title;
      const auto icon =
          questions.find("|" + m.title + "|") != std::string::npos ? MessageIcon::Question
          : stops.find("|" + m.title + "|") != std::string::npos   ? MessageIcon::Critical
          : m.title == "Fehler bei Ausführung"                     ? MessageIcon::Exclamation
                                                                   : MessageIcon::Information;
      EXPECT_TRUE(m.icon == icon && m.defaultButton == 1 &&
                  m.buttons ==
                      (icon == MessageIcon::Question ? MessageButtons::YesNo : MessageButtons::Ok))
          << m.title;
    }
    messages_.shown.clear();
    return titles;
  }
  // A log written by hand with these body lines.
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
