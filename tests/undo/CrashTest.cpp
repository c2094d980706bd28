// What a data-layer session leaves behind when it dies while writing: killed (SIGKILL) at
// many moments of a real session in another process, and cut at every byte of each write
// that the change-log writer makes. Every log left is readable, lists each complete action
// and no torn one, and the listed actions undo.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/support/Process.h"
#include "tests/undo/UndoFixtures.h"

namespace tarvesk {
namespace {

using testing::Bytes;
using testing::UndoTest;

// The complete action blocks of a log's text.
size_t CompleteActions(const std::string& text) {
  size_t count = 0;
  for (size_t at = 0; (at = text.find("</ACTION>", at)) != std::string::npos; ++at) ++count;
  return count;
}

class CrashTornLogs : public UndoTest {
 protected:
  // Loads log 1 of logs_ and checks that it lists exactly the complete actions of its text,
  // each with its details; answers the positions.
  std::vector<int32_t> CheckLog() {
    const auto set = Logs(logs_);
    EXPECT_EQ(set->FileCount(), 1);
    if (set->FileCount() != 1) return {};
    const std::string text = Bytes(set->File(1));
    std::vector<int32_t> positions;
    try {
      const auto log = set->LogContent(1);
      positions = ActionPositions(*log);
      for (int32_t position : positions) {
        const auto details = log->GetActionData(position);
        EXPECT_TRUE(details && details->PropertyCount() > 0) << position;
      }
    } catch (const Error& error) {
      ADD_FAILURE() << DescribeError(error) << "\n" << text;
    }
    EXPECT_EQ(positions.size(), CompleteActions(text)) << text;
    return positions;
  }
};

TEST_F(CrashTornLogs, ASessionKilledWhileWritingLeavesAReadableLogWhoseActionsUndo) {
  std::mt19937 random(14);
  for (int round = 0; round < 16; ++round) {
    FreshShop();
    test::Spawned session({DATALAYER_SESSION_EXE, db_, logs_, "0"});
    ASSERT_EQ(session.ReadLine().rfind("log ", 0), 0u);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 60000));
    session.Kill(SIGKILL);
    ASSERT_EQ(session.Wait(), -SIGKILL);
    const auto positions = CheckLog();
    ASSERT_FALSE(positions.empty());
    // The last few listed actions undo, newest first; what the torn one changed in the
    // database does not stand in their way, except a torn new order that took the id again
    // that a listed deletion freed: restoring that deletion is refused, as the id is taken.
    const auto log = Logs(logs_)->LogContent(1);
    for (size_t k = 0; k < 3 && k < positions.size(); ++k) {
      const int32_t position = positions[positions.size() - 1 - k];
      const auto details = log->GetActionData(position);
      const bool idTaken =
          details->PropertyContent("ACTION") == "DELETE_inDB" &&
          testing::Connection(db_).Dump("SELECT count(*) FROM Bestellungen WHERE ID = " +
                                        details->PropertyContent("ID")) == "int:1\n";
      Undo(position);
      const bool failed =
          std::any_of(messages_.shown.begin(), messages_.shown.end(),
                      [](const auto& m) { return m.title == "Fehler bei Ausführung"; });
      EXPECT_EQ(failed, idTaken) << messages_.shown.back().text;
      messages_.shown.clear();
      if (idTaken) break;
    }
  }
}

// The writer rewrites the tail behind each new block, so a write cut at byte j leaves the
// new block's (and new tail's) first j bytes over the old tail. Every such state of a real
// writer's log: after each action and after a noted error, cut at each byte.
TEST_F(CrashTornLogs, EveryCutOfEveryWriteKeepsTheCompleteActions) {
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
  const std::string path = writer.Path();
  for (size_t s = 1; s < states.size(); ++s) {
    const std::string &old = states[s - 1], &next = states[s];
    size_t from = 0;  // where the write began: the first byte that differs
    while (from < old.size() && from < next.size() && old[from] == next[from]) ++from;
    for (size_t cut = from; cut <= next.size(); ++cut) {
      std::string torn = next.substr(0, cut);
      if (cut < old.size()) torn += old.substr(cut);
      testing::WriteBytes(path, torn);
      SCOPED_TRACE("state " + std::to_string(s) + ", cut " + std::to_string(cut));
      CheckLog();
      if (::testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace tarvesk
