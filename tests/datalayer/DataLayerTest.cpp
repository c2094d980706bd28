#include <gtest/gtest.h>

#include "automation/Error.h"
#include "components/datalayer/DataLayer.h"
#include "datalayer/SqliteFixtures.h"

namespace tarvesk {
namespace {

using testing::Bytes;
using testing::Connection;
using testing::Content;
using testing::CreateShop;
using testing::TempFolder;

std::string Status(DataLayer& layer) { return layer.errorstatus().AsString(); }

class DataLayerTestBase : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateShop(db_);
    layer_.SetLogFolder("");
  }
  // Opens the shop and loads the rows of query.
  void Load(std::string query) {
    layer_.SetDatabaseByPath(db_);
    layer_.GetRecordset(query);
  }
  bool Find(int32_t id) {
    const Variant found = layer_.FindRecord("ID", id);
    return found.GetType() == Variant::Type::Boolean && found.AsBool();
  }

  TempFolder folder_;
  std::string db_ = folder_ / "shop.db";
  DataLayer layer_;
};

// ---------------------------------------------------------------------------------------
using DataLayerOpening = DataLayerTestBase;

TEST_F(DataLayerOpening, MissingPathIsNotedAndNeverCreated) {
  const std::string missing = folder_ / "nirgends.db";
  layer_.SetDatabaseByPath(missing);
  EXPECT_EQ(Status(layer_), "Die Datenbank \"" + missing + "\" wurde nicht gefunden.");
  std::string query = "SELECT * FROM Kunden";
  EXPECT_EQ(layer_.GetRecordset(query), Variant(false));
  int32_t id = 1;
  EXPECT_EQ(layer_.FindRecord("ID", id), Variant(false));
  EXPECT_EQ(layer_.AddNew(), Variant(false));
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_FALSE(std::filesystem::exists(missing));
  // One failure, one line: the later calls add nothing.
  EXPECT_EQ(Status(layer_).find("\r\n"), std::string::npos);
}

TEST_F(DataLayerOpening, FileThatIsNoDatabaseIsNotedAndLeftAlone) {
  const std::string text = folder_ / "notes.db";
  testing::WriteBytes(text, std::string(4096, 'x'));
  layer_.SetDatabaseByPath(text);
  EXPECT_EQ(Status(layer_), "Die Datei \"" + text + "\" ist keine Datenbank.");
  std::string query = "SELECT 1";
  EXPECT_EQ(layer_.GetRecordset(query), Variant(false));
  EXPECT_EQ(Bytes(text), std::string(4096, 'x'));
}

TEST_F(DataLayerOpening, FolderIsNoDatabase) {
  layer_.SetDatabaseByPath(folder_.Path());
  EXPECT_NE(Status(layer_).find("keine Datenbankdatei"), std::string::npos);
}

TEST_F(DataLayerOpening, ExclusivelyLockedDatabaseIsNotedAfterWaiting) {
  Connection other(db_);
  other.Exec("BEGIN EXCLUSIVE; UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1;");
  layer_.SetBusyTimeout(50);
  layer_.SetDatabaseByPath(db_);
  EXPECT_EQ(Status(layer_), "Die Datenbank \"" + db_ + "\" ist gesperrt.");
  std::string query = "SELECT * FROM Kunden";
  EXPECT_EQ(layer_.GetRecordset(query), Variant(false));
  other.Exec("ROLLBACK");
}

TEST_F(DataLayerOpening, ANewPathStartsAfresh) {
  layer_.SetDatabaseByPath(folder_ / "nirgends.db");
  layer_.SetDatabaseByPath(db_);
  std::string query = "SELECT * FROM Kunden";
  EXPECT_EQ(layer_.GetRecordset(query), Variant(true));
  EXPECT_TRUE(Find(2));
}

// ---------------------------------------------------------------------------------------
using DataLayerQueries = DataLayerTestBase;

TEST_F(DataLayerQueries, RowsComeBackWithLabelsAndTypedValues) {
  Load("SELECT ID, Name, Rabatt, Geburtsdatum, Punkte FROM Kunden ORDER BY ID");
  EXPECT_EQ(Status(layer_), "");
  ASSERT_TRUE(Find(2));
  EXPECT_EQ(layer_.ActualPosition(), Variant(int32_t{2}));
  const auto record = layer_.GetOfflineRecordset()->Records(layer_.ActualPosition());
  ASSERT_EQ(record->FieldCount(), 5);
  EXPECT_EQ(record->Fields(1)->Description(), Variant("ID"));
  EXPECT_EQ(record->Fields(1)->Anything(), Variant(int32_t{2}));
  EXPECT_EQ(record->Fields(2)->Anything(), Variant("Weiß"));
  EXPECT_TRUE(record->Fields(3)->Anything().IsNull());
  EXPECT_EQ(record->Fields(5)->Anything(), Variant(int32_t{0}));
  ASSERT_TRUE(Find(1));
  EXPECT_EQ(layer_.FieldValue("rabatt"), Variant(0.05));  // names as SQLite: any case
  EXPECT_EQ(layer_.FieldValue("Geburtsdatum"), Variant("1970-03-01"));
  EXPECT_THROW(record->Fields(6), Error);
  EXPECT_THROW(layer_.GetOfflineRecordset()->Records(Variant(int32_t{4})), Error);
}

TEST_F(DataLayerQueries, FindRecordMissesWithoutMovingAndWithoutNote) {
  Load("SELECT * FROM Kunden ORDER BY ID");
  ASSERT_TRUE(Find(3));
  EXPECT_FALSE(Find(99));
  EXPECT_EQ(layer_.ActualPosition(), Variant(int32_t{3}));
  EXPECT_EQ(Status(layer_), "");
}

TEST_F(DataLayerQueries, FindRecordByAFieldNotLoadedIsNoted) {
  Load("SELECT Name FROM Kunden");
  EXPECT_FALSE(Find(1));
  EXPECT_NE(Status(layer_).find("\"ID\" ist nicht in den geladenen"), std::string::npos);
}

TEST_F(DataLayerQueries, LargeIntegersComeBackAsLongLong) {
  Load("SELECT 5000000000 AS Gross");
  ASSERT_EQ(layer_.ActualPosition(), Variant(int32_t{1}));
  EXPECT_EQ(layer_.FieldValue("Gross"), Variant(int64_t{5000000000}));
}

TEST_F(DataLayerQueries, TrailingSemicolonAndBlanksAreOneStatement) {
  Load("SELECT * FROM Kunden WHERE ID = 1;  \r\n");
  EXPECT_EQ(Status(layer_), "");
  EXPECT_TRUE(Find(1));
}

TEST_F(DataLayerQueries, CommonTableExpressionsAreReading) {
  Load("WITH k AS (SELECT * FROM Kunden WHERE Ort LIKE 'K%') SELECT * FROM k");
  EXPECT_EQ(Status(layer_), "");
  EXPECT_TRUE(Find(2));
}

class DataLayerRefusedQueries : public DataLayerTestBase,
                                public ::testing::WithParamInterface<const char*> {};

TEST_P(DataLayerRefusedQueries, AreNotedAndWriteNothing) {
  const std::string before = Bytes(db_);
  Load(GetParam());
  EXPECT_NE(Status(layer_).find("wurde abgelehnt"), std::string::npos) << Status(layer_);
  EXPECT_FALSE(Find(1));
  EXPECT_EQ(Bytes(db_), before);
  EXPECT_EQ(Content(db_).find("Bonn"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    NotASingleSelect, DataLayerRefusedQueries,
    ::testing::Values("SELECT * FROM Kunden; DROP TABLE Kunden",
                      "SELECT 1; UPDATE Kunden SET Ort = 'Bonn'",
                      "SELECT * FROM Kunden -- harmless?\n; DELETE FROM Kunden",
                      "UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1", "DELETE FROM Kunden",
                      "INSERT INTO Kunden (Name) VALUES ('Bonn') RETURNING *",
                      "WITH x AS (SELECT 1) DELETE FROM Kunden", "PRAGMA table_info(Kunden)",
                      "ATTACH 'other.db' AS other", "BEGIN", "EXPLAIN SELECT * FROM Kunden",
                      "SELECT * FROM Kunden WHERE ID = ?", "SELECT * FROM GibtEsNicht", ""));

TEST_F(DataLayerQueries, RowsOfSeveralTablesAreReadButNotWritten) {
  const std::string before = Bytes(db_);
  Load(
      "SELECT Bestellungen.ID, Kunden.Name FROM Bestellungen JOIN Kunden "
      "ON Kunden.ID = Bestellungen.KundeID");
  ASSERT_TRUE(Find(2));
  EXPECT_EQ(layer_.FieldValue("Name"), Variant("Øster"));
  layer_.SetFieldValue("Name", "Bonn");
  layer_.Save();
  EXPECT_NE(Status(layer_).find("nicht aus genau einer Tabelle"), std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(DataLayerQueries, TableWithoutKeyIsReadButNotWritten) {
  Connection(db_).Exec("INSERT INTO Notizen VALUES ('eins')");
  const std::string before = Bytes(db_);
  Load("SELECT * FROM Notizen");
  EXPECT_EQ(layer_.FieldValue("Text"), Variant("eins"));
  layer_.SetFieldValue("Text", "zwei");
  EXPECT_NE(Status(layer_).find("keinen Primärschlüssel"), std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
}

// ---------------------------------------------------------------------------------------
using DataLayerWrites = DataLayerTestBase;

TEST_F(DataLayerWrites, SavedChangesReachTheTableAndTheOfflineRecord) {
  Load("SELECT * FROM Kunden ORDER BY ID");
  ASSERT_TRUE(Find(2));
  layer_.SetFieldValue("Ort", "Görlitz");
  layer_.SetFieldValue("Rabatt", "0.25");
  layer_.SetFieldValue("Punkte", "17");
  EXPECT_EQ(layer_.Save(), Variant(true));
  EXPECT_EQ(Status(layer_), "");
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort, Rabatt, Punkte FROM Kunden WHERE ID = 2"),
            "text:Görlitz|real:0.25|int:17\n");
  EXPECT_EQ(layer_.FieldValue("Rabatt"), Variant(0.25));
  EXPECT_EQ(layer_.FieldValue("Punkte"), Variant(int32_t{17}));
}

TEST_F(DataLayerWrites, EmptyTextIsNullWhereNullIsAllowed) {
  Load("SELECT * FROM Kunden");
  ASSERT_TRUE(Find(1));
  layer_.SetFieldValue("Ort", "");
  layer_.SetFieldValue("Name", "");
  layer_.SetFieldValue("Rabatt", "");
  layer_.Save();
  EXPECT_EQ(Connection(db_).Dump("SELECT Name, Ort, Rabatt FROM Kunden WHERE ID = 1"),
            "text:|null|null\n");
  EXPECT_TRUE(layer_.FieldValue("Ort").IsNull());
}

TEST_F(DataLayerWrites, TextKeepsLeadingZerosInTextColumnsAndNumbersParseStrictly) {
  Load("SELECT * FROM Kunden");
  ASSERT_TRUE(Find(1));
  layer_.SetFieldValue("Vorname", "007");
  layer_.SetFieldValue("Punkte", "12abc");
  layer_.SetFieldValue("Rabatt", "1e-3");
  layer_.Save();
  EXPECT_EQ(Connection(db_).Dump("SELECT Vorname, Punkte, Rabatt FROM Kunden WHERE ID = 1"),
            "text:007|text:12abc|real:0.001\n");
}

TEST_F(DataLayerWrites, AFieldThatIsNoColumnIsRefusedAndNeverSpliced) {
  Load("SELECT * FROM Kunden");
  ASSERT_TRUE(Find(1));
  const std::string before = Bytes(db_);
  for (const char* name : {"Telefon", "Ort\" = 'x', \"Name", "Ort = 1; DROP TABLE Kunden; --"}) {
    EXPECT_EQ(layer_.SetFieldValue(name, "x"), Variant(false)) << name;
  }
  EXPECT_EQ(layer_.Save(), Variant(true));  // nothing pending
  EXPECT_EQ(Bytes(db_), before);
  EXPECT_NE(Status(layer_).find("Das Feld \"Telefon\" ist keine Spalte der Tabelle \"Kunden\"."),
            std::string::npos);
}

TEST_F(DataLayerWrites, ValuesAreBoundNotSpliced) {
  Load("SELECT * FROM Kunden");
  ASSERT_TRUE(Find(1));
  layer_.SetFieldValue("Ort", "x'); DROP TABLE Kunden; --");
  layer_.Save();
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort FROM Kunden WHERE ID = 1"),
            "text:x'); DROP TABLE Kunden; --\n");
}

TEST_F(DataLayerWrites, SaveWritesAllFieldsOrNone) {
  Load("SELECT * FROM Artikel");
  ASSERT_TRUE(Find(1));
  const std::string before = Bytes(db_);
  layer_.SetFieldValue("Bezeichnung", "Mutter M4");
  layer_.SetFieldValue("Bestand", "-1");  // breaks the CHECK
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_NE(Status(layer_).find("Bedingung der Datenbank wurde verletzt"), std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(DataLayerWrites, ABusyDatabaseIsWaitedForThenNoted) {
  Load("SELECT * FROM Kunden");
  ASSERT_TRUE(Find(1));
  Connection other(db_);
  other.Exec("BEGIN IMMEDIATE");
  layer_.SetFieldValue("Ort", "Bonn");
  layer_.SetBusyTimeout(0);  // already open: the connection keeps its 3 s, so reopen
  layer_.SetDatabaseByPath(db_);
  std::string query = "SELECT * FROM Kunden";
  layer_.GetRecordset(query);
  ASSERT_TRUE(Find(1));
  layer_.SetFieldValue("Ort", "Bonn");
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_NE(Status(layer_).find("Die Datenbank ist gesperrt"), std::string::npos);
  other.Exec("ROLLBACK");
  EXPECT_EQ(Content(db_).find("Bonn"), std::string::npos);
}

TEST_F(DataLayerWrites, AReadOnlyDatabaseIsReadButNotWritten) {
  std::filesystem::permissions(db_, std::filesystem::perms::owner_read);
  const std::string before = Bytes(db_);
  Load("SELECT * FROM Kunden");
  ASSERT_TRUE(Find(1));
  layer_.SetFieldValue("Ort", "Bonn");
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_NE(Status(layer_).find("schreibgeschützt"), std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(DataLayerWrites, ARecordDeletedSinceLoadingIsNotWritten) {
  Load("SELECT * FROM Kunden");
  ASSERT_TRUE(Find(3));
  Connection(db_).Exec("DELETE FROM Kunden WHERE ID = 3");
  const std::string before = Bytes(db_);
  layer_.SetFieldValue("Ort", "Bonn");
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_EQ(layer_.RemoveRecord(true), Variant(false));
  EXPECT_NE(Status(layer_).find("nicht mehr in der Tabelle \"Kunden\" vorhanden"),
            std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(DataLayerWrites, AddNewAndSaveInsertAndHandOutTheNewId) {
  Load("SELECT * FROM Kunden WHERE ID = 0");
  EXPECT_EQ(layer_.ActualPosition(), Variant(int32_t{0}));
  layer_.AddNew();
  layer_.SetFieldValue("Name", "Neu");
  layer_.SetFieldValue("Rabatt", "0.5");
  EXPECT_EQ(layer_.Save(), Variant(true));
  EXPECT_EQ(layer_.FieldValue("ID"), Variant(int32_t{4}));
  EXPECT_TRUE(layer_.FieldValue("Ort").IsNull());
  EXPECT_EQ(Connection(db_).Dump("SELECT * FROM Kunden WHERE ID = 4"),
            "int:4|text:Neu|null|null|null|real:0.5|null\n");
  // Once saved, the record is an ordinary one: a change updates it.
  layer_.SetFieldValue("Ort", "Ulm");
  layer_.Save();
  EXPECT_EQ(Connection(db_).Dump("SELECT Ort FROM Kunden WHERE ID = 4"), "text:Ulm\n");
}

TEST_F(DataLayerWrites, AnInsertWithAnIdInUseFailsWhole) {
  Load("SELECT * FROM Kunden WHERE ID = 0");
  const std::string before = Bytes(db_);
  layer_.AddNew();
  layer_.SetFieldValue("ID", "2");
  layer_.SetFieldValue("Name", "Doppelt");
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_NE(Status(layer_).find("Bedingung der Datenbank wurde verletzt"), std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(DataLayerWrites, RemoveRecordDeletesTheCurrentRecord) {
  Load("SELECT * FROM Bestellungen");
  ASSERT_TRUE(Find(2));
  EXPECT_EQ(layer_.RemoveRecord(true), Variant(true));
  EXPECT_EQ(Connection(db_).Dump("SELECT ID FROM Bestellungen"), "int:1\n");
  EXPECT_EQ(layer_.ActualPosition(), Variant(int32_t{0}));
  EXPECT_FALSE(Find(2));
}

TEST_F(DataLayerWrites, RemoveRecordFalseLeavesTheTable) {
  Load("SELECT * FROM Bestellungen");
  ASSERT_TRUE(Find(2));
  const std::string before = Bytes(db_);
  EXPECT_EQ(layer_.RemoveRecord(false), Variant(true));
  EXPECT_FALSE(Find(2));
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(DataLayerWrites, WithoutACurrentRecordNothingIsWritten) {
  Load("SELECT * FROM Kunden WHERE ID = 0");
  const std::string before = Bytes(db_);
  EXPECT_EQ(layer_.SetFieldValue("Ort", "Bonn"), Variant(false));
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_TRUE(layer_.FieldValue("Ort").IsNull());
  EXPECT_NE(Status(layer_).find("keinen aktuellen Datensatz"), std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(DataLayerWrites, HandedOutRecordSetsSeeSavedValues) {
  Load("SELECT * FROM Kunden");
  ASSERT_TRUE(Find(1));
  const auto records = layer_.GetOfflineRecordset();
  layer_.SetFieldValue("Punkte", "121");
  layer_.Save();
  EXPECT_EQ(records->Records(Variant(int32_t{1}))->Fields(7)->Anything(), Variant(int32_t{121}));
}

}  // namespace
}  // namespace tarvesk
