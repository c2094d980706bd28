#include <gtest/gtest.h>

#include "automation/Error.h"
#include "components/datalayer/DataLayer.h"
#include "tests/datalayer/SqliteFixtures.h"

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
  // Loads query, makes record id current and notes the bytes of the database.
  void Open(const std::string& query, int32_t id) {
    Load(query);
    ASSERT_TRUE(Find(id)) << query;
    before_ = Bytes(db_);
  }
  // The status holds part, and the database has the bytes it had at Open.
  void ExpectRefused(const std::string& part) {
    EXPECT_NE(Status(layer_).find(part), std::string::npos) << Status(layer_);
    EXPECT_EQ(Bytes(db_), before_);
  }
  std::string Dump(const std::string& query) { return Connection(db_).Dump(query); }

  TempFolder folder_;
  std::string db_ = folder_ / "shop.db";
  DataLayer layer_;
  std::string before_;
};

// ---------------------------------------------------------------------------------------
using DataLayerOpening = DataLayerTestBase;

TEST_F(DataLayerOpening, MissingPathIsNotedNeverCreatedAndANewPathStartsAfresh) {
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

  Load("SELECT * FROM Kunden");
  EXPECT_TRUE(Find(2));
}

TEST_F(DataLayerOpening, FileOrFolderThatIsNoDatabaseIsNotedAndLeftAlone) {
  const std::string text = folder_ / "notes.db";
  testing::WriteBytes(text, std::string(4096, 'x'));
  layer_.SetDatabaseByPath(text);
  EXPECT_EQ(Status(layer_), "Die Datei \"" + text + "\" ist keine Datenbank.");
  std::string query = "SELECT 1";
  EXPECT_EQ(layer_.GetRecordset(query), Variant(false));
  EXPECT_EQ(Bytes(text), std::string(4096, 'x'));
  layer_.SetDatabaseByPath(folder_.Path());
  EXPECT_NE(Status(layer_).find("keine Datenbankdatei"), std::string::npos);
}

// A lock of another connection is waited for, then noted: an exclusive one when opening,
// a writer's when saving.
TEST_F(DataLayerOpening, ALockedDatabaseIsNotedAfterWaiting) {
  Connection other(db_);
  other.Exec("BEGIN EXCLUSIVE; UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1;");
  layer_.SetBusyTimeout(50);
  layer_.SetDatabaseByPath(db_);
  EXPECT_EQ(Status(layer_), "Die Datenbank \"" + db_ + "\" ist gesperrt.");
  std::string query = "SELECT * FROM Kunden";
  EXPECT_EQ(layer_.GetRecordset(query), Variant(false));
  other.Exec("ROLLBACK; BEGIN IMMEDIATE");
  Open("SELECT * FROM Kunden", 1);
  layer_.SetFieldValue("Ort", "Bonn");
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_NE(Status(layer_).find("Die Datenbank ist gesperrt"), std::string::npos);
  other.Exec("ROLLBACK");
  EXPECT_EQ(Content(db_).find("Bonn"), std::string::npos);
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
  // A miss neither moves nor notes anything.
  EXPECT_FALSE(Find(99));
  EXPECT_EQ(layer_.ActualPosition(), Variant(int32_t{1}));
  EXPECT_EQ(Status(layer_), "");
}

TEST_F(DataLayerQueries, ReadingStatementsOfAnyFormAreAccepted) {
  Load("SELECT 5000000000 AS Gross");
  ASSERT_EQ(layer_.ActualPosition(), Variant(int32_t{1}));
  EXPECT_EQ(layer_.FieldValue("Gross"), Variant(int64_t{5000000000}));
  for (const char* query :
       {"SELECT * FROM Kunden WHERE ID = 2;  \r\n",
        "WITH k AS (SELECT * FROM Kunden WHERE Ort LIKE 'K%') SELECT * FROM k"}) {
    Load(query);
    EXPECT_EQ(Status(layer_), "") << query;
    EXPECT_TRUE(Find(2)) << query;
  }
  Load("SELECT Name FROM Kunden");
  EXPECT_FALSE(Find(1));
  EXPECT_NE(Status(layer_).find("\"ID\" ist nicht in den geladenen"), std::string::npos);
}

// A query from a log may cost only so much: anything but one plain SELECT, a recursive
// one, one beyond the step budget or the length limits, or one that selects more records
// than allowed is refused with error 5 before a record is kept.
struct RefusedQuery {
  std::string query;
  const char* reason;
};

class DataLayerRefusedQueries : public DataLayerTestBase,
                                public ::testing::WithParamInterface<RefusedQuery> {};

TEST_P(DataLayerRefusedQueries, RaiseError5AndWriteNothing) {
  before_ = Bytes(db_);
  layer_.SetDatabaseByPath(db_);
  layer_.SetMaxRecords(1);
  std::string query = GetParam().query;
  try {
    layer_.GetRecordset(query);
    ADD_FAILURE() << "not refused";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), kInvalidProcedureCall);
    EXPECT_NE(error.Description().find("wurde abgelehnt: "), std::string::npos);
    EXPECT_NE(error.Description().find(GetParam().reason), std::string::npos)
        << error.Description();
  }
  EXPECT_FALSE(Find(1));
  EXPECT_EQ(Bytes(db_), before_);
}

std::string CrossJoin(int tables) {
  std::string query = "SELECT count(*) FROM Kunden t0";
  for (int i = 1; i < tables; ++i) query += ", Kunden t" + std::to_string(i);
  return query;
}

constexpr const char* kOnlySelect = "erlaubt ist nur eine lesende SELECT-Abfrage";
constexpr const char* kMoreText = "nach der ersten Anweisung folgt weiterer Text";

INSTANTIATE_TEST_SUITE_P(
    QueriesFromALog, DataLayerRefusedQueries,
    ::testing::Values(
        RefusedQuery{"SELECT * FROM Kunden; DROP TABLE Kunden", kMoreText},
        RefusedQuery{"SELECT * FROM Kunden -- harmless?\n; DELETE FROM Kunden", kMoreText},
        RefusedQuery{"UPDATE Kunden SET Ort = 'Bonn' WHERE ID = 1", kOnlySelect},
        RefusedQuery{"INSERT INTO Kunden (Name) VALUES ('Bonn') RETURNING *", kOnlySelect},
        RefusedQuery{"WITH x AS (SELECT 1) DELETE FROM Kunden", kOnlySelect},
        RefusedQuery{"PRAGMA table_info(Kunden)", kOnlySelect},
        RefusedQuery{"ATTACH 'other.db' AS other", kOnlySelect}, RefusedQuery{"BEGIN", kOnlySelect},
        RefusedQuery{"EXPLAIN SELECT * FROM Kunden", kOnlySelect},
        RefusedQuery{"SELECT * FROM Kunden WHERE ID = ?", "sie enthält Parameter"},
        RefusedQuery{"", "sie ist leer"},
        RefusedQuery{"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                     "SELECT * FROM Kunden WHERE ID IN (SELECT i FROM n)",
                     "rekursive Abfragen"},
        RefusedQuery{CrossJoin(20), "Rechenschritte"},
        RefusedQuery{"SELECT randomblob(2000000000), * FROM Kunden WHERE ID = 1", "zu langen Wert"},
        RefusedQuery{"SELECT * FROM Kunden WHERE ID = 1" + std::string(200000, ' '), "zu lang."},
        RefusedQuery{"SELECT * FROM Kunden a, Kunden b", "mehr als einen Datensatz"}));

TEST_F(DataLayerQueries, RowsOfSeveralTablesOrWithoutKeyAreReadButNotWritten) {
  Open(
      "SELECT Bestellungen.ID, Kunden.Name FROM Bestellungen JOIN Kunden "
      "ON Kunden.ID = Bestellungen.KundeID",
      2);
  EXPECT_EQ(layer_.FieldValue("Name"), Variant("Øster"));
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

// ---------------------------------------------------------------------------------------
using DataLayerWrites = DataLayerTestBase;

// Empty text is NULL where NULL is allowed; text stays text in text columns, numbers parse
// strictly (with the decimal comma a German system writes), text that is no number is
// refused for a number column, and values are bound, never spliced into the statement.
TEST_F(DataLayerWrites, ValuesAreConvertedByTheirColumnAndBound) {
  Open("SELECT * FROM Kunden", 1);
  for (const auto& [field, value] :
       std::vector<std::pair<const char*, const char*>>{{"Name", ""},
                                                        {"Vorname", "007"},
                                                        {"Ort", "x'); DROP TABLE Kunden; --"},
                                                        {"Punkte", "12abc"},  // refused
                                                        {"Rabatt", "19,95"}}) {
    layer_.SetFieldValue(field, value);
  }
  layer_.Save();
  EXPECT_EQ(Dump("SELECT Name, Vorname, Ort, Punkte, Rabatt FROM Kunden WHERE ID = 1"),
            "text:|text:007|text:x'); DROP TABLE Kunden; --|int:120|real:19.949999999999999\n");
  EXPECT_EQ(Status(layer_),
            "Der Wert \"12abc\" passt nicht in die Spalte \"Punkte\" der Tabelle \"Kunden\".");
  layer_.SetFieldValue("Ort", "");
  layer_.SetFieldValue("Rabatt", "");
  layer_.Save();
  EXPECT_EQ(Dump("SELECT Ort, Rabatt FROM Kunden WHERE ID = 1"), "null|null\n");
  EXPECT_TRUE(layer_.FieldValue("Ort").IsNull());
}

TEST_F(DataLayerWrites, AFieldThatIsNoColumnIsRefusedAndNeverSpliced) {
  Open("SELECT * FROM Kunden", 1);
  for (const char* name : {"Telefon", "Ort\" = 'x', \"Name", "Ort = 1; DROP TABLE Kunden; --"}) {
    EXPECT_EQ(layer_.SetFieldValue(name, "x"), Variant(false)) << name;
  }
  EXPECT_EQ(layer_.Save(), Variant(true));  // nothing pending
  ExpectRefused("Das Feld \"Telefon\" ist keine Spalte der Tabelle \"Kunden\".");
}

TEST_F(DataLayerWrites, AnUpdateOrInsertThatBreaksARuleFailsWhole) {
  Open("SELECT * FROM Artikel", 1);
  layer_.SetFieldValue("Bezeichnung", "Mutter M4");
  layer_.SetFieldValue("Bestand", "-1");  // breaks the CHECK
  EXPECT_EQ(layer_.Save(), Variant(false));
  ExpectRefused("Bedingung der Datenbank wurde verletzt");
  Load("SELECT * FROM Kunden WHERE ID = 0");
  layer_.AddNew();
  layer_.SetFieldValue("ID", "2");  // in use
  layer_.SetFieldValue("Name", "Doppelt");
  EXPECT_EQ(layer_.Save(), Variant(false));
  const std::string status = Status(layer_);  // noted a second time
  EXPECT_NE(status.find("Bedingung", status.find("Bedingung") + 1), std::string::npos) << status;
  EXPECT_EQ(Bytes(db_), before_);
}

// In rollback and in WAL mode; reading leaves no -wal or -shm file behind.
TEST_F(DataLayerWrites, AReadOnlyDatabaseIsReadButNotWritten) {
  for (const bool wal : {false, true}) {
    if (wal) Connection(db_).Exec("PRAGMA journal_mode = WAL");
    std::filesystem::permissions(db_, std::filesystem::perms::owner_read);
    Open("SELECT * FROM Kunden WHERE ID = 1", 1);
    EXPECT_EQ(layer_.FieldValue("Ort"), Variant("München"));
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

TEST_F(DataLayerWrites, ARecordDeletedSinceLoadingIsNotWritten) {
  Open("SELECT * FROM Kunden", 3);
  Connection(db_).Exec("DELETE FROM Kunden WHERE ID = 3");
  before_ = Bytes(db_);
  layer_.SetFieldValue("Ort", "Bonn");
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_EQ(layer_.RemoveRecord(true), Variant(false));
  ExpectRefused("nicht mehr in der Tabelle \"Kunden\" vorhanden");
}

TEST_F(DataLayerWrites, AddNewAndSaveInsertAndHandOutTheNewId) {
  Load("SELECT * FROM Kunden WHERE ID = 0");
  EXPECT_EQ(layer_.ActualPosition(), Variant(int32_t{0}));
  layer_.AddNew();
  layer_.SetFieldValue("Name", "Neu");
  layer_.SetFieldValue("Rabatt", "2");
  EXPECT_EQ(layer_.Save(), Variant(true));
  EXPECT_EQ(Status(layer_), "");
  EXPECT_EQ(layer_.FieldValue("ID"), Variant(int32_t{4}));
  EXPECT_TRUE(layer_.FieldValue("Ort").IsNull());
  // A whole number in a REAL column reads back as the REAL it is stored as.
  EXPECT_EQ(layer_.FieldValue("Rabatt"), Variant(2.0));
  EXPECT_EQ(Dump("SELECT * FROM Kunden WHERE ID = 4"),
            "int:4|text:Neu|null|null|null|real:2|null\n");
  // Once saved, the record is an ordinary one: a change updates it.
  layer_.SetFieldValue("Ort", "Ulm");
  layer_.Save();
  EXPECT_EQ(Dump("SELECT Ort FROM Kunden WHERE ID = 4"), "text:Ulm\n");
}

TEST_F(DataLayerWrites, RemoveRecordDeletesTheCurrentRecordOrOnlyForgetsIt) {
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

TEST_F(DataLayerWrites, WithoutACurrentRecordNothingIsWritten) {
  Load("SELECT * FROM Kunden WHERE ID = 0");
  before_ = Bytes(db_);
  EXPECT_EQ(layer_.SetFieldValue("Ort", "Bonn"), Variant(false));
  EXPECT_EQ(layer_.Save(), Variant(false));
  EXPECT_TRUE(layer_.FieldValue("Ort").IsNull());
  ExpectRefused("keinen aktuellen Datensatz");
}

}  // namespace
}  // namespace tarvesk
