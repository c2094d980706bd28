// The whole loop: a random session of updates, inserts and deletes through the data layer
// with logging on, then undone from its own log through ActionHandler; and the log a session
// leaves when it dies while writing.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "automation/Error.h"
#include "tests/undo/UndoFixtures.h"

namespace tarvesk {
namespace {

using testing::Bytes;
using testing::Connection;
using testing::Content;
using testing::UndoTest;

// The tables of the shop with their fields but ID.
const std::vector<std::pair<std::string, std::vector<std::string>>> kTables = {
    {"Kunden", {"Name", "Vorname", "Ort", "Geburtsdatum", "Rabatt", "Punkte"}},
    {"Artikel", {"Bezeichnung", "Preis", "Bestand"}},
    {"Bestellungen", {"KundeID", "ArtikelID", "Menge", "Bestelldatum", "Bemerkung"}}};

// A session of count random updates (6 in 10), inserts (2) and deletes (2) on random
// records, with values that challenge the log's text encoding.
void RunRandomSession(DataLayer& layer, const std::string& db, unsigned seed, int count) {
  std::mt19937 random(seed);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  auto value = [&](const std::string& field) -> std::string {
    static const char* kTexts[] = {
        "Müller",  "Weiß & Söhne", "Ærø <Insel>", "a=b; c=\"d\"",    "Zeile 1\r\nZeile 2",
        "€ 12,50", "007",          "Ω-Straße 5",  "  Leerzeichen  ", "TRANSACTION </ACTION>"};
    if (pick(6) == 0) return "";  // NULL where allowed
    if (field == "Rabatt" || field == "Preis") {
      return pick(2) ? std::to_string(pick(1000)) + "." + std::to_string(pick(100))
                     : std::to_string(static_cast<double>(pick(64)) / 8);
    }
    if (field.ends_with("ID") || field == "Punkte" || field == "Bestand" || field == "Menge") {
      return std::to_string(pick(100000));
    }
    if (field.ends_with("datum"))
      return "19" + std::to_string(50 + pick(50)) + "-0" + std::to_string(1 + pick(9)) + "-1" +
             std::to_string(pick(10));
    return kTexts[pick(std::size(kTexts))];
  };
  for (int i = 0; i < count; ++i) {
    const auto& [table, fields] = kTables[pick(kTables.size())];
    const size_t operation = pick(10);
    std::string query = "SELECT * FROM " + table;
    std::istringstream rows(Connection(db).Dump("SELECT ID FROM " + table));
    std::vector<int32_t> ids;
    for (std::string row; std::getline(rows, row);) ids.push_back(std::stoi(row.substr(4)));
    if (operation >= 6 && operation < 8) {
      query += " WHERE ID = 0";
      layer.GetRecordset(query);
      layer.AddNew();
      for (const auto& field : fields) {
        if (pick(3)) layer.SetFieldValue(field, value(field));
      }
      if (table != "Bestellungen") layer.SetFieldValue(fields[0], "Neu");  // NOT NULL
    } else if (!ids.empty()) {
      layer.GetRecordset(query);
      int32_t id = ids[pick(ids.size())];
      ASSERT_EQ(layer.FindRecord("ID", id), Variant(true));
      if (operation >= 8) {
        layer.RemoveRecord(true);
        continue;
      }
      for (size_t changes = 1 + pick(3); changes > 0; --changes) {
        const std::string& field = fields[pick(fields.size())];
        layer.SetFieldValue(field, value(field));
      }
    } else {
      continue;
    }
    layer.Save();
  }
  ASSERT_EQ(layer.errorstatus().AsString(), "");
}

class RoundTrip : public UndoTest {
 protected:
  // Undoes every action of log 1 in logs_, last first, with no failure shown; answers the
  // kinds of the actions undone in that order.
  std::vector<std::string> UndoAll() {
    const auto log = Logs(logs_)->LogContent(1);
    const auto positions = ActionPositions(*log);
    std::vector<std::string> kinds;
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
      kinds.push_back(log->GetActionData(*it)->PropertyContent("ACTION"));
      Undo(*it);
    }
    const std::string seen = Seen();
    EXPECT_EQ(seen.find("Fehler"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("nicht möglich"), std::string::npos) << seen;
    return kinds;
  }
};

TEST_F(RoundTrip, UndoingEveryActionOfARandomSessionInReverseRestoresTheStart) {
  const std::string start = Content(db_);
  for (const unsigned seed : {1u, 2u, 3u, 42u, 2026u}) {
    SCOPED_TRACE(seed);
    FreshShop();
    std::filesystem::remove_all(undoLogs_), std::filesystem::create_directory(undoLogs_);
    RunRandomSession(*Session(), db_, seed, 40);
    ASSERT_NE(Content(db_), start);
    const std::vector<std::string> kinds = UndoAll();
    ASSERT_GE(kinds.size(), 20u);
    EXPECT_EQ(Content(db_), start);
    // Every undo ran in a session of its own, and each logged the inverse of its action.
    const auto undoLogs = Logs(undoLogs_);
    ASSERT_EQ(undoLogs->FileCount(), static_cast<int32_t>(kinds.size()));
    for (int32_t file = 1; file <= undoLogs->FileCount(); ++file) {
      const auto log = undoLogs->LogContent(file);
      const std::string& kind = kinds[static_cast<size_t>(file - 1)];
      ASSERT_EQ(ActionPositions(*log), std::vector<int32_t>{1}) << undoLogs->File(file);
      EXPECT_EQ(log->GetActionData(1)->PropertyContent("ACTION"), kind == "UPDATE" ? kind
                                                                  : kind == "NEWRECORD"
                                                                      ? "DELETE_inDB"
                                                                      : "NEWRECORD");
      EXPECT_EQ(log->ErrorInfo(), "");
    }
  }
}

// Values plain text cannot carry, in columns of every affinity: deleting a record and
// restoring it, and setting each field to NULL and undoing that, give every byte back.
TEST_F(RoundTrip, StorageClassesSurviveADeleteAndRestoreAndAnUpdateToNullAndBack) {
  Connection(db_).Exec(R"(
    CREATE TABLE Werte (ID INTEGER PRIMARY KEY, T TEXT, N NUMERIC, I INTEGER, R REAL, B BLOB, X);
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
  for (const char* c : {"T", "N", "I", "R", "B", "X"}) {
    columns += std::string(", typeof(") + c + ") || ':' || hex(" + c + ")";
  }
  const auto exact = [&] { return Connection(db_).Dump("SELECT " + columns + " FROM Werte"); };
  const std::string start = exact();
  for (const bool remove : {true, false}) {
    FreshLogs();
    auto layer = Session();
    for (int32_t id = 1; id <= 6; ++id) {
      std::string query = "SELECT * FROM Werte WHERE ID = " + std::to_string(id);
      layer->GetRecordset(query);
      if (remove) layer->RemoveRecord(true);
      for (const char* c : {"T", "N", "I", "R", "B", "X"}) {
        if (!remove) layer->SetFieldValue(c, "");
      }
      if (!remove) layer->Save();
    }
    ASSERT_EQ(layer->errorstatus().AsString(), "");
    layer.reset();
    ASSERT_NE(exact(), start);
    EXPECT_FALSE(UndoAll().empty());
    EXPECT_EQ(exact(), start) << (remove ? "restored" : "updated back");
  }
}

// The writer rewrites the tail behind each new block, so a write cut at byte j leaves the
// new block's (and new tail's) first j bytes over the old tail. Every such state of a real
// writer's log (after each action and after a noted error), cut at each byte, reads and
// lists exactly its complete actions, each with its details.
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
    states.push_back(Bytes(writer.Path()));
  };
  append("UPDATE", "1", "Köln");
  writer.SetErrors("Der Datensatz konnte nicht gespeichert werden", 1);
  states.push_back(Bytes(writer.Path()));
  append("NEWRECORD", "12", "");
  append("UPDATE", "2", std::string(300, 'x'));
  for (size_t s = 1; s < states.size(); ++s) {
    const std::string &old = states[s - 1], &next = states[s];
    const size_t from = std::mismatch(old.begin(), old.end(), next.begin(), next.end()).first -
                        old.begin();  // where the write began
    for (size_t cut = from; cut <= next.size(); ++cut) {
      const std::string torn = next.substr(0, cut) + (cut < old.size() ? old.substr(cut) : "");
      testing::WriteBytes(writer.Path(), torn);
      size_t complete = 0;
      for (size_t at = 0; (at = torn.find("</ACTION>", at)) != std::string::npos; ++at) {
        ++complete;
      }
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
