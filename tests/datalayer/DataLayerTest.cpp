#include <gtest/gtest.h>

#include "automation/Error.h"
#include "components/datalayer/DataLayer.h"
#include "tests/datalayer/SqliteFixtures.h"

namespace tarvesk {
namespace {

using testing::Bytes;
using testing::Connection;

class DataLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateShop(db_);
    layer_.SetLogFolder("");
  }
  // Opens the shop and loads the rows of query.
  void Load(std::string query) {
    layer_.SetDatabaseByPath(db_);
    layer_.GetRecordset(query);
  }
  bool Find(int32_t id) { return layer_.FindRecord("ID", id) == Variant(true); }
  // Loads query, makes record id current and notes the bytes of the database.
  void Open(const std::string& query, int32_t id) {
    Load(query);
    ASSERT_TRUE(Find(id)) << query;
    before_ = Bytes(db_);
  }
  std::string Status() { return layer_.errorstatus().AsString(); }
  bool Noted(const std::string& part) { return Status().find(part) != std::string::npos; }
  // The status holds part, and the database has the bytes it had at Open.
  void ExpectRefused(const std::string& part) {
    EXPECT_TRUE(Noted(part)) << Status();
    EXPECT_EQ(Bytes(db_), before_);
  }
  std::string Dump(const std::string& query) { return Connection(db_).Dump(query); }

  testing::TempFolder folder_;
  std::string db_ = folder_ / "shop.db";
  DataLayer layer_;
  std::string before_;
};

// A missing path is noted once, never created; no database is left alone; a new path starts anew.
TEST_F(DataLayerTest, WhatCannotBeOpenedIsNotedAndLeftAlone) {
  const std::string missing = folder_ / "nirgends.db", text = folder_ / "notes.db";
  layer_.SetDatabaseByPath(missing);
  EXPECT_EQ(Status(), "Die Datenbank \"" + missing + "\" wurde nicht gefunden.");
  std::string query = "SELECT * FROM Kunden";
  int32_t id = 1;
  for (const Variant& result :
       {layer_.GetRecordset(query), layer_.FindRecord("ID", id), layer_.AddNew(), layer_.Save()}) {
    EXPECT_EQ(result, Variant(false));
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_FALSE(Noted("\r\n"));  // one failure, one line
  folder_.WriteBytes("notes.db", std::string(4096, 'x'));
  layer_.SetDatabaseByPath(text);
  EXPECT_TRUE(Status().ends_with("\r\nDie Datei \"" + text + "\" ist keine Datenbank."))
      << Status();
  EXPECT_EQ(Bytes(text), std::string(4096, 'x'));
  layer_.SetDatabaseByPath(folder_.Path());
  EXPECT_TRUE(Noted("keine Datenbankdatei"));
  Load("SELECT * FROM Kunden");
  EXPECT_TRUE(Find(2));
}

// Another connection's lock is waited for, then noted: exclusive when opening, a writer's on save.
TEST_F(DataLayerTest, ALockedDatabaseIsNotedAfterWaiting) {
  Connection other(db_);
  other.Exec("BEGIN EXCLUSIVE; UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1;");
  layer_.SetBusyTimeout(50);
  layer_.SetDatabaseByPath(db_);
  EXPECT_EQ(Status(), "Die Datenbank \"" + db_ + "\" ist gesperrt.");
  other.Exec("ROLLBACK; BEGIN IMMEDIATE");
  Open("SELECT * FROM Kunden", 1);
  layer_.SetFieldValue("Ort", "Bonn");
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_TRUE(Noted("Die Datenbank ist gesperrt"));
}

// Labels and typed values of any reading statement; names in any case, as SQLite takes them.
TEST_F(DataLayerTest, RowsComeBackWithLabelsAndTypedValues) {
  Load("SELECT ID, Name, Rabatt, Geburtsdatum, Punkte FROM Kunden ORDER BY ID");
  ASSERT_TRUE(Find(2));
  const auto record = layer_.GetOfflineRecordset()->Records(layer_.ActualPosition());
  ASSERT_EQ(record->FieldCount(), 5);
  EXPECT_EQ(record->Fields(1)->Description(), Variant("ID"));
  EXPECT_EQ(record->Fields(2)->Anything(), Variant("Weiß"));
  ASSERT_TRUE(Find(1));
  EXPECT_EQ(layer_.FieldValue("rabatt"), Variant(0.05));
  EXPECT_THROW(record->Fields(6), Error);
  EXPECT_THROW(layer_.GetOfflineRecordset()->Records(Variant(int32_t{4})), Error);
  EXPECT_FALSE(Find(99));  // a miss neither moves nor notes anything
  EXPECT_EQ(layer_.ActualPosition(), Variant(int32_t{1}));
  EXPECT_EQ(Status(), "");
  Load("SELECT 5000000000 AS Gross");
  EXPECT_EQ(layer_.FieldValue("Gross"), Variant(int64_t{5000000000}));
  Load("SELECT * FROM Kunden WHERE ID = 2;  \r\n");
  EXPECT_TRUE(Find(2));
  Load("SELECT Name FROM Kunden");
  EXPECT_FALSE(Find(1));
  EXPECT_TRUE(Noted("\"ID\" ist nicht in den geladenen")) << Status();
}

// Anything but one plain, bounded SELECT of few enough records is refused with error 5.
TEST_F(DataLayerTest, QueriesBeyondTheirLimitsAreRefusedWithError5) {
  const std::string more = "nach der ersten Anweisung folgt weiterer Text";
  const std::string select = "erlaubt ist nur eine lesende SELECT-Abfrage";
  const std::pair<std::string, std::string> refused[] = {
      {"SELECT * FROM Kunden; DROP TABLE Kunden", more},
      {"UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1", select},
      {"EXPLAIN SELECT * FROM Kunden", select},
      {"SELECT * FROM Kunden WHERE ID = ?", "sie enthält Parameter"},
      {"", "sie ist leer"},
      {"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
       "SELECT * FROM Kunden WHERE ID IN (SELECT i FROM n)",
       "rekursive Abfragen"},
      {"SELECT count(*) FROM Kunden a, Kunden b, Kunden c, Kunden d, Kunden e, Kunden f, Kunden g, "
       "Kunden h, Kunden i, Kunden j, Kunden k, Kunden l, Kunden m, Kunden n, Kunden o, Kunden p",
       "Rechenschritte"},
      {"SELECT randomblob(2000000000), * FROM Kunden WHERE ID = 1", "zu langen Wert"},
      {"SELECT * FROM Kunden WHERE ID = 1" + std::string(200000, ' '), "zu lang."},
      {"SELECT * FROM Kunden a, Kunden b", "mehr als einen Datensatz"}};
  layer_.SetDatabaseByPath(db_);
  layer_.SetMaxRecords(1);
  for (auto [query, reason] : refused) {
    EXPECT_EQ(test::ErrorNumberOf([&] { layer_.GetRecordset(query); }), kInvalidProcedureCall);
    const std::string text = test::ErrorTextOf([&] { layer_.GetRecordset(query); });
    EXPECT_TRUE(text.find("wurde abgelehnt: ") < text.find(reason) && text.ends_with(".")) << text;
  }
}

// Rows of several tables or of one without a key are read, not written.
TEST_F(DataLayerTest, RowsOfSeveralTablesOrWithoutKeyAreReadButNotWritten) {
  Open(
      "SELECT Bestellungen.ID, Kunden.Name FROM Bestellungen JOIN Kunden "
      "ON Kunden.ID = Bestellungen.KundeID",
      2);
  layer_.SetFieldValue("Name", "Bonn");
  layer_.Save();
  ExpectRefused("nicht aus genau einer Tabelle");
  Connection(db_).Exec("INSERT INTO Notizen VALUES ('eins')");
  before_ = Bytes(db_);
  Load("SELECT * FROM Notizen");
  EXPECT_EQ(layer_.FieldValue("Text"), Variant("eins"));
  layer_.SetFieldValue("Text", "zwei");
  ExpectRefused("keinen Primärschlüssel");
}

// Values are bound, by their column: empty text is NULL, numbers strict (decimal comma allowed).
TEST_F(DataLayerTest, ValuesAreConvertedByTheirColumnAndBound) {
  Open("SELECT * FROM Kunden", 1);
  for (const char* name : {"Telefon", "Ort\" = 'x', \"Name", "Ort = 1; DROP TABLE Kunden; --"}) {
    EXPECT_EQ(layer_.SetFieldValue(name, "x"), Variant(false)) << name;
  }
  EXPECT_EQ(layer_.Save(), Variant(true));  // nothing pending
  ExpectRefused("Das Feld \"Telefon\" ist keine Spalte der Tabelle \"Kunden\".");
  const std::pair<const char*, const char*> values[] = {{"Name", ""},
                                                        {"Vorname", "007"},
                                                        {"Ort", "x'); DROP TABLE Kunden; --"},
                                                        {"Punkte", "12abc"},
                                                        {"Rabatt", "19,95"}};
  for (const auto& [field, value] : values) layer_.SetFieldValue(field, value);
  layer_.Save();
  EXPECT_EQ(Dump("SELECT Name, Vorname, Ort, Punkte, Rabatt FROM Kunden WHERE ID = 1"),
            "text:|text:007|text:x'); DROP TABLE Kunden; --|int:120|real:19.949999999999999\n");
  EXPECT_TRUE(
      Noted("Der Wert \"12abc\" passt nicht in die Spalte \"Punkte\" der Tabelle \"Kunden\"."));
  layer_.SetFieldValue("Ort", "");
  layer_.Save();
  EXPECT_TRUE(layer_.FieldValue("Ort").IsNull());
}

// A write that breaks a rule, has no current record or whose record is gone writes nothing.
TEST_F(DataLayerTest, AWriteThatCannotBeDoneWritesNothing) {
  Open("SELECT * FROM Artikel", 1);
  layer_.SetFieldValue("Bezeichnung", "Mutter M4");
  layer_.SetFieldValue("Bestand", "-1");  // breaks the CHECK
  EXPECT_EQ(layer_.Save(), Variant(false));
  ExpectRefused("Bedingung der Datenbank wurde verletzt");
  Load("SELECT * FROM Kunden WHERE ID = 0");
  EXPECT_EQ(layer_.SetFieldValue("Ort", "Bonn"), Variant(false));
  EXPECT_EQ(layer_.Save(), Variant(false));
  ExpectRefused("keinen aktuellen Datensatz");
  layer_.AddNew();
  layer_.SetFieldValue("ID", "2");  // in use
  layer_.SetFieldValue("Name", "Doppelt");
  EXPECT_EQ(layer_.Save(), Variant(false));
  const std::string status = Status();  // noted a second time
  EXPECT_NE(status.find("Bedingung", status.find("Bedingung") + 1), std::string::npos) << status;
  Open("SELECT * FROM Kunden", 3);
  Connection(db_).Exec("DELETE FROM Kunden WHERE ID = 3");
  before_ = Bytes(db_);
  layer_.SetFieldValue("Ort", "Bonn");
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_EQ(layer_.RemoveRecord(true), Variant(false));
  ExpectRefused("nicht mehr in der Tabelle \"Kunden\" vorhanden");
}

// In rollback and in WAL mode; reading leaves no -wal or -shm file behind.
TEST_F(DataLayerTest, AReadOnlyDatabaseIsReadButNotWritten) {
  for (const bool wal : {false, true}) {
    if (wal) Connection(db_).Exec("PRAGMA journal_mode = WAL");
    std::filesystem::permissions(db_, std::filesystem::perms::owner_read);
    Open("SELECT * FROM Kunden WHERE ID = 1", 1);
    layer_.SetFieldValue("Ort", "Bonn");
    EXPECT_EQ(layer_.Save(), Variant(false));
    ExpectRefused("schreibgeschützt");
    layer_.SetDatabaseByPath("");  // closes the database
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
      EXPECT_FALSE(std::filesystem::exists(db_ + suffix)) << suffix << (wal ? " in WAL mode" : "");
    }
    std::filesystem::permissions(db_, std::filesystem::perms::owner_all);
  }
}

// A saved new record has its id and is an ordinary one; RemoveRecord deletes or only forgets.
TEST_F(DataLayerTest, AddNewInsertsAndRemoveRecordDeletesOrForgets) {
  Load("SELECT * FROM Kunden WHERE ID = 0");
  EXPECT_EQ(layer_.ActualPosition(), Variant(int32_t{0}));
  layer_.AddNew();
  layer_.SetFieldValue("Name", "Neu");
  layer_.SetFieldValue("Rabatt", "2");
  EXPECT_EQ(layer_.Save(), Variant(true));
  EXPECT_EQ(layer_.FieldValue("ID"), Variant(int32_t{4}));
  EXPECT_EQ(layer_.FieldValue("Rabatt"), Variant(2.0));  // read back as the REAL stored
  layer_.SetFieldValue("Ort", "Ulm");
  layer_.Save();
  EXPECT_EQ(Dump("SELECT * FROM Kunden WHERE ID = 4"),
            "int:4|text:Neu|null|text:Ulm|null|real:2|null\n");
  EXPECT_EQ(Status(), "");
  Open("SELECT * FROM Bestellungen", 2);
  EXPECT_EQ(layer_.RemoveRecord(false), Variant(true));
  EXPECT_FALSE(Find(2));
  EXPECT_EQ(Bytes(db_), before_);
  Open("SELECT * FROM Bestellungen", 2);
  EXPECT_EQ(layer_.RemoveRecord(true), Variant(true));
  EXPECT_EQ(Dump("SELECT ID FROM Bestellungen"), "int:1\n");
  EXPECT_EQ(layer_.ActualPosition(), Variant(int32_t{0}));
  EXPECT_FALSE(Find(2));
}

}  // namespace
}  // namespace tarvesk
