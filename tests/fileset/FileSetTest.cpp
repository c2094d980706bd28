#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "components/filesystem/FileSystem.h"
#include "components/xmlparser/XMLParser.h"
#include "fileset/FileSet.h"
#include "logdata/LogData.h"
#include "service/modService.h"
#include "tests/support/Spawn.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

using test::LogLines;
using test::TempFolder;

int ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.Number();
  }
  return 0;
}

std::string ErrorTextOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.Description();
  }
  return "";
}

class FileSetTest : public ::testing::Test {
 protected:
  test::TestEnvironment env;
  std::shared_ptr<FileSet> set = std::make_shared<FileSet>(env);
  TempFolder folder;
  std::string sep{kPathSeparator};

  // The cached LogData objects hold the set: eject to let both go.
  void TearDown() override {
    if (set) set->EjectFileset();
  }

  void WriteLog(const std::string& name, const std::string& time,
                const std::string& database = "C:\\db\\shop.db") {
    folder.WriteLines(name, LogLines(database, time, {}));
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int32_t i = 1; i <= set->FileCount(); ++i) {
      names.push_back(std::filesystem::path(set->File(i)).filename().string());
    }
    return names;
  }
};

using Loading = FileSetTest;

TEST_F(Loading, KeepsTheFilesWhoseSecondLineCarriesTheMarker) {
  WriteLog("a.xml", "01.12.2026");
  folder.WriteLines("b.xml", {"<TarveskDataLayerLog>", "x"});         // marker on line 1
  folder.WriteLines("c.xml", {"x", "y", "<TarveskDataLayerLog>"});    // on line 3
  folder.WriteLines("d.xml", {"x", "  <TarveskDataLayerLog> Rest"});  // text around it
  folder.WriteLines("e.xml", {"x", "<tarveskdatalayerlog>"});         // other case
  folder.WriteBytes("f.xml", "x\n<TarveskDataLayerLog>\n");           // LF ends no line
  folder.WriteBytes("g.xml", "nur eine Zeile");                       // no second line
  folder.WriteBytes("h.xml", "");
  WriteLog("i.txt", "01.12.2026");
  EXPECT_TRUE(set->LoadFileSet(folder.Str()));
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.xml", "d.xml"}));
}

TEST_F(Loading, EndsThePathInOneSeparator) {
  WriteLog("a.xml", "01.12.2026");
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  EXPECT_EQ(set->File(1), folder.Str() + sep + "a.xml");
  ASSERT_TRUE(set->LoadFileSet(folder.Str() + sep));
  EXPECT_EQ(set->File(1), folder.Str() + sep + "a.xml");
  EXPECT_EQ(set->File(0), "");
  EXPECT_EQ(set->File(2), "");
  EXPECT_EQ(set->File(-5), "");
}

TEST_F(Loading, AnswersFalseForAFolderWithoutXmlFiles) {
  folder.WriteBytes("a.txt", "x");
  EXPECT_FALSE(set->LoadFileSet(folder.Str()));
  EXPECT_EQ(set->FileCount(), 0);
  EXPECT_FALSE(set->DeleteOldFiles(DateValue{1e6}));  // not loaded
}

TEST_F(Loading, AnswersTrueWithNoFilesWhenNoneCarriesTheMarker) {
  folder.WriteLines("a.xml", {"x", "y"});
  EXPECT_TRUE(set->LoadFileSet(folder.Str()));
  EXPECT_EQ(set->FileCount(), 0);
}

TEST_F(Loading, ReloadingDropsTheOldSetItsHeadersAndCache) {
  WriteLog("a.xml", "01.12.2026");
  WriteLog("b.xml", "02.12.2026");
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  set->ReadFileSetProperties();
  const auto oldLog = set->LogContent(2);
  TempFolder other;
  other.WriteLines("z.xml", LogLines("X", "03.12.2026", {}));
  other.WriteLines("y.xml", LogLines("Y", "04.12.2026", {}));
  ASSERT_TRUE(set->LoadFileSet(other.Str()));
  EXPECT_EQ(ErrorNumberOf([&] { set->FileProperties(1, "DATABASE"); }), kObjectNotSet);
  const auto newLog = set->LogContent(2);
  EXPECT_NE(newLog, oldLog);
  EXPECT_EQ(newLog->Parent(), set);
  set->ReadFileSetProperties();
  EXPECT_EQ(set->FileProperties(2, "DATABASE"), "X");  // z.xml sorts after y.xml
}

// Lists fixed names, whether or not the files exist.
class FixedListing : public IFileSystem {
 public:
  explicit FixedListing(std::vector<std::string> names) : names_(std::move(names)) {}
  std::vector<std::string> GetFilesInFolder(const std::string&, const std::string&) override {
    return names_;
  }

 private:
  std::vector<std::string> names_;
};

TEST_F(Loading, AnUnreadableCandidateFailsTheLoad) {
  WriteLog("a.xml", "01.12.2026");
  folder.WriteLines("b.xml", {"x", "y"});
  WriteLog("d.xml", "01.12.2026");
  env.Components().Register<IFileSystem>(kFileSystemProgId, [] {
    return std::make_unique<FixedListing>(
        std::vector<std::string>{"a.xml", "b.xml", "fehlt.xml", "b.xml", "d.xml"});
  });
  const int error = ErrorNumberOf([&] { set->LoadFileSet(folder.Str()); });
  env.Components().Register<IFileSystem>(kFileSystemProgId,
                                         [] { return std::make_unique<FileSystem>(); });
  EXPECT_EQ(error, kFileNotFound);
  // Filtered before the failing file, unfiltered from it on; not loaded.
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.xml", "fehlt.xml", "b.xml", "d.xml"}));
  EXPECT_FALSE(set->DeleteOldFiles(DateValue{1e6}));
}

// The error of a file that cannot be read names it, after the standard text, whichever
// reading meets it.
TEST_F(Loading, TheErrorOfAnUnreadableFileNamesIt) {
  WriteLog("a.xml", "01.12.2026");
  WriteLog("b.xml", "01.12.2026");
  const std::string missing = folder.FileStr("fehlt.xml");
  env.Components().Register<IFileSystem>(kFileSystemProgId, [] {
    return std::make_unique<FixedListing>(std::vector<std::string>{"a.xml", "fehlt.xml"});
  });
  EXPECT_EQ(ErrorTextOf([&] { set->LoadFileSet(folder.Str()); }),
            "Datei nicht gefunden: " + missing);
  env.Components().Register<IFileSystem>(kFileSystemProgId,
                                         [] { return std::make_unique<FileSystem>(); });
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  std::filesystem::remove(folder.Path() / "b.xml");
  EXPECT_EQ(ErrorTextOf([&] { set->ReadFileSetProperties(); }),
            "Datei nicht gefunden: " + set->File(2));
  std::filesystem::create_directory(folder.Path() / "b.xml");  // no file at all
  EXPECT_EQ(ErrorTextOf([&] { set->LogContent(2); }),
            "Fehler beim Zugriff auf Pfad/Datei: " + set->File(2));
}

// A FIFO, a device, a folder or a loop of links named *.xml, swapped in after the listing,
// is no log of the set; opening none of them waits (a FIFO without writer would block an
// open, a device such as /dev/zero never ends).
TEST_F(Loading, OnlyRegularFilesAreLogs) {
  WriteLog("a.xml", "01.12.2026");
  ASSERT_EQ(mkfifo(folder.FileStr("fifo.xml").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", folder.Path() / "device.xml");
  std::filesystem::create_directory(folder.Path() / "folder.xml");
  std::filesystem::create_symlink("loop.xml", folder.Path() / "loop.xml");
  const std::vector<std::string> listing{"fifo.xml", "device.xml", "a.xml", "folder.xml",
                                         "loop.xml"};
  env.Components().Register<IFileSystem>(kFileSystemProgId,
                                         [&] { return std::make_unique<FixedListing>(listing); });
  alarm(30);  // a hang fails the whole run rather than waiting forever
  const bool loaded = set->LoadFileSet(folder.Str());
  alarm(0);
  env.Components().Register<IFileSystem>(kFileSystemProgId,
                                         [] { return std::make_unique<FileSystem>(); });
  EXPECT_TRUE(loaded);
  EXPECT_EQ(Names(), std::vector<std::string>{"a.xml"});
}

TEST_F(Loading, AMissingFileSystemComponentShowsItsMessageAndFails) {
  auto& messages = env.messages;
  env.Components().Unregister(kFileSystemProgId);
  EXPECT_EQ(ErrorNumberOf([&] { set->LoadFileSet(folder.Str()); }), kObjectNotSet);
  env.Components().Register<IFileSystem>(kFileSystemProgId,
                                         [] { return std::make_unique<FileSystem>(); });
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Komponente nicht verfügbar!");
}

using HeaderReading = FileSetTest;

TEST_F(HeaderReading, StoresTheHeaderPropertiesThenTheFileName) {
  // A name the tag parser would decode: FILENAME must stay the real file's path.
  folder.WriteLines("Tom&amp;Jerry.xml", {"<?xml?>", "<TarveskDataLayerLog>", "<HEAD>",
                                          "  <DATABASE>C:\\Daten\\shop.db</DATABASE>  ",
                                          "\t<SESSIONTIME>01.12.2026</SESSIONTIME>",
                                          "<USER></USER>", "freier Text", "</HEAD>", "<LOGDATA>"});
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  set->ReadFileSetProperties();
  const auto properties = set->HeaderProperties(1);
  ASSERT_EQ(properties->PropertyCount(), 4);
  EXPECT_EQ(set->FileProperties(1, "DATABASE"), "C:\\Daten\\shop.db");
  EXPECT_EQ(properties->PropertyNameByIndex(2), "SESSIONTIME");
  EXPECT_EQ(set->FileProperties(1, "USER"), "");
  EXPECT_EQ(properties->PropertyNameByIndex(4), "FILENAME");
  EXPECT_EQ(set->FileProperties(1, "FILENAME"), folder.Str() + sep + "Tom&amp;Jerry.xml");
  EXPECT_EQ(set->FileProperties(1, "FILENAME"), set->File(1));
  EXPECT_EQ(set->FileProperties(1, "KEINE"), "");
}

TEST_F(HeaderReading, ReadsTwentyLinesAtMost) {
  std::vector<std::string> lines = {"x", "<TarveskDataLayerLog>", "<HEAD>"};
  for (int i = 4; i <= 22; ++i)
    lines.push_back("<P" + std::to_string(i) + ">v</P" + std::to_string(i) + ">");
  lines.push_back("</HEAD>");
  folder.WriteLines("a.xml", lines);
  std::vector<std::string> noHead(25, "<X>1</X>");
  noHead[1] = "<TarveskDataLayerLog>";
  folder.WriteLines("b.xml", noHead);
  // b.xml never closed its header within 20 lines: c.xml's lines before <HEAD> stay unparsed.
  folder.WriteLines("c.xml", {"<VOR>1</VOR>", "<TarveskDataLayerLog>", "<HEAD>",
                              "<DATABASE>D</DATABASE>", "</HEAD>", "<NACH>1</NACH>"});
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  set->ReadFileSetProperties();
  EXPECT_EQ(set->HeaderProperties(1)->PropertyCount(), 17 + 1);  // lines 4..20, FILENAME
  EXPECT_EQ(set->FileProperties(1, "P20"), "v");
  EXPECT_EQ(set->FileProperties(1, "P21"), "");
  EXPECT_EQ(set->HeaderProperties(2)->PropertyCount(), 1);
  EXPECT_EQ(set->HeaderProperties(3)->PropertyCount(), 2);
  EXPECT_EQ(set->FileProperties(3, "VOR"), "");
  EXPECT_EQ(set->FileProperties(3, "NACH"), "");
}

TEST_F(HeaderReading, AFileEndingInsideItsHeaderKeepsWhatItRead) {
  folder.WriteLines("a.xml", {"x", "<TarveskDataLayerLog>", "<HEAD>", "<DATABASE>D</DATABASE>"});
  WriteLog("b.xml", "02.12.2026");
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  set->ReadFileSetProperties();
  EXPECT_EQ(set->FileProperties(1, "DATABASE"), "D");
  EXPECT_EQ(set->HeaderProperties(1)->PropertyNameByIndex(2), "FILENAME");
  EXPECT_EQ(set->FileProperties(2, "SESSIONTIME"), "02.12.2026");
}

TEST_F(HeaderReading, OpeningAndClosingOnOneLineOpens) {
  folder.WriteLines("a.xml", {"x", "<TarveskDataLayerLog>", "<HEAD></HEAD>",
                              "<FILENAME>eigener</FILENAME>", "</HEAD>"});
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  set->ReadFileSetProperties();
  EXPECT_EQ(set->FileProperties(1, "FILENAME"), "eigener");  // the first match wins
  EXPECT_EQ(set->HeaderProperties(1)->PropertyValueByIndex(2), folder.Str() + sep + "a.xml");
}

TEST_F(HeaderReading, RaisesBeforeReadingAndOutsideTheSet) {
  WriteLog("a.xml", "01.12.2026");
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  EXPECT_EQ(ErrorNumberOf([&] { set->FileProperties(1, "DATABASE"); }), kObjectNotSet);
  set->ReadFileSetProperties();
  EXPECT_EQ(ErrorNumberOf([&] { set->FileProperties(0, "DATABASE"); }), kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] { set->FileProperties(2, "DATABASE"); }), kSubscriptOutOfRange);
  std::filesystem::remove(folder.Path() / "a.xml");
  EXPECT_EQ(ErrorNumberOf([&] { set->ReadFileSetProperties(); }), kFileNotFound);
}

TEST_F(HeaderReading, AMissingParserShowsItsMessageOnceAndFails) {
  WriteLog("a.xml", "01.12.2026");
  WriteLog("b.xml", "01.12.2026");
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  auto& messages = env.messages;
  env.Components().Unregister(kXmlParserProgId);
  EXPECT_EQ(ErrorNumberOf([&] { set->ReadFileSetProperties(); }), kObjectNotSet);
  env.Components().Register<IXmlParser>(kXmlParserProgId,
                                        [] { return std::make_unique<XMLParser>(); });
  EXPECT_EQ(messages.shown.size(), 1u);
}

using ContentCache = FileSetTest;

TEST_F(ContentCache, HandsOutOneObjectPerFile) {
  WriteLog("a.xml", "01.12.2026");
  WriteLog("b.xml", "02.12.2026");
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  const auto first = set->LogContent(2);
  std::filesystem::remove(folder.Path() / "b.xml");  // not read again
  EXPECT_EQ(set->LogContent(2), first);
  EXPECT_EQ(first->FileIndex(), 2);
  EXPECT_EQ(first->Parent(), set);
  const auto unbound = set->LogContent(0);
  EXPECT_EQ(unbound->FileIndex(), 0);
  EXPECT_FALSE(unbound->IsLoaded());
  EXPECT_EQ(set->LogContent(0), unbound);
}

TEST_F(ContentCache, CachesNothingWhenLoadingFails) {
  WriteLog("a.xml", "01.12.2026");
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  EXPECT_EQ(ErrorNumberOf([&] { set->LogContent(2); }), kBadFileName);
  std::filesystem::remove(folder.Path() / "a.xml");
  EXPECT_EQ(ErrorNumberOf([&] { set->LogContent(1); }), kFileNotFound);
  WriteLog("a.xml", "01.12.2026");
  EXPECT_TRUE(set->LogContent(1)->IsLoaded());  // a repeated call tries again
}

TEST_F(ContentCache, EjectingBreaksTheCycleWithTheCache) {
  WriteLog("a.xml", "01.12.2026");
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  std::weak_ptr<LogData> log = set->LogContent(1);
  std::weak_ptr<FileSet> weakSet = set;
  set->EjectFileset();
  EXPECT_TRUE(log.expired());
  EXPECT_EQ(set->FileCount(), 0);
  EXPECT_EQ(set->FolderPath(), "");
  set.reset();
  EXPECT_TRUE(weakSet.expired());
}

using OldLogRemoval = FileSetTest;

TEST_F(OldLogRemoval, DeletesTheFilesOlderThanTheDate) {
  WriteLog("a.xml", "01.12.2026 10:00:00");
  WriteLog("b.xml", "03.12.2026 10:00:00", "B");
  WriteLog("c.xml", "2026-12-02 09:59:59");
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  EXPECT_TRUE(set->DeleteOldFiles(CDate("02.12.2026 10:00")));  // reads the headers first
  EXPECT_EQ(Names(), std::vector<std::string>{"b.xml"});
  EXPECT_EQ(set->FileProperties(1, "DATABASE"), "B");
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "a.xml"));
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "c.xml"));
  EXPECT_TRUE(std::filesystem::exists(folder.Path() / "b.xml"));
}

TEST_F(OldLogRemoval, KeepsFilesOfTheSameMomentAndWithoutADate) {
  WriteLog("a.xml", "02.12.2026 10:00:00");
  WriteLog("b.xml", "");
  WriteLog("c.xml", "gestern");
  folder.WriteLines("d.xml", {"x", "<TarveskDataLayerLog>"});  // no SESSIONTIME at all
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  EXPECT_TRUE(set->DeleteOldFiles(CDate("02.12.2026 10:00")));
  EXPECT_EQ(set->FileCount(), 4);
  for (const char* name : {"a.xml", "b.xml", "c.xml", "d.xml"}) {
    EXPECT_TRUE(std::filesystem::exists(folder.Path() / name)) << name;
  }
}

TEST_F(OldLogRemoval, AFileThatCannotBeDeletedStillLeavesTheSet) {
  WriteLog("a.xml", "01.12.2026");
  WriteLog("b.xml", "05.12.2026");
  std::filesystem::permissions(folder.Path() / "a.xml", std::filesystem::perms::owner_read);
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  EXPECT_TRUE(set->DeleteOldFiles(CDate("02.12.2026")));
  EXPECT_EQ(Names(), std::vector<std::string>{"b.xml"});
  EXPECT_TRUE(std::filesystem::exists(folder.Path() / "a.xml"));
}

// A log that its data-layer session (in another process) still holds, and one without its
// end marker that changed just now, stay on disk and are reported; both leave the set, as
// any file that cannot be deleted, and the result stays True. Once the session has ended,
// and once the unfinished log has been quiet for a while, they go.
TEST_F(OldLogRemoval, LiveLogsStayOnDiskAndAreReported) {
  TempFolder data;
  test::Spawned session({DATALAYER_SESSION_EXE, data.FileStr("shop.db"), folder.Str(), "3"});
  const std::string line = session.ReadLine();
  ASSERT_EQ(line.rfind("log ", 0), 0u) << line;
  const std::string live = line.substr(4);
  ASSERT_EQ(session.ReadLine(), "done");
  std::vector<std::string> unfinished = LogLines("C:\\db", "01.12.2026", {});
  unfinished.pop_back();  // no end marker
  folder.WriteLines("unfertig.xml", unfinished);
  WriteLog("alt.xml", "01.12.2026");
  const auto threshold = CDate("01.01.2100");

  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  EXPECT_TRUE(set->DeleteOldFiles(threshold));
  EXPECT_EQ(set->FileCount(), 0);
  ASSERT_EQ(set->SkippedLogs().size(), 2u);
  EXPECT_EQ(set->SkippedLogs()[0].path, live);
  EXPECT_EQ(set->SkippedLogs()[0].reason, LiveLogReason::Locked);
  EXPECT_EQ(set->SkippedLogs()[1].path, folder.FileStr("unfertig.xml"));
  EXPECT_EQ(set->SkippedLogs()[1].reason, LiveLogReason::Unfinished);
  EXPECT_TRUE(std::filesystem::exists(live));
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "alt.xml"));

  session.CloseInput();
  EXPECT_EQ(session.Wait(), 0);
  std::filesystem::last_write_time(
      folder.Path() / "unfertig.xml",
      std::filesystem::file_time_type::clock::now() - std::chrono::minutes(10));
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  EXPECT_TRUE(set->DeleteOldFiles(threshold));
  EXPECT_TRUE(set->SkippedLogs().empty());
  EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

TEST_F(OldLogRemoval, TheCacheFollowsTheRemainingFiles) {
  WriteLog("a.xml", "01.12.2026");
  WriteLog("b.xml", "05.12.2026", "B");
  WriteLog("c.xml", "01.12.2026");
  WriteLog("d.xml", "06.12.2026", "D");
  ASSERT_TRUE(set->LoadFileSet(folder.Str()));
  set->ReadFileSetProperties();
  const auto removed = set->LogContent(1);
  const auto b = set->LogContent(2);
  const auto d = set->LogContent(4);
  EXPECT_TRUE(set->DeleteOldFiles(CDate("02.12.2026")));
  EXPECT_EQ(set->LogContent(1), b);
  EXPECT_EQ(set->LogContent(2), d);
  EXPECT_EQ(d->FileIndex(), 2);
  EXPECT_EQ(set->File(d->FileIndex()), folder.Str() + sep + "d.xml");
  EXPECT_EQ(ErrorNumberOf([&] { set->LogContent(3); }), kBadFileName);  // file 3 is gone
}

}  // namespace
}  // namespace tarvesk
