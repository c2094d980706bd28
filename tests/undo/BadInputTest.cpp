// Undo against input that is wrong or has gone stale: each ends in the handler's message
// or the error-status report, or in an error to the caller, and the database keeps its
// bytes unless the user confirmed a write that succeeded.
#include <gtest/gtest.h>

#include "automation/Error.h"
#include "undo/UndoFixtures.h"

namespace tarvesk {
namespace {

using testing::Bytes;
using testing::Connection;
using testing::UndoTest;

const std::vector<std::string> kNotFoundThenReport = {"Aktion nicht möglich",
                                                      "Fehler bei Ausführung"};

std::vector<std::string> UpdateBlock(const std::string& recordId, const std::string& query,
                                     const std::string& field, const std::string& oldValue) {
  return {"<ACTION Info=\"UPDATE RECORDID=" + recordId + "\">",
          "<TABLE>Kunden</TABLE>",
          "<QueryString>" + query + "</QueryString>",
          "<TIME>06.12.2026 11:40:02</TIME>",
          "<FieldName>" + field + "</FieldName>",
          "<OldValue>" + oldValue + "</OldValue>",
          "<NewValue>x</NewValue>",
          "</ACTION>"};
}

class UndoBadInput : public UndoTest {
 protected:
  void SetUp() override {
    UndoTest::SetUp();
    before_ = Bytes(db_);
  }
  const std::string& ReportText() const { return messages_.shown.back().text; }
  std::string before_;
};

TEST_F(UndoBadInput, ALogNamingAMissingDatabase) {
  const std::string missing = folder_ / "weg.db";
  HandLog(missing, UpdateBlock("1", "SELECT * FROM Kunden WHERE ID = 1", "Ort", "Bonn"));
  Undo(1);
  EXPECT_EQ(messages_.Titles(), kNotFoundThenReport);
  EXPECT_EQ(ReportText(), "Folgende Fehler wurden gemeldet: \r\nDie Datenbank \"" + missing +
                              "\" wurde nicht gefunden.");
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(UndoBadInput, ARestoreIntoAMissingDatabaseCreatesNothing) {
  const std::string missing = folder_ / "weg.db";
  HandLog(missing,
          {"<ACTION Info=\"DELETE_inDB RECORDID=9\">", "<TABLE>Kunden</TABLE>",
           "<QueryString>SELECT * FROM Kunden WHERE ID = 9</QueryString>", "<TIME>t</TIME>",
           "<ID>9</ID>", "<Name>Neu</Name>", "<USER>u</USER>", "<COMPUTER>c</COMPUTER>",
           "<APPLICATION>a</APPLICATION>", "<ROWSAFFECTED>1</ROWSAFFECTED>", "</ACTION>"});
  Undo(1);
  EXPECT_EQ(messages_.Titles(),
            (std::vector<std::string>{"Datensatz wieder anlegen", "Datensatz angelegt",
                                      "Fehler bei Ausführung"}));
  EXPECT_EQ(messages_.shown[1].text, "Der Datensatz wurde wieder angelegt. Neue ID ist: ");
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(UndoBadInput, AQueryThatIsNotASingleSelect) {
  HandLog(db_,
          UpdateBlock("1", "SELECT * FROM Kunden WHERE ID = 1; DROP TABLE Kunden", "Ort", "Bonn"));
  Undo(1);
  EXPECT_EQ(messages_.Titles(), kNotFoundThenReport);
  EXPECT_NE(ReportText().find("wurde abgelehnt"), std::string::npos);
  EXPECT_EQ(Bytes(db_), before_);
}

TEST_F(UndoBadInput, AWritingQuery) {
  HandLog(db_, UpdateBlock("1", "UPDATE Kunden SET Ort = 'Bonn'", "Ort", "Bonn"));
  Undo(1);
  EXPECT_EQ(messages_.Titles(), kNotFoundThenReport);
  EXPECT_EQ(Bytes(db_), before_);
}

TEST_F(UndoBadInput, AFieldNameThatIsNoColumn) {
  HandLog(db_, UpdateBlock("1", "SELECT * FROM Kunden WHERE ID = 1",
                           "Ort&quot; &#61; 'x', &quot;Name", "Bonn"));
  Undo(1);
  EXPECT_EQ(messages_.Titles(),
            (std::vector<std::string>{"Aktion durchführen", "Aktion", "Fehler bei Ausführung"}));
  EXPECT_NE(messages_.shown[0].text.find("Felds Ort\" = 'x', \"Name: \r\n"), std::string::npos);
  EXPECT_NE(ReportText().find("ist keine Spalte der Tabelle \"Kunden\""), std::string::npos);
  EXPECT_EQ(Bytes(db_), before_);
}

TEST_F(UndoBadInput, ARecordIdBeyondTheIntegerRangeFails) {
  HandLog(db_, UpdateBlock("99999999999", "SELECT * FROM Kunden", "Ort", "Bonn"));
  try {
    Undo(1);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), kOverflow);
  }
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(Bytes(db_), before_);
}

TEST_F(UndoBadInput, ARecordIdThatNoRecordHas) {
  HandLog(db_, UpdateBlock("4711", "SELECT * FROM Kunden", "Ort", "Bonn"));
  Undo(1);
  EXPECT_EQ(messages_.Titles(), std::vector<std::string>{"Aktion nicht möglich"});
  EXPECT_EQ(Bytes(db_), before_);
}

TEST_F(UndoBadInput, AnActionPositionOutsideTheLogFails) {
  HandLog(db_, UpdateBlock("1", "SELECT * FROM Kunden", "Ort", "Bonn"));
  EXPECT_THROW(Undo(99), Error);
  EXPECT_THROW(Undo(2), Error);  // a field line: no action data
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(Bytes(db_), before_);
}

TEST_F(UndoBadInput, ALockedDatabase) {
  Update("Kunden", 1, "Ort", "Köln");
  const std::string before = Bytes(db_);
  Connection other(db_);
  other.Exec("BEGIN EXCLUSIVE");
  Undo(1);  // waits out the busy time
  other.Exec("ROLLBACK");
  EXPECT_EQ(messages_.Titles(), kNotFoundThenReport);
  EXPECT_NE(ReportText().find("ist gesperrt"), std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(UndoBadInput, AReadOnlyDatabase) {
  Update("Kunden", 1, "Ort", "Köln");
  std::filesystem::permissions(db_, std::filesystem::perms::owner_read);
  const std::string before = Bytes(db_);
  Undo(1);
  EXPECT_EQ(messages_.Titles(),
            (std::vector<std::string>{"Aktion durchführen", "Aktion", "Fehler bei Ausführung"}));
  EXPECT_NE(ReportText().find("schreibgeschützt"), std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(UndoBadInput, ARecordDeletedSinceTheLogWasWritten) {
  Update("Kunden", 3, "Ort", "Essen");
  Connection(db_).Exec("DELETE FROM Kunden WHERE ID = 3");
  const std::string before = Bytes(db_);
  Undo(1);
  EXPECT_EQ(messages_.Titles(), std::vector<std::string>{"Aktion nicht möglich"});
  EXPECT_EQ(Bytes(db_), before);
}

TEST_F(UndoBadInput, ATableGoneSinceTheLogWasWritten) {
  Update("Artikel", 2, "Preis", "0.15");
  Connection(db_).Exec("DROP TABLE Artikel");
  const std::string before = Bytes(db_);
  Undo(1);
  EXPECT_EQ(messages_.Titles(), kNotFoundThenReport);
  EXPECT_NE(ReportText().find("no such table"), std::string::npos);
  EXPECT_EQ(Bytes(db_), before);
}

}  // namespace
}  // namespace tarvesk
