#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "components/ReferenceComponents.h"
#include "components/xmlparser/XMLParser.h"
#include "fileset/FileSet.h"
#include "fileset/PropertyCollection.h"
#include "logdata/LogData.h"
#include "service/modService.h"
#include "tests/support/Process.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

using test::ErrorNumberOf;
using test::ErrorTextOf;
using test::LogLines;
using test::TempFolder;

// Lists fixed names, whether or not the files exist.
struct FixedListing : IFileSystem {
  explicit FixedListing(std::vector<std::string> listed) : names(std::move(listed)) {}
  std::vector<std::string> GetFilesInFolder(const std::string&, const std::string&) override {
    return names;
  }
  std::vector<std::string> names;
};

class FileSetTest : public ::testing::Test {
 protected:
  test::TestEnvironment env;
  std::shared_ptr<FileSet> set = std::make_shared<FileSet>(env);
  TempFolder folder;

  // The cached LogData objects hold the set: eject to let both go.
  ~FileSetTest() override { set->EjectFileset(); }
  void List(std::vector<std::string> names) {
    env.Components().Register<IFileSystem>(
        kFileSystemProgId, [names] { return std::make_unique<FixedListing>(names); });
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

// The *.xml files whose second line carries the marker; none at all answers False.
TEST_F(FileSetTest, KeepsTheFilesWhoseSecondLineCarriesTheMarker) {
  WriteLog("a.txt", "01.12.2026");
  EXPECT_FALSE(set->LoadFileSet(folder.Path()));
  folder.WriteLines("b.xml", {"<TarveskDataLayerLog>", "x"});  // marker on line 1
  folder.WriteBytes("f.xml", "x\n<TarveskDataLayerLog>\n");    // LF ends no line
  folder.WriteBytes("g.xml", "nur eine Zeile");                // no second line
  EXPECT_TRUE(set->LoadFileSet(folder.Path()));
  EXPECT_EQ(set->FileCount(), 0);
  WriteLog("a.xml", "01.12.2026");
  folder.WriteLines("d.xml", {"x", "  <TarveskDataLayerLog> Rest"});  // text around it
  for (const std::string& path : {folder.Path(), folder.Path() + "/"}) {
    ASSERT_TRUE(set->LoadFileSet(path));
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.xml", "d.xml"}));
    EXPECT_EQ(set->File(1), folder / "a.xml");
  }
  for (int32_t outside : {0, 3}) EXPECT_EQ(set->File(outside), "");
}

// An unreadable file fails the reading that meets it, named; a missing component tells once;
// what is no regular file is no log.
TEST_F(FileSetTest, UnreadableFilesMissingComponentsAndIrregularFiles) {
  WriteLog("a.xml", "01.12.2026");
  folder.WriteLines("b.xml", {"x", "y"});
  WriteLog("d.xml", "01.12.2026");
  env.Components().Unregister(kFileSystemProgId);
  EXPECT_EQ(ErrorNumberOf([&] { set->LoadFileSet(folder.Path()); }), kObjectNotSet);
  List({"a.xml", "b.xml", "fehlt.xml", "b.xml", "d.xml"});
  EXPECT_EQ(ErrorTextOf([&] { set->LoadFileSet(folder.Path()); }),
            "Datei nicht gefunden: " + folder / "fehlt.xml");
  // Filtered before the failing file, unfiltered from it on; not loaded.
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.xml", "fehlt.xml", "b.xml", "d.xml"}));
  EXPECT_FALSE(set->DeleteOldFiles(DateValue{1e6}));
  RegisterReferenceComponents(env.Components());
  ASSERT_TRUE(set->LoadFileSet(folder.Path()));
  std::filesystem::remove(folder / "d.xml");
  EXPECT_EQ(ErrorTextOf([&] { set->ReadFileSetProperties(); }),
            "Datei nicht gefunden: " + set->File(2));
  std::filesystem::create_directory(folder / "d.xml");  // no file at all
  EXPECT_EQ(ErrorTextOf([&] { set->LogContent(2); }),
            "Fehler beim Zugriff auf Pfad/Datei: " + set->File(2));
  env.Components().Unregister(kXmlParserProgId);
  EXPECT_EQ(ErrorNumberOf([&] { set->ReadFileSetProperties(); }), kObjectNotSet);
  EXPECT_EQ(ErrorNumberOf([&] { set->LogContent(1); }), kObjectNotSet);
  ASSERT_EQ(env.messages.shown.size(), 3u);
  // FIFOs, devices, folders and link loops are no logs, and opening them never waits.
  ASSERT_EQ(mkfifo((folder / "fifo.xml").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", folder / "device.xml");
  std::filesystem::create_symlink("loop.xml", folder / "loop.xml");
  List({"fifo.xml", "device.xml", "a.xml", "d.xml", "loop.xml"});
  alarm(30);  // a hang fails the whole run rather than waiting forever
  const bool loaded = set->LoadFileSet(folder.Path());
  alarm(0);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(Names(), std::vector<std::string>{"a.xml"});
}

// 20 lines of header, then FILENAME (not decoded); a cut header keeps its lines; first match wins.
TEST_F(FileSetTest, StoresTwentyLinesOfTheHeaderThenTheFileName) {
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
  folder.WriteLines("e.xml", {"x", "<TarveskDataLayerLog>", "<HEAD></HEAD>",
                              "<FILENAME>eigener</FILENAME>", "</HEAD>"});
  folder.WriteLines("Tom&amp;Jerry.xml", {"<?xml?>", "<TarveskDataLayerLog>", "<HEAD>",
                                          "  <DATABASE>C:\\Daten\\shop.db</DATABASE>  ",
                                          "\t<SESSIONTIME>01.12.2026</SESSIONTIME>",
                                          "<USER></USER>", "freier Text", "</HEAD>", "<LOGDATA>"});
  ASSERT_TRUE(set->LoadFileSet(folder.Path()));
  set->ReadFileSetProperties();
  EXPECT_EQ(set->HeaderProperties(1)->PropertyCount(), 17 + 1);  // lines 4..20, FILENAME
  EXPECT_EQ(set->FileProperties(1, "P20"), "v");
  EXPECT_EQ(set->HeaderProperties(2)->PropertyCount(), 1);
  EXPECT_EQ(set->HeaderProperties(3)->PropertyCount(), 2);
  EXPECT_EQ(set->FileProperties(3, "DATABASE"), "D");
  EXPECT_EQ(set->FileProperties(4, "FILENAME"), "eigener");
  EXPECT_EQ(set->HeaderProperties(4)->PropertyValueByIndex(2), folder / "e.xml");
  ASSERT_EQ(set->HeaderProperties(5)->PropertyCount(), 4);
  EXPECT_EQ(set->FileProperties(5, "DATABASE"), "C:\\Daten\\shop.db");
  EXPECT_EQ(set->FileProperties(5, "FILENAME"), folder / "Tom&amp;Jerry.xml");
  for (int32_t outside : {0, 6}) {
    EXPECT_EQ(ErrorNumberOf([&] { set->FileProperties(outside, "DATABASE"); }),
              kSubscriptOutOfRange);
  }
}

// The header lines LoadFileSet keeps are those the files give anew, unless the folder changed.
TEST_F(FileSetTest, TheHeadersReadWithTheMarkersAreThoseOfTheFiles) {
  class EchoParser : public XMLParser {
    void ParseSingleTag(const std::string& line, std::string& name, std::string& value) override {
      name = "Z";
      value = line;
    }
  };
  env.Components().Register<IXmlParser>(kXmlParserProgId,
                                        [] { return std::make_unique<EchoParser>(); });
  const std::string head = "x\r\n<TarveskDataLayerLog>\r\n<HEAD>\r\n";
  std::string twenty = head;  // its 20th line, the last one read, runs past the reads
  for (int i = 4; i < 20; ++i) twenty += "<P>" + std::to_string(i) + "</P>\r\n";
  twenty += "<P>" + std::string(5000, 'z') + "</P>\r\n</HEAD>\r\n";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"cr.xml", "x\r<TarveskDataLayerLog>\r<HEAD>\r<A>1</A>\r\r</HEAD>\r"},
      {"lf.xml", head + "<A>1</A>\n<B>2</B>\r\n</HEAD>\n<C>3</C>\r\n</HEAD>\r\n"},
      {"open-end.xml", head + "<A>\xFC</A>\r\n<B>zuletzt</B>"},
      {"cr-1023.xml",  // a CR as the last byte of the first read, its LF in the next
       head + std::string(1023 - head.size(), 'v') + "\r\n<DATABASE>D</DATABASE>\r\n</HEAD>\r\n"},
      {"long-first.xml",
       std::string(5000, 'x') + "\r\n<TarveskDataLayerLog>\r\n<HEAD>\r\n<A>1</A>\r\n</HEAD>\r\n"},
      {"twenty.xml", twenty},
      {"witness.xml", head + "<DATABASE>alt</DATABASE>\r\n</HEAD>\r\n"},
  };
  for (const auto& [name, bytes] : files) folder.WriteBytes(name, bytes);
  const auto headers = [&] {
    std::vector<std::string> all;
    for (int32_t i = 1; i <= set->FileCount(); ++i) {
      const auto properties = set->HeaderProperties(i);
      for (int32_t k = 1; k <= properties->PropertyCount(); ++k) {
        all.push_back(Names()[i - 1] + " " + properties->PropertyValueByIndex(k));
      }
    }
    return all;
  };
  std::filesystem::last_write_time(  // settled: the folder is as it was an hour ago
      folder.Path(), std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  ASSERT_TRUE(set->LoadFileSet(folder.Path()));
  ASSERT_EQ(set->FileCount(), static_cast<int32_t>(files.size()));
  // Rewritten in place, the folder unchanged: the first reading takes the kept header.
  folder.WriteBytes("witness.xml", head + "<DATABASE>neu</DATABASE>\r\n</HEAD>\r\n");
  set->ReadFileSetProperties();
  auto withMarkers = headers();
  set->ReadFileSetProperties();
  const auto anew = headers();
  EXPECT_EQ(withMarkers.end()[-2], "witness.xml <DATABASE>alt</DATABASE>");  // the last file
  withMarkers.end()[-2] = "witness.xml <DATABASE>neu</DATABASE>";
  EXPECT_EQ(withMarkers, anew);
  for (const char* entry : {"open-end.xml <A>ü</A>", "lf.xml <A>1</A>\n<B>2</B>"}) {
    EXPECT_EQ(std::count(anew.begin(), anew.end(), entry), 1) << entry;
  }

  // A file removed after the loading changes the folder: the reading meets it.
  ASSERT_TRUE(set->LoadFileSet(folder.Path()));
  std::filesystem::remove(folder / "lf.xml");
  EXPECT_EQ(ErrorNumberOf([&] { set->ReadFileSetProperties(); }), kFileNotFound);
}

// One object per file, never read twice; a failed load caches nothing; reload and eject drop all.
TEST_F(FileSetTest, HandsOutOneObjectPerFileUntilReloadOrEject) {
  WriteLog("a.xml", "01.12.2026");
  WriteLog("b.xml", "02.12.2026");
  ASSERT_TRUE(set->LoadFileSet(folder.Path()));
  set->ReadFileSetProperties();
  const auto first = set->LogContent(2);
  std::filesystem::remove(folder / "b.xml");  // not read again
  EXPECT_EQ(set->LogContent(2), first);
  const auto unbound = set->LogContent(0);
  EXPECT_EQ(unbound->FileIndex(), 0);
  EXPECT_FALSE(unbound->IsLoaded());
  EXPECT_EQ(set->LogContent(0), unbound);
  EXPECT_EQ(ErrorNumberOf([&] { set->LogContent(3); }), kBadFileName);
  std::filesystem::remove(folder / "a.xml");
  EXPECT_EQ(ErrorNumberOf([&] { set->LogContent(1); }), kFileNotFound);
  WriteLog("a.xml", "01.12.2026");
  WriteLog("b.xml", "02.12.2026", "B");
  ASSERT_TRUE(set->LoadFileSet(folder.Path()));
  EXPECT_EQ(ErrorNumberOf([&] { set->FileProperties(1, "DATABASE"); }), kObjectNotSet);
  EXPECT_NE(set->LogContent(2), first);
  set->ReadFileSetProperties();
  EXPECT_EQ(set->FileProperties(2, "DATABASE"), "B");
  std::weak_ptr<LogData> log = set->LogContent(1);
  set->EjectFileset();  // breaks the cycle with the cache
  EXPECT_TRUE(log.expired());
}

// Older sessions go, undated ones stay; an undeletable file leaves the set; the cache follows.
TEST_F(FileSetTest, DeletesTheFilesOlderThanTheDate) {
  WriteLog("b.xml", "03.12.2026 10:00:00", "B");
  WriteLog("c.xml", "2026-12-02 09:59:59");
  WriteLog("d.xml", "02.12.2026 10:00:00");
  WriteLog("e.xml", "gestern");
  WriteLog("h.xml", "01.12.2026");
  std::filesystem::permissions(folder / "h.xml", std::filesystem::perms::owner_read);
  ASSERT_TRUE(set->LoadFileSet(folder.Path()));
  set->LogContent(2);  // cached before d.xml's: a stale entry would be found first
  const auto d = set->LogContent(3);
  EXPECT_TRUE(set->DeleteOldFiles(CDate("02.12.2026 10:00")));
  const std::vector<std::string> kept = {"b.xml", "d.xml", "e.xml"};
  EXPECT_EQ(Names(), kept);
  EXPECT_EQ(set->FileProperties(1, "DATABASE"), "B");
  EXPECT_EQ(set->LogContent(2), d);
  EXPECT_EQ(d->FileIndex(), 2);
  EXPECT_FALSE(std::filesystem::exists(folder / "c.xml"));
  for (const auto& name : kept) EXPECT_TRUE(std::filesystem::exists(folder / name));
  EXPECT_TRUE(std::filesystem::exists(folder / "h.xml"));
}

// Locked and fresh unfinished logs stay on disk and are reported; once released, they go.
TEST_F(FileSetTest, LiveLogsStayOnDiskAndAreReported) {
  TempFolder data;
  test::Spawned session({DATALAYER_SESSION_EXE, data / "shop.db", folder.Path(), "3"});
  const std::string line = session.ReadLine();
  ASSERT_EQ(line.rfind("log ", 0), 0u) << line;
  const std::string live = line.substr(4);
  ASSERT_EQ(session.ReadLine(), "done");
  std::vector<std::string> unfinished = LogLines("C:\\db", "01.12.2026", {});
  unfinished.pop_back();  // no end marker
  folder.WriteLines("unfertig.xml", unfinished);
  WriteLog("alt.xml", "01.12.2026");
  const auto threshold = CDate("01.01.2100");

  ASSERT_TRUE(set->LoadFileSet(folder.Path()));
  EXPECT_TRUE(set->DeleteOldFiles(threshold));
  EXPECT_EQ(set->FileCount(), 0);
  ASSERT_EQ(set->SkippedLogs().size(), 2u);
  EXPECT_EQ(set->SkippedLogs()[0].path, live);
  EXPECT_EQ(set->SkippedLogs()[0].reason, LiveLogReason::Locked);
  EXPECT_EQ(set->SkippedLogs()[1].path, folder / "unfertig.xml");
  EXPECT_EQ(set->SkippedLogs()[1].reason, LiveLogReason::Unfinished);
  EXPECT_TRUE(std::filesystem::exists(live));
  EXPECT_FALSE(std::filesystem::exists(folder / "alt.xml"));

  session.CloseInput();
  EXPECT_EQ(session.Wait(), 0);
  std::filesystem::last_write_time(
      folder / "unfertig.xml",
      std::filesystem::file_time_type::clock::now() - std::chrono::minutes(10));
  ASSERT_TRUE(set->LoadFileSet(folder.Path()));
  EXPECT_TRUE(set->DeleteOldFiles(threshold));
  EXPECT_TRUE(set->SkippedLogs().empty());
  EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

// Empty content is stored as the placeholder, reads as empty; the first of repeated names wins.
TEST(PropertyStore, StoresPlaceholdersAndFindsTheFirstOfRepeatedNames) {
  PropertyCollection store;
  std::string empty, placeholder = "!###!", lost = "Wert", first = "1", second = "2";
  store.AddProperty("Telefon", empty);
  EXPECT_EQ(empty, "!###!");
  store.AddProperty("X", placeholder);
  store.AddProperty("", lost);
  store.AddProperty("ID", first);
  store.AddProperty("ID", second);
  EXPECT_EQ(store.PropertyCount(), 4);
  EXPECT_EQ(store.PropertyContent("Telefon") + store.PropertyValueByIndex(1), "");
  EXPECT_EQ(store.PropertyContent("X"), "");
  EXPECT_EQ(store.PropertyContent("ID"), "1");
  EXPECT_EQ(store.PropertyNameByIndex(4) + store.PropertyValueByIndex(4), "ID2");
  EXPECT_EQ(store.PropertyContent("id"), "");
  for (int32_t index : {0, 5}) {
    EXPECT_EQ(ErrorNumberOf([&] { store.PropertyNameByIndex(index); }), kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { store.PropertyValueByIndex(index); }), kSubscriptOutOfRange);
  }
}

}  // namespace
}  // namespace tarvesk
