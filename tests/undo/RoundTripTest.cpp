// The whole loop: a random session of updates, inserts and deletes through the data layer
// with logging on, then undone from its own log through ActionHandler.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>

#include "automation/Error.h"
#include "undo/UndoFixtures.h"

namespace tarvesk {
namespace {

using testing::Connection;
using testing::Content;
using testing::UndoTest;

struct TableShape {
  const char* name;
  std::vector<const char*> fields;  // without ID
};
const std::vector<TableShape> kTables = {
    {"Kunden", {"Name", "Vorname", "Ort", "Geburtsdatum", "Rabatt", "Punkte"}},
    {"Artikel", {"Bezeichnung", "Preis", "Bestand"}},
    {"Bestellungen", {"KundeID", "ArtikelID", "Menge", "Bestelldatum", "Bemerkung"}}};

class RandomSession {
 public:
  explicit RandomSession(unsigned seed) : random_(seed) {}

  // Runs count operations; returns the kinds of the actions it logged, in order.
  void Run(DataLayer& layer, int count) {
    for (int i = 0; i < count; ++i) {
      const TableShape& table = kTables[Pick(kTables.size())];
      const int operation = static_cast<int>(Pick(10));
      if (operation < 6) {
        UpdateSome(layer, table);
      } else if (operation < 8) {
        Insert(layer, table);
      } else {
        DeleteOne(layer, table);
      }
    }
    ASSERT_EQ(layer.errorstatus().AsString(), "");
  }

 private:
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

  std::string Value(const std::string& field) {
    static const char* kTexts[] = {
        "Müller",  "Weiß & Söhne", "Ærø <Insel>", "a=b; c=\"d\"",    "Zeile 1\r\nZeile 2",
        "€ 12,50", "007",          "Ω-Straße 5",  "  Leerzeichen  ", "TRANSACTION </ACTION>"};
    if (Pick(6) == 0) return "";  // NULL where allowed
    if (field == "Rabatt" || field == "Preis") {
      return Pick(2) ? std::to_string(Pick(1000)) + "." + std::to_string(Pick(100))
                     : std::to_string(static_cast<double>(Pick(64)) / 8);
    }
    if (field == "Punkte" || field == "Bestand" || field == "Menge" || field == "KundeID" ||
        field == "ArtikelID") {
      return std::to_string(Pick(100000));
    }
    if (field == "Geburtsdatum" || field == "Bestelldatum") {
      return "19" + std::to_string(50 + Pick(50)) + "-0" + std::to_string(1 + Pick(9)) + "-1" +
             std::to_string(Pick(10));
    }
    return kTexts[Pick(std::size(kTexts))];
  }

  std::vector<int32_t> Ids(DataLayer& layer, const TableShape& table) {
    std::string query = std::string("SELECT ID FROM ") + table.name;
    layer.GetRecordset(query);
    std::vector<int32_t> ids;
    const auto records = layer.GetOfflineRecordset();
    for (int32_t i = 1;; ++i) {
      try {
        ids.push_back(records->Records(Variant(i))->Fields(1)->Anything().AsLong());
      } catch (const Error&) {
        break;
      }
    }
    return ids;
  }

  bool Open(DataLayer& layer, const TableShape& table) {
    const auto ids = Ids(layer, table);
    if (ids.empty()) return false;
    std::string query = std::string("SELECT * FROM ") + table.name;
    layer.GetRecordset(query);
    int32_t id = ids[Pick(ids.size())];
    return layer.FindRecord("ID", id) == Variant(true);
  }

  void UpdateSome(DataLayer& layer, const TableShape& table) {
    if (!Open(layer, table)) return;
    const size_t changes = 1 + Pick(3);
    for (size_t k = 0; k < changes; ++k) {
      const std::string field = table.fields[Pick(table.fields.size())];
      layer.SetFieldValue(field, Value(field));
    }
    layer.Save();
  }

  void Insert(DataLayer& layer, const TableShape& table) {
    std::string query = std::string("SELECT * FROM ") + table.name + " WHERE ID = 0";
    layer.GetRecordset(query);
    layer.AddNew();
    for (const char* field : table.fields) {
      if (Pick(3)) layer.SetFieldValue(field, Value(field));
    }
    // NOT NULL columns get a value.
    if (std::string(table.name) == "Kunden") layer.SetFieldValue("Name", "Neu");
    if (std::string(table.name) == "Artikel") layer.SetFieldValue("Bezeichnung", "Neu");
    layer.Save();
  }

  void DeleteOne(DataLayer& layer, const TableShape& table) {
    if (Open(layer, table)) layer.RemoveRecord(true);
  }

  std::mt19937 random_;
};

// Every value of the shop's tables by table, record id and field, as type and text.
using CellKey = std::tuple<std::string, std::string, std::string>;
using Cells = std::map<CellKey, std::string>;

Cells ReadCells(const std::string& path) {
  Connection db(path);
  Cells cells;
  for (const auto& shape : kTables) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db.Handle(), (std::string("SELECT * FROM ") + shape.name).c_str(), -1,
                       &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const std::string id = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const int type = sqlite3_column_type(statement, i);
        std::string value = std::to_string(type) + ":";
        if (type == SQLITE_FLOAT) {
          char buffer[40];
          std::snprintf(buffer, sizeof buffer, "%.17g", sqlite3_column_double(statement, i));
          value += buffer;
        } else if (type != SQLITE_NULL) {
          value += reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
        }
        cells[{shape.name, id, sqlite3_column_name(statement, i)}] = value;
      }
    }
    sqlite3_finalize(statement);
  }
  return cells;
}

std::string Literal(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

class UndoRoundTrip : public UndoTest, public ::testing::WithParamInterface<unsigned> {
 protected:
  void SetUp() override {
    UndoTest::SetUp();
    start_ = Content(db_);
    auto layer = Session();
    RandomSession(GetParam()).Run(*layer, 40);
    log_ = Logs(logs_)->LogContent(1);
    positions_ = ActionPositions(*log_);
  }
  std::string Kind(int32_t position) {
    return log_->GetActionData(position)->PropertyContent("ACTION");
  }

  std::string start_;
  std::shared_ptr<LogData> log_;
  std::vector<int32_t> positions_;
};

TEST_P(UndoRoundTrip, UndoingEveryActionInReverseRestoresTheStart) {
  ASSERT_GE(positions_.size(), 20u);
  ASSERT_NE(Content(db_), start_);
  std::vector<std::string> expectedUndoKinds;
  for (auto it = positions_.rbegin(); it != positions_.rend(); ++it) {
    const std::string kind = Kind(*it);
    expectedUndoKinds.push_back(kind == "UPDATE"      ? "UPDATE"
                                : kind == "NEWRECORD" ? "DELETE_inDB"
                                                      : "NEWRECORD");
    Undo(*it);
  }
  for (const auto& message : messages_.shown) {
    EXPECT_TRUE(message.title != "Fehler bei Ausführung" && message.title != "Aktion nicht möglich")
        << message.title << ": " << message.text;
  }
  EXPECT_EQ(Content(db_), start_);

  // Every undo ran in a session of its own, and each logged what it did.
  const auto undoLogs = Logs(undoLogs_);
  ASSERT_EQ(undoLogs->FileCount(), static_cast<int32_t>(positions_.size()));
  for (int32_t file = 1; file <= undoLogs->FileCount(); ++file) {
    const auto log = undoLogs->LogContent(file);
    const auto positions = ActionPositions(*log);
    ASSERT_EQ(positions.size(), 1u) << undoLogs->File(file);
    EXPECT_EQ(log->GetActionData(positions[0])->PropertyContent("ACTION"),
              expectedUndoKinds[static_cast<size_t>(file - 1)]);
    EXPECT_EQ(log->ErrorInfo(), "");
  }
}

TEST_P(UndoRoundTrip, UndoingOneUpdateInTheMiddleChangesThatFieldAlone) {
  // The first update from the middle on whose record still exists at the end.
  const Cells end = ReadCells(db_);
  std::string table, id, field, oldValue;
  int32_t chosen = 0;
  for (size_t k = positions_.size() / 2; k < positions_.size() && !chosen; ++k) {
    const auto data = log_->GetActionData(positions_[k]);
    if (data->PropertyContent("ACTION") != "UPDATE") continue;
    const std::string query = log_->RetrieveActionQueryString(positions_[k]);
    const std::string candidate = query.substr(14, query.find(' ', 14) - 14);  // SELECT * FROM t
    if (end.count({candidate, data->PropertyContent("RECORDID"), "ID"})) {
      chosen = positions_[k];
      table = candidate;
      id = data->PropertyContent("RECORDID");
      field = data->PropertyContent("FieldName");
      oldValue = data->PropertyContent("OldValue");
    }
  }
  ASSERT_NE(chosen, 0) << "the session left no updated record";
  Undo(chosen);
  EXPECT_EQ(messages_.Titles(), (std::vector<std::string>{"Aktion durchführen", "Aktion"}));

  const Cells now = ReadCells(db_);
  ASSERT_EQ(now.size(), end.size());
  for (const auto& [cell, value] : end) {
    ASSERT_TRUE(now.count(cell));
    if (cell == CellKey{table, id, field}) continue;
    EXPECT_EQ(now.at(cell), value)
        << std::get<0>(cell) << " " << std::get<1>(cell) << " " << std::get<2>(cell);
  }
  // The one field holds the logged old value again, NULL for an empty one.
  Connection db(db_);
  EXPECT_EQ(db.Dump("SELECT count(*) FROM " + table + " WHERE ID = " + id + " AND (" + field +
                    " = " + Literal(oldValue) + " OR (" + field + " IS NULL AND " +
                    Literal(oldValue) + " = ''))"),
            "int:1\n")
      << table << "." << field << " of " << id << " should be " << oldValue;
}

INSTANTIATE_TEST_SUITE_P(Seeds, UndoRoundTrip, ::testing::Values(1u, 2u, 3u, 42u, 2026u));

}  // namespace
}  // namespace tarvesk
