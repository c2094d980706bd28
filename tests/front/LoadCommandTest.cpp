#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/front/FrontFixture.h"

namespace tarvesk::test {
namespace {

using enum ControlId;
using ::testing::ElementsAre;

class LoadCommand : public FrontTest {
 protected:
  void SetUp() override {
    FrontTest::SetUp();
    folder.WriteLines("a.xml", LogLines(R"(C:\Daten\kunden.mdb)", "06.12.2026 11:36:43",
                                   UpdateAction(7, "Kunden", "Name", "Müller", "Meier")));
    folder.WriteLines("b.xml", LogLines("OFFLINE", "05.12.2026 08:00:00", NewRecordAction(8, "Kunden")));
    Open();
  }
};

TEST_F(LoadCommand, AsksOnePickerPerCommandAndListsEveryFileOnceInSetOrder) {
  Load(folder.Path());
  EXPECT_THAT(picker->calls,
              ElementsAre("bolShowDirectoryOnly=True", "bolHideIcon=True", "strDefaultPath=",
                          "strFormCaption=Pfad für das oder die Logfiles auswählen",
                          "DisplayFileManager", "strResultFullPath"));
  EXPECT_EQ(Window().Text(txtPath), folder.Path());
  // a.xml holds the later session: the list keeps the set's order, not the time's.
  const auto expected = ElementsAre(R"(06.12.2026 11:36:43: C:\Daten\kunden.mdb (a.xml))",
                                    "05.12.2026 08:00:00: OFFLINE (b.xml)");
  EXPECT_THAT(Entries(lstFileSet), expected);
  EXPECT_EQ(Window().ListIndex(lstFileSet), -1);
  EXPECT_TRUE(messages.shown.empty());

  // The current path is the next default; a path ending in the separator shows the names.
  picker->calls.clear();
  Load(folder.Path() + "/");
  EXPECT_EQ(picker->calls.at(2), "strDefaultPath=" + folder.Path());
  EXPECT_EQ(picker->created, 2);
  EXPECT_THAT(Entries(lstFileSet), expected);
}

// Only .xml files with the marker are listed; missing header properties leave their
// place empty.
TEST_F(LoadCommand, ListsLogFilesOnlyAndLeavesMissingPropertiesEmpty) {
  TempFolder other;
  other.WriteLines("c.xml", LogLines("-", "-", {}));
  other.WriteLines("d.xml", LogLines("db.mdb", "-", {}));
  other.WriteLines("notes.txt", LogLines("db.mdb", "01.01.2026", {}));
  other.WriteLines("x.xml", {"<TarveskDataLayerLog>", "<HEAD>", "</HEAD>"});
  Load(other.Path());
  EXPECT_EQ(Window().Text(txtPath), other.Path());
  EXPECT_THAT(Entries(lstFileSet), ElementsAre(":  (c.xml)", ": db.mdb (d.xml)"));
  TempFolder empty;  // none at all: an empty list, no error
  Load(empty.Path());
  EXPECT_EQ(Window().Text(txtPath), empty.Path());
  EXPECT_TRUE(Entries(lstFileSet).empty());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LoadCommand, CancelEmptiesPathAndListsAndLeavesTheSetEjected) {
  Load(folder.Path());
  const auto set = manager->FileSetManager();
  ChooseFile(0);
  ChooseAction(0);
  ASSERT_TRUE(Seen(cmdUndo));

  Load("");
  EXPECT_EQ(Window().Text(txtPath), "");
  EXPECT_EQ(manager->FileSetManager(), set);  // the same set, emptied
  EXPECT_EQ(set->FileCount(), 0);
  // No list is left over from the ejected set, so no click can reach it.
  for (ControlId list : {lstFileSet, lstAction, lstDetails}) EXPECT_TRUE(Entries(list).empty());
  EXPECT_EQ(Frames(), "---");
  EXPECT_TRUE(Seen(fmeFileSet));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LoadCommand, LoadErrorIsShownAndTheWindowStaysUsable) {
  Load(folder.Path());
  Load(folder.Path() + "/gone");
  const UserMessage& shown = OnlyMessage();
  EXPECT_EQ(shown.title, "Fehler");
  EXPECT_EQ(shown.text, "Laufzeitfehler 76: Pfad nicht gefunden");
  EXPECT_EQ(shown.buttons, MessageButtons::Ok);
  EXPECT_EQ(shown.icon, MessageIcon::Critical);
  EXPECT_EQ(Window().Text(txtPath), folder.Path() + "/gone");
  EXPECT_TRUE(Entries(lstFileSet).empty());
  EXPECT_TRUE(Window().IsLoaded());

  Load(folder.Path());
  EXPECT_EQ(Entries(lstFileSet).size(), 2u);
}

// The set is ejected before the picker is asked for: without a picker nothing of it stays
// on the screen (a click there would reach a file set that is gone).
TEST_F(LoadCommand, MissingPickerTellsTheUserAndClearsTheEjectedSetsLists) {
  Load(folder.Path());
  ChooseFile(0);
  ChooseAction(0);
  UnregisterPicker();
  Window().Click(cmdFileManager);
  EXPECT_EQ(OnlyMessage().title, "Komponente nicht verfügbar!");
  EXPECT_EQ(Window().Text(txtPath), folder.Path());
  EXPECT_TRUE(Entries(lstFileSet).empty());
  EXPECT_TRUE(Entries(lstAction).empty());
  EXPECT_TRUE(Entries(lstDetails).empty());
  EXPECT_EQ(Frames(), "---");
}

TEST_F(LoadCommand, ReloadDropsTheLogsCachedForTheOldFiles) {
  Load(folder.Path());
  ChooseFile(0);
  const auto cached = manager->FileSetManager()->LogContent(1);
  std::filesystem::remove(std::filesystem::path(folder.Path()) / "a.xml");
  folder.WriteLines("a.xml", LogLines("db2", "07.12.2026", NewRecordAction(3, "Orte")));

  Load(folder.Path());
  ChooseFile(0);
  EXPECT_NE(manager->FileSetManager()->LogContent(1), cached);
  EXPECT_THAT(Entries(lstAction),
              ElementsAre("1: NEWRECORD RECORDID=3 / TABLE: Orte (QueryString: SELECT * FROM "
                          "Orte WHERE ID=3)"));
}

}  // namespace
}  // namespace tarvesk::test
