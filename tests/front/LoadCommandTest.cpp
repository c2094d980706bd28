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
    folder.Write("a.xml", LogLines(R"(C:\Daten\kunden.mdb)", "06.12.2026 11:36:43",
                                   UpdateAction(7, "Kunden", "Name", "Müller", "Meier")));
    folder.Write("b.xml", LogLines("OFFLINE", "05.12.2026 08:00:00", NewRecordAction(8, "Kunden")));
    Open();
  }
};

TEST_F(LoadCommand, AsksThePickerInOrderAndListsEveryFileInSetOrder) {
  Load(folder.Path());
  EXPECT_THAT(picker->calls,
              ElementsAre("bolShowDirectoryOnly=True", "bolHideIcon=True", "strDefaultPath=",
                          "strFormCaption=Pfad für das oder die Logfiles auswählen",
                          "DisplayFileManager", "strResultFullPath"));
  EXPECT_EQ(Window().Text(txtPath), folder.Path());
  // a.xml holds the later session: the list keeps the set's order, not the time's.
  EXPECT_THAT(Entries(lstFileSet),
              ElementsAre(R"(06.12.2026 11:36:43: C:\Daten\kunden.mdb (a.xml))",
                          "05.12.2026 08:00:00: OFFLINE (b.xml)"));
  EXPECT_EQ(Window().ListIndex(lstFileSet), -1);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LoadCommand, OffersTheCurrentPathAsDefaultOnTheNextChoice) {
  Load(folder.Path());
  picker->calls.clear();
  Load(folder.Path());
  EXPECT_EQ(picker->calls.at(2), "strDefaultPath=" + folder.Path());
  EXPECT_EQ(picker->created, 2);  // one picker per command
}

TEST_F(LoadCommand, SameFolderTwiceListsEachFileOnce) {
  Load(folder.Path());
  Load(folder.Path());
  EXPECT_EQ(Entries(lstFileSet).size(), 2u);
}

TEST_F(LoadCommand, PathEndingInTheSeparatorShowsTheFilesOwnNames) {
  Load(folder.Path() + "/");
  EXPECT_THAT(Entries(lstFileSet),
              ElementsAre(R"(06.12.2026 11:36:43: C:\Daten\kunden.mdb (a.xml))",
                          "05.12.2026 08:00:00: OFFLINE (b.xml)"));
}

TEST_F(LoadCommand, MissingHeaderPropertiesLeaveTheirPlaceEmpty) {
  TempFolder other;
  other.Write("c.xml", LogLines("-", "-", {}));
  other.Write("d.xml", LogLines("db.mdb", "-", {}));
  Load(other.Path());
  EXPECT_THAT(Entries(lstFileSet), ElementsAre(":  (c.xml)", ": db.mdb (d.xml)"));
}

TEST_F(LoadCommand, CancelEmptiesPathAndListsAndLeavesTheSetEjected) {
  Load(folder.Path());
  const auto set = manager->FileSetManager();
  ChooseFile(0);
  ChooseAction(0);
  ASSERT_TRUE(Seen(cmdUndo));

  Load("");
  EXPECT_EQ(Window().Text(txtPath), "");
  EXPECT_TRUE(Entries(lstFileSet).empty());
  EXPECT_EQ(manager->FileSetManager(), set);  // the same set, emptied
  EXPECT_EQ(set->FileCount(), 0);
  // No list is left over from the ejected set, so no click can reach it.
  EXPECT_TRUE(Entries(lstAction).empty());
  EXPECT_TRUE(Entries(lstDetails).empty());
  EXPECT_FALSE(Seen(fmeActions));
  EXPECT_FALSE(Seen(fmeDetails));
  EXPECT_FALSE(Seen(fmeNextActions));
  EXPECT_TRUE(Seen(fmeFileSet));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LoadCommand, FolderWithoutLogFilesKeepsThePathAndAnEmptyList) {
  TempFolder empty;
  empty.Write("notes.txt", {"nothing"});
  Load(empty.Path());
  EXPECT_EQ(Window().Text(txtPath), empty.Path());
  EXPECT_TRUE(Entries(lstFileSet).empty());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LoadCommand, FilesWithoutTheMarkerGiveAnEmptyList) {
  TempFolder other;
  other.Write("x.xml", {"<TarveskDataLayerLog>", "<HEAD>", "</HEAD>"});
  Load(other.Path());
  EXPECT_TRUE(Entries(lstFileSet).empty());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LoadCommand, LoadErrorIsShownAndTheWindowStaysUsable) {
  Load(folder.Path());
  Load(folder.Path() + "/gone");

  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Fehler");
  EXPECT_EQ(messages.shown[0].text, "Laufzeitfehler 76: Pfad nicht gefunden");
  EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Critical);
  EXPECT_EQ(Window().Text(txtPath), folder.Path() + "/gone");
  EXPECT_TRUE(Entries(lstFileSet).empty());
  EXPECT_TRUE(Window().IsLoaded());

  Load(folder.Path());
  EXPECT_EQ(Entries(lstFileSet).size(), 2u);
}

TEST_F(LoadCommand, MissingPickerStopsAfterTellingTheUser) {
  Load(folder.Path());
  ChooseFile(0);
  UnregisterPicker();
  TakeViewLog();

  Window().Click(cmdFileManager);

  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Komponente nicht verfügbar!");
  EXPECT_TRUE(TakeViewLog().empty());  // no control changed
  EXPECT_EQ(Window().Text(txtPath), folder.Path());
  EXPECT_EQ(Entries(lstFileSet).size(), 2u);
  EXPECT_EQ(Entries(lstAction).size(), 1u);
}

TEST_F(LoadCommand, ReloadDropsTheLogsCachedForTheOldFiles) {
  Load(folder.Path());
  ChooseFile(0);
  const auto cached = manager->FileSetManager()->LogContent(1);
  std::filesystem::remove(std::filesystem::path(folder.Path()) / "a.xml");
  folder.Write("a.xml", LogLines("db2", "07.12.2026", NewRecordAction(3, "Orte")));

  Load(folder.Path());
  ChooseFile(0);
  EXPECT_NE(manager->FileSetManager()->LogContent(1), cached);
  EXPECT_THAT(Entries(lstAction),
              ElementsAre("1: NEWRECORD RECORDID=3 / TABLE: Orte (QueryString: SELECT * FROM "
                          "Orte WHERE ID=3)"));
}

}  // namespace
}  // namespace tarvesk::test
