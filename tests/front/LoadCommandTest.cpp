// The load command: one folder picker per command, the set ejected before it is asked, and
// the set's files listed in its order.
#include <filesystem>

#include "tests/front/FrontFixture.h"

namespace tarvesk::test {
namespace {

class LoadCommand : public FrontTest {
 protected:
  void SetUp() override {
    Write("a.xml", LogFile(R"(C:\Daten\kunden.mdb)", "06.12.2026 11:36:43",
                           UpdateAction(7, "Kunden", "Name", "Müller", "Meier")));
    Write("b.xml", LogFile("OFFLINE", "05.12.2026 08:00:00", NewRecordAction(8, "Kunden")));
    Open();
  }
};

TEST_F(LoadCommand, AsksOnePickerPerCommandAndListsEveryLogFileOnceInSetOrder) {
  Load(folder.Path());
  EXPECT_THAT(picker.calls,
              ElementsAre("bolShowDirectoryOnly=True", "bolHideIcon=True", "strDefaultPath=",
                          "strFormCaption=Pfad für das oder die Logfiles auswählen",
                          "DisplayFileManager", "strResultFullPath"));
  EXPECT_EQ(Window().Text(txtPath), folder.Path());
  // a.xml holds the later session: the list keeps the set's order, not the time's.
  const auto expected = ElementsAre(R"(06.12.2026 11:36:43: C:\Daten\kunden.mdb (a.xml))",
                                    "05.12.2026 08:00:00: OFFLINE (b.xml)");
  EXPECT_THAT(Entries(lstFileSet), expected);
  EXPECT_EQ(Window().ListIndex(lstFileSet), -1);

  // The current path is the next default; a path ending in the separator shows the names.
  picker.calls.clear();
  Load(folder.Path() + "/");
  EXPECT_EQ(picker.calls.at(2), "strDefaultPath=" + folder.Path());
  EXPECT_EQ(picker.created, 2);
  EXPECT_THAT(Entries(lstFileSet), expected);

  // Only .xml files with the marker; missing header properties leave their place empty,
  // and the name shown is the file's, whatever FILENAME its header carries.
  TempFolder other;
  Lines ownName = LogFile("-", "-", {});
  ownName.insert(ownName.begin() + 3, "<FILENAME>eigener</FILENAME>");
  other.WriteLines("c.xml", ownName);
  other.WriteLines("d.xml", LogFile("db.mdb", "-", {}));
  other.WriteLines("notes.txt", LogFile("db.mdb", "01.01.2026", {}));
  other.WriteLines("x.xml", {"<TarveskDataLayerLog>", "<HEAD>", "</HEAD>"});
  Load(other.Path());
  EXPECT_THAT(Entries(lstFileSet), ElementsAre(":  (c.xml)", ": db.mdb (d.xml)"));
  TempFolder empty;  // none at all: an empty list, no error
  Load(empty.Path());
  EXPECT_EQ(Window().Text(txtPath), empty.Path());
  EXPECT_TRUE(Entries(lstFileSet).empty());
  EXPECT_TRUE(messages.shown.empty());
}

// Cancel, a missing picker and a failed load leave nothing of the ejected set on the
// screen (a click there would reach a file set that is gone); the window stays usable.
TEST_F(LoadCommand, WhatEndsTheCommandLeavesNoListOfTheEjectedSet) {
  const struct {
    std::function<void()> command;
    std::string path;   // shown afterwards
    std::string title;  // of the one message, "" for none
    std::string text;   // of the message, when given
  } rows[] = {
      {[&] { Load(""); }, "", "", ""},
      {[&] { Load(folder.Path() + "/gone"); }, folder.Path() + "/gone", "Fehler",
       "Laufzeitfehler 76: Pfad nicht gefunden"},
      {[&] {
         env.Components().Unregister(kFileManagerProgId);
         Window().Click(cmdFileManager);
       },
       folder.Path(), "Komponente nicht verfügbar!", ""},
  };
  for (const auto& row : rows) {
    Load(folder.Path());
    const auto set = manager->FileSetManager();
    ChooseFile(0);
    ChooseAction(0);
    ASSERT_TRUE(Seen(cmdUndo));
    messages.shown.clear();
    row.command();
    EXPECT_EQ(Window().Text(txtPath), row.path);
    EXPECT_EQ(manager->FileSetManager(), set);  // the same set, emptied
    EXPECT_EQ(set->FileCount(), 0);
    for (ControlId list : {lstFileSet, lstAction, lstDetails}) EXPECT_TRUE(Entries(list).empty());
    EXPECT_EQ(Frames(), "---");
    EXPECT_TRUE(Seen(fmeFileSet));
    EXPECT_EQ(messages.shown.size(), row.title.empty() ? 0u : 1u) << row.path;
    if (row.title.empty()) continue;
    EXPECT_EQ(OnlyMessage().title, row.title);
    EXPECT_TRUE(row.text.empty() || OnlyMessage().text == row.text) << OnlyMessage().text;
  }
}

TEST_F(LoadCommand, ReloadDropsTheLogsCachedForTheOldFiles) {
  Load(folder.Path());
  ChooseFile(0);
  const auto cached = manager->FileSetManager()->LogContent(1);
  std::filesystem::remove(folder / "a.xml");
  Write("a.xml", LogFile("db2", "07.12.2026", NewRecordAction(3, "Orte")));
  Load(folder.Path());
  ChooseFile(0);
  EXPECT_NE(manager->FileSetManager()->LogContent(1), cached);
  EXPECT_THAT(Entries(lstAction), ElementsAre("1: NEWRECORD RECORDID=3 / TABLE: Orte "
                                              "(QueryString: SELECT * FROM Orte WHERE ID=3)"));
}

}  // namespace
}  // namespace tarvesk::test
