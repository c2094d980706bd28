// Round trips through the change log, and the log a session leaves when it dies writing.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/undo/UndoFixtures.h"

namespace tarvesk {
namespace {

using RoundTrip = testing::UndoTest;

// Every storage class and odd column names: delete and restore, NULL and back, byte for byte.
TEST_F(RoundTrip, StorageClassesSurviveADeleteAndRestoreAndAnUpdateToNullAndBack) {
  const char* const names[] = {"Straße Nr", "1te", "I", "a=b", "B", "ACTION"};
  testing::Connection(db_).Exec(R"(
    CREATE TABLE Werte (ID INTEGER PRIMARY KEY, "Straße Nr" TEXT, "1te" NUMERIC, I INTEGER,
                        "a=b" REAL, B BLOB, "ACTION");
    INSERT INTO Werte VALUES (1, '', '19,95', 9007199254740993, 0.1, x'', 42);
    INSERT INTO Werte VALUES (2, '!###!', '1988-12-24', -9223372036854775808,
                              1.7976931348623157e308, x'00FF', 1.5);
    INSERT INTO Werte VALUES (3, CAST(x'610062' AS TEXT), 7, 2.5, -0.000123456789012345678,
                              'Text', '42');
    INSERT INTO Werte VALUES (4, CAST(x'C328FF' AS TEXT), 0.5, 'abc', NULL, x'0A0D3C26', x'');
    INSERT INTO Werte VALUES (5, CAST(x'0054616263' AS TEXT), '', 0, 3.0, NULL, '');
    INSERT INTO Werte VALUES (6, 'Zeile 1' || char(13, 10) || '<x>&"=' || char(9), NULL, NULL,
                              9e15, zeroblob(3), '!###!');
  )");
  // Every value of Werte with its storage class and its bytes.
  std::string columns = "ID";
  for (const char* c : names) columns += std::string(", typeof(\"") + c + "\"), hex(\"" + c + "\")";
  const auto exact = [&] {
    return testing::Connection(db_).Dump("SELECT " + columns + " FROM Werte");
  };
  const std::string start = exact();
  for (const bool remove : {true, false}) {
    FreshLogs();
    auto layer = Session();
    for (int32_t id = 1; id <= 6; ++id) {
      std::string query = "SELECT * FROM Werte WHERE ID = " + std::to_string(id);
      layer->GetRecordset(query);
      for (const char* c : names)
        EXPECT_TRUE(remove || layer->SetFieldValue(c, "") == Variant(true)) << c;
      remove ? layer->RemoveRecord(true) : layer->Save();
    }
    ASSERT_EQ(layer->errorstatus().AsString(), "");
    layer.reset();
    ASSERT_NE(exact(), start);
    const auto positions = ActionPositions(*Logs(logs_)->LogContent(1));
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) Undo(*it);  // last first
    Seen();  // each message with its icon; a failed undo shows in the content
    EXPECT_EQ(exact(), start) << (remove ? "restored" : "updated back");
  }
}

// A write cut at any byte, old tail behind it, reads as its complete actions with their details.
TEST_F(RoundTrip, EveryCutOfEveryLogWriteKeepsTheCompleteActions) {
  ChangeLogWriter writer(logs_, {"C:\\db\\shop.db", DateValue{46000.5}, "u", "c", "a"});
  std::vector<std::string> states;
  const auto append = [&](const char* kind, const std::string& id, const std::string& old) {
    writer.AppendAction(kind, id,
                        {{"TABLE", "Kunden"},
                         {"QueryString", "SELECT * FROM Kunden WHERE ID = " + id},
                         {"TIME", "01.12.2026"},
                         {"FieldName", "Ort"},
                         {"OldValue", old},
                         {"NewValue", "Bonn"}});
    states.push_back(testing::Bytes(writer.Path()));
  };
  append("UPDATE", "1", "Köln");
  writer.SetErrors("Der Datensatz konnte nicht gespeichert werden", 1);
  states.push_back(testing::Bytes(writer.Path()));
  append("NEWRECORD", "12", "");
  append("UPDATE", "2", std::string(300, 'x'));
  for (size_t s = 1; s < states.size(); ++s) {
    const std::string &old = states[s - 1], &next = states[s];
    const size_t from = std::mismatch(old.begin(), old.end(), next.begin(), next.end()).first -
                        old.begin();  // where the write began
    for (size_t cut = from; cut <= next.size(); ++cut) {
      const std::string torn = next.substr(0, cut) + (cut < old.size() ? old.substr(cut) : "");
      std::ofstream(writer.Path(), std::ios::binary) << torn;
      size_t complete = 0;
      for (size_t at = 0; (at = torn.find("</ACTION>", at)) != std::string::npos; ++at) ++complete;
      const auto log = Logs(logs_)->LogContent(1);
      const auto positions = ActionPositions(*log);
      ASSERT_EQ(positions.size(), complete) << "state " << s << ", cut " << cut << "\n" << torn;
      for (int32_t position : positions)
        ASSERT_GT(log->GetActionData(position)->PropertyCount(), 0);
    }
  }
}

}  // namespace
}  // namespace tarvesk
