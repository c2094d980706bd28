// Undo against input that is wrong or has gone stale: each ends in the handler's message
// or the error-status report, or in an error to the caller, and the database keeps its
// bytes unless the user confirmed a write that succeeded.
#include <gtest/gtest.h>

#include "automation/Error.h"
#include "undo/UndoFixtures.h"

namespace tarvesk {
namespace {

using testing::Connection;
using testing::Titles;
using testing::UndoTest;

const Titles kNotFoundThenReport = {"Aktion nicht möglich", "Fehler bei Ausführung"};
const Titles kDoneThenReport = {"Aktion durchführen", "Aktion", "Fehler bei Ausführung"};

std::vector<std::string> UpdateBlock(const std::string& recordId, const std::string& query,
                                     const std::string& field = "Ort") {
  return {"<ACTION Info=\"UPDATE RECORDID=" + recordId + "\">",
          "<TABLE>Kunden</TABLE>",
          "<QueryString>" + query + "</QueryString>",
          "<TIME>06.12.2026 11:40:02</TIME>",
          "<FieldName>" + field + "</FieldName>",
          "<OldValue>Bonn</OldValue>",
          "<NewValue>x</NewValue>",
          "</ACTION>"};
}

using UndoBadInput = UndoTest;

TEST_F(UndoBadInput, AMissingDatabaseIsReportedAndNeverCreated) {
  const std::string missing = folder_ / "weg.db";
  HandLog(missing, UpdateBlock("1", "SELECT * FROM Kunden WHERE ID = 1"));
  UndoKeepsTheBytes(kNotFoundThenReport, "Folgende Fehler wurden gemeldet: \r\nDie Datenbank \"" +
                                             missing + "\" wurde nicht gefunden.");
  HandLog(missing,
          {"<ACTION Info=\"DELETE_inDB RECORDID=9\">", "<TABLE>Kunden</TABLE>",
           "<QueryString>SELECT * FROM Kunden WHERE ID = 9</QueryString>", "<TIME>t</TIME>",
           "<ID>9</ID>", "<Name>Neu</Name>", "<USER>u</USER>", "<COMPUTER>c</COMPUTER>",
           "<APPLICATION>a</APPLICATION>", "<ROWSAFFECTED>1</ROWSAFFECTED>", "</ACTION>"});
  Undo(1);
  ASSERT_EQ(messages_.shown.size(), 3u);
  EXPECT_EQ(messages_.shown[1].text, "Der Datensatz wurde wieder angelegt. Neue ID ist: ");
  EXPECT_EQ(messages_.TakeTitles(),
            (Titles{"Datensatz wieder anlegen", "Datensatz angelegt", "Fehler bei Ausführung"}));
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(UndoBadInput, QueriesThatAreNotASingleSelectAndFieldsThatAreNoColumn) {
  HandLog(db_, UpdateBlock("1", "SELECT * FROM Kunden WHERE ID = 1; DROP TABLE Kunden"));
  UndoKeepsTheBytes(kNotFoundThenReport, "wurde abgelehnt");
  HandLog(db_, UpdateBlock("1", "UPDATE Kunden SET Ort = 'Bonn'"));
  UndoKeepsTheBytes(kNotFoundThenReport, "wurde abgelehnt");
  HandLog(db_, UpdateBlock("4711", "SELECT * FROM Kunden"));
  UndoKeepsTheBytes({"Aktion nicht möglich"});

  HandLog(db_,
          UpdateBlock("1", "SELECT * FROM Kunden WHERE ID = 1", "Ort&quot; &#61; 'x', &quot;Name"));
  const std::string before = testing::Bytes(db_);
  Undo(1);
  EXPECT_NE(messages_.shown.at(0).text.find("Felds Ort\" = 'x', \"Name: \r\n"), std::string::npos);
  EXPECT_NE(messages_.shown.back().text.find("ist keine Spalte der Tabelle \"Kunden\""),
            std::string::npos);
  EXPECT_EQ(messages_.TakeTitles(), kDoneThenReport);
  EXPECT_EQ(testing::Bytes(db_), before);
}

TEST_F(UndoBadInput, AnIdBeyondTheIntegerRangeOrAPositionOutsideTheLogFails) {
  const std::string before = testing::Bytes(db_);
  HandLog(db_, UpdateBlock("99999999999", "SELECT * FROM Kunden"));
  EXPECT_EQ(ErrorNumberOf([&] { Undo(1); }), kOverflow);
  HandLog(db_, UpdateBlock("1", "SELECT * FROM Kunden"));
  EXPECT_THROW(Undo(99), Error);
  EXPECT_THROW(Undo(2), Error);  // a field line: no action data
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(testing::Bytes(db_), before);
}

TEST_F(UndoBadInput, ALockedDatabase) {
  Update("Kunden", 1, "Ort", "Köln");
  Connection other(db_);
  other.Exec("BEGIN EXCLUSIVE");
  UndoKeepsTheBytes(kNotFoundThenReport, "ist gesperrt");  // after waiting out the busy time
  other.Exec("ROLLBACK");
}

TEST_F(UndoBadInput, ARecordOrTableGoneSinceTheLogWasWritten) {
  Update("Kunden", 3, "Ort", "Essen");
  Connection(db_).Exec("DELETE FROM Kunden WHERE ID = 3");
  UndoKeepsTheBytes({"Aktion nicht möglich"});
  FreshLogs();
  Update("Artikel", 2, "Preis", "0.15");
  Connection(db_).Exec("DROP TABLE Artikel");
  UndoKeepsTheBytes(kNotFoundThenReport, "no such table");
}

TEST_F(UndoBadInput, AReadOnlyDatabase) {
  Update("Kunden", 1, "Ort", "Köln");
  std::filesystem::permissions(db_, std::filesystem::perms::owner_read);
  UndoKeepsTheBytes(kDoneThenReport, "schreibgeschützt");
}

}  // namespace
}  // namespace tarvesk
