// The undo against a disk that fails: every kind of undo with its n-th write, then its n-th
// sync failing, for n = 1, 2, ... until the undo gets through without meeting the fault.
#include <gtest/gtest.h>

#include "tests/undo/FaultyVfs.h"
#include "tests/undo/UndoFixtures.h"

namespace tarvesk {
namespace {

using testing::Bytes;
using testing::FaultyVfs;
using testing::Titles;
using testing::UndoTest;

using FaultInjection = UndoTest;

TEST_F(FaultInjection, AFailedWriteOrSyncLeavesTheDatabaseAsItWasAndShowsNoSuccess) {
  // One log per kind: an update, a new record, a deleted record.
  Update("Kunden", 1, "Ort", "Bonn");
  {
    auto layer = Session();
    std::string query = "SELECT * FROM Bestellungen";
    layer->GetRecordset(query);
    layer->AddNew();
    layer->SetFieldValue("Menge", "7");
    layer->Save();
  }
  {
    auto layer = Session();
    Load(*layer, "SELECT * FROM Artikel", 2);
    layer->RemoveRecord(true);
  }
  const std::string before = Bytes(db_);
  const struct {
    int32_t file;
    std::string success;  // the title of its success message
  } kinds[] = {{1, "Aktion"}, {2, "Aktion durchgeführt!"}, {3, "Datensatz angelegt"}};
  const struct {
    FaultyVfs::Fault fault;
    int code;
    std::string reason;
  } faults[] = {{FaultyVfs::Fault::Write, SQLITE_FULL, "Der Datenträger ist voll"},
                {FaultyVfs::Fault::Write, SQLITE_IOERR_WRITE, ""},
                {FaultyVfs::Fault::Sync, SQLITE_IOERR_FSYNC, ""}};
  FaultyVfs vfs;
  for (const auto& kind : kinds) {
    for (const auto& fault : faults) {
      int n = 1;
      for (;; ++n) {
        ASSERT_LT(n, 40) << "the fault never stops striking";
        testing::WriteBytes(db_, before);
        vfs.Arm(fault.fault, n, fault.code);
        Undo(1, kind.file);
        vfs.Disarm();
        if (!vfs.Fired()) break;
        SCOPED_TRACE("file " + std::to_string(kind.file) + ", code " + std::to_string(fault.code) +
                     ", n " + std::to_string(n));
        ASSERT_FALSE(messages_.shown.empty());
        const UserMessage report = messages_.shown.back();
        EXPECT_EQ(report.title, "Fehler bei Ausführung");
        EXPECT_NE(report.text.find("konnte nicht"), std::string::npos) << report.text;
        EXPECT_NE(report.text.find(fault.reason), std::string::npos) << report.text;
        const Titles titles = messages_.TakeTitles();
        EXPECT_EQ(std::count(titles.begin(), titles.end(), kind.success), 0);
        EXPECT_EQ(Bytes(db_), before);
      }
      // Unhindered, the same undo succeeds and writes: the faults above were met by it.
      EXPECT_GT(n, 1);
      const Titles titles = messages_.TakeTitles();
      EXPECT_EQ(titles.back(), kind.success);
      EXPECT_NE(Bytes(db_), before);
    }
  }
}

}  // namespace
}  // namespace tarvesk
