// logmanager_bench: measures the core beside what the machine can do at best, in one run.
//
//   logmanager_bench [FOLDER]   (default: a new folder under the temp folder, removed after)
//
// Generates 20,000 small logs, one log of about 100 MB (400,000 actions) and one log whose
// single action holds a value of 200 MB. Each figure is printed beside its baseline,
// measured in the same run on the same files (best of three rounds, taken in turns), with
// the absolute times and the ratio:
//   1. LoadFileSet + ReadFileSetProperties  vs  list the folder, open each file, read its
//                                               first 20 lines
//   2. LoadLogData + listing the actions    vs  read() the file into one buffer and find
//      of the big log                           its line ends with memchr
//   3. peak memory of 2 (what the work adds to the child process) and of the process
//      `logmanager actions`, against the file's size
//   4. GetActionData at random positions: time per call, and calls at the end of the log
//      against calls at its start (a scan from the start would make these far slower)
//   5. GetActionData and `logmanager show` on the action with the 200 MB value: peak
//      memory against the file's size
// Exit status 1 when a figure misses its bar.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "fileset/FileSet.h"
#include "logdata/LogData.h"
#include "platform/posix/PosixEnvironment.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tarvesk::FileSet;

namespace {

constexpr int kSmallLogs = 20000;
constexpr int kBigActions = 400000;
constexpr size_t kHugeValue = 200u << 20;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void AppendHead(std::string& text, int day) {
  char line[128];
  text += "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<TarveskDataLayerLog>\r\n";
  text += "<HEAD>\r\n<DATABASE>C:\\Daten\\Warenwirtschaft\\shop.db</DATABASE>\r\n";
  std::snprintf(line, sizeof line, "<SESSIONTIME>%02d.%02d.2026 08:%02d:00</SESSIONTIME>\r\n",
                day % 28 + 1, day / 28 % 12 + 1, day % 60);
  text += line;
  text += "<USER>mbauer</USER>\r\n<COMPUTER>BUERO-PC07</COMPUTER>\r\n";
  text += "<APPLICATION>Warenwirtschaft 4.2</APPLICATION>\r\n</HEAD>\r\n<LOGDATA>\r\n";
}

// A log as the data layer writes it, with `actions` UPDATE blocks.
void WriteLog(const fs::path& path, int day, int actions, std::mt19937& random) {
  std::string text;
  text.reserve(static_cast<size_t>(actions) * 260 + 512);
  AppendHead(text, day);
  char line[512];
  for (int a = 0; a < actions; ++a) {
    const unsigned id = random() % 100000;
    std::snprintf(line, sizeof line,
                  "<ACTION Info=\"UPDATE RECORDID=%u\">\r\n<TABLE>Kunden</TABLE>\r\n"
                  "<QueryString>SELECT * FROM Kunden WHERE ID = %u</QueryString>\r\n"
                  "<TIME>01.12.2026 08:31:40</TIME>\r\n<FieldName>Ort</FieldName>\r\n"
                  "<OldValue>M\xFCnchen %u</OldValue>\r\n<NewValue>K\xF6ln</NewValue>\r\n"
                  "</ACTION>\r\n",
                  id, id, static_cast<unsigned>(random() % 1000));
    text += line;
  }
  text += "</LOGDATA>\r\n</TarveskDataLayerLog>\r\n";
  std::ofstream(path, std::ios::binary) << text;
}

// A log whose one UPDATE action holds a memo text of `size` bytes as its old value.
void WriteHugeValueLog(const fs::path& path, size_t size) {
  std::ofstream out(path, std::ios::binary);
  std::string text;
  AppendHead(text, 3);
  text +=
      "<ACTION Info=\"UPDATE RECORDID=9\">\r\n<TABLE>Notizen</TABLE>\r\n"
      "<QueryString>SELECT * FROM Notizen WHERE ID = 9</QueryString>\r\n"
      "<TIME>01.12.2026 08:31:40</TIME>\r\n<FieldName>Text</FieldName>\r\n<OldValue>";
  out << text;
  const std::string piece =
      "Gr\xFC\xDF"
      "e aus K\xF6ln, Zeile f\xFCr Zeile. ";
  std::string block;
  while (block.size() < (1u << 20)) block += piece;
  for (size_t written = 0; written < size; written += block.size()) out << block;
  out << "</OldValue>\r\n<NewValue>kurz</NewValue>\r\n</ACTION>\r\n"
         "</LOGDATA>\r\n</TarveskDataLayerLog>\r\n";
}

double MegabytesOf(const fs::path& path) {
  return static_cast<double>(fs::file_size(path)) / (1 << 20);
}

// A figure of /proc/self/status such as "VmRSS:", in megabytes.
double StatusMegabytes(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field)) / 1024;
  }
  return 0;
}

// What a child held when it started: the pages it shares with the bench.
double startMegabytes = 0;

// The peak memory of a child's work: its peak since it started, less what it held then.
double PeakMegabytes() { return StatusMegabytes("VmHWM:") - startMegabytes; }

bool Report(const char* what, double value, double baseline, double limit, const char* unit) {
  const double ratio = baseline > 0 ? value / baseline : 0;
  const bool ok = limit <= 0 || ratio <= limit;
  std::printf("%-46s %9.1f %s  Basis %9.1f %s  Faktor %5.2f", what, value, unit, baseline, unit,
              ratio);
  if (limit > 0) std::printf(" (Grenze %.1f) %s", limit, ok ? "ok" : "VERFEHLT");
  std::printf("\n");
  return ok;
}

// Runs work in a child process of its own (so that its peak memory is its own) and
// returns the text it answers.
template <class Work>
std::string InChild(Work work) {
  int fds[2];
  if (pipe(fds) != 0) return "";
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    // The peak starts anew from here, less the bench's free memory the work could reuse.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    startMegabytes = StatusMegabytes("VmRSS:");
    const std::string result = work();
    if (write(fds[1], result.data(), result.size()) < 0) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  std::string result;
  char buffer[256];
  for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) result.append(buffer, got);
  close(fds[0]);
  waitpid(child, nullptr, 0);
  return result;
}

struct ProcessRun {
  double seconds = 0, peakMegabytes = 0;
  int status = -1;
};

// Runs a program with its output to /dev/null; its time and peak memory.
ProcessRun RunProgram(const std::vector<std::string>& args) {
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  wait4(child, &status, 0, &usage);
  ProcessRun run;
  run.seconds = Seconds(start);
  run.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The baseline of a whole log: one read() of the file into one buffer, then memchr for
// every line end. Answers the number of lines.
size_t ReadAndScan(const fs::path& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  struct stat info;
  fstat(fd, &info);
  const size_t size = static_cast<size_t>(info.st_size);
  std::unique_ptr<char[]> buffer(new char[size]);
  size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, buffer.get() + got, size - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  size_t lines = 0;
  for (const char* p = buffer.get();
       (p = static_cast<const char*>(std::memchr(p, '\n', buffer.get() + got - p))); ++p) {
    ++lines;
  }
  return lines;
}

// The baseline of a folder: list it, open each file, read its first 20 lines.
size_t ReadFirstLines(const fs::path& folder) {
  size_t lines = 0;
  DIR* dir = opendir(folder.c_str());
  const std::string prefix = folder.string() + "/";
  char buffer[4096];
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const int fd = open((prefix + entry->d_name).c_str(), O_RDONLY);
    int found = 0;
    for (ssize_t got; found < 20 && (got = read(fd, buffer, sizeof buffer)) > 0;) {
      for (const char* p = buffer;
           found < 20 && (p = static_cast<const char*>(std::memchr(p, '\n', buffer + got - p)));
           ++p) {
        ++found;
      }
    }
    lines += static_cast<size_t>(found);
    close(fd);
  }
  closedir(dir);
  return lines;
}

std::string SiblingProgram(const char* name) {
  return (fs::read_symlink("/proc/self/exe").parent_path() / name).string();
}

}  // namespace

int main(int argc, char** argv) {
  tarvesk::PosixEnvironment environment;
  const bool ownFolder = argc < 2;
  const fs::path root =
      ownFolder ? fs::temp_directory_path() / ("tarvesk-bench-" + std::to_string(getpid()))
                : fs::path(argv[1]);
  const fs::path many = root / "many", big = root / "big", huge = root / "huge";
  const fs::path bigFile = big / "DataLayer_gross.xml";
  const fs::path hugeFile = huge / "DataLayer_memo.xml";
  for (const auto& folder : {many, big, huge}) fs::create_directories(folder);
  std::mt19937 random(42);

  if (!fs::exists(many / "DataLayer_19999.xml")) {
    std::printf("Erzeuge %d Logdateien und zwei große Logdateien in %s ...\n", kSmallLogs,
                root.c_str());
    for (int i = 0; i < kSmallLogs; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "DataLayer_%05d.xml", i);
      WriteLog(many / name, i, 20, random);
    }
    WriteLog(bigFile, 1, kBigActions, random);
    WriteHugeValueLog(hugeFile, kHugeValue);
  }
  const double bigMegabytes = MegabytesOf(bigFile), hugeMegabytes = MegabytesOf(hugeFile);
  std::printf("Große Logdatei %.1f MB mit %d Aktionen; Logdatei mit einem Wert von %.1f MB\n\n",
              bigMegabytes, kBigActions, hugeMegabytes);
  bool ok = true;

  // 1. Folder and headers.
  {
    double baseline = 1e9, core = 1e9;
    size_t lines = 0;
    int count = 0;
    for (int round = 0; round < 3; ++round) {
      auto start = Clock::now();
      lines = ReadFirstLines(many);
      baseline = std::min(baseline, Seconds(start));
      start = Clock::now();
      auto set = std::make_shared<FileSet>(environment);
      set->LoadFileSet(many.string());
      set->ReadFileSetProperties();
      core = std::min(core, Seconds(start));
      count = set->FileCount();
    }
    ok &= Report("Ordner (20000 Logs) laden + Kopfzeilen lesen", core * 1000, baseline * 1000, 2,
                 "ms");
    if (count != kSmallLogs || lines != 20u * kSmallLogs) {
      std::printf("  falsches Ergebnis: %d Dateien, %zu Zeilen\n", count, lines);
      ok = false;
    }
  }

  // 2 to 4: each measurement in a child process of its own.
  double baseline = 1e9, baselinePeak = 0, core = 1e9, corePeak = 0, listed = 1e9, loaded = 1e9;
  double perCallStart = 0, perCallEnd = 0;
  size_t baselineLines = 0, entries = 0;
  for (int round = 0; round < 3; ++round) {
    const std::string baselineResult = InChild([&] {
      const auto start = Clock::now();
      const size_t lines = ReadAndScan(bigFile);
      return std::to_string(Seconds(start)) + " " + std::to_string(PeakMegabytes()) + " " +
             std::to_string(lines);
    });
    double seconds = 0, peak = 0;
    std::sscanf(baselineResult.c_str(), "%lf %lf %zu", &seconds, &peak, &baselineLines);
    baseline = std::min(baseline, seconds);
    baselinePeak = std::max(baselinePeak, peak);

    const std::string coreResult = InChild([&] {
      auto set = std::make_shared<FileSet>(environment);
      set->LoadFileSet(big.string());
      const auto start = Clock::now();
      const auto log = set->LogContent(1);  // LoadLogData
      const double loadSeconds = Seconds(start);
      size_t count = 0, bytes = 0;
      log->ForEachAction([&](std::string_view entry) {
        ++count;
        bytes += entry.size();
      });
      const double seconds = Seconds(start);
      const double peak = PeakMegabytes();
      // The whole list as GetActionList hands it out, for comparison.
      const auto listStart = Clock::now();
      const auto list = log->GetActionList();
      const double listSeconds = Seconds(listStart);
      // Calls among the first and among the last thousand actions.
      std::mt19937 pick(7);
      double near[2];
      for (int end = 0; end < 2; ++end) {
        const auto callStart = Clock::now();
        for (int i = 0; i < 20000; ++i) {
          const size_t k = pick() % 1000 + (end ? list.size() - 1000 : 0);
          if (!log->GetActionData(std::stoi(list[k]))) return std::string("0 0 0 0 0 0");
        }
        near[end] = Seconds(callStart) / 20000;
      }
      set->EjectFileset();
      char result[256];
      std::snprintf(result, sizeof result, "%f %f %f %.9f %.9f %zu %f", seconds, peak, listSeconds,
                    near[0], near[1], count, loadSeconds);
      return std::string(result);
    });
    double nearStart = 0, nearEnd = 0, listSeconds = 0, loadSeconds = 0;
    std::sscanf(coreResult.c_str(), "%lf %lf %lf %lf %lf %zu %lf", &seconds, &peak, &listSeconds,
                &nearStart, &nearEnd, &entries, &loadSeconds);
    loaded = std::min(loaded, loadSeconds);
    if (seconds < core) {
      core = seconds;
      perCallStart = nearStart;
      perCallEnd = nearEnd;
    }
    corePeak = std::max(corePeak, peak);
    listed = std::min(listed, listSeconds);
  }
  ok &= Report("LoadLogData + Aktionen auflisten (100 MB)", core * 1000, baseline * 1000, 2, "ms");
  Report("  davon LoadLogData", loaded * 1000, baseline * 1000, 0, "ms");
  Report("  GetActionList als Liste, zusätzlich", listed * 1000, baseline * 1000, 0, "ms");
  ok &= Report("  Speicherspitze, gegen die Dateigröße", corePeak, bigMegabytes, 1.3, "MB");
  std::printf("  (Basis: read + memchr, %zu Zeilen, Spitze %.1f MB; %zu Einträge)\n", baselineLines,
              baselinePeak, entries);
  ok &= entries == kBigActions + 0u;

  const std::string cli = SiblingProgram("logmanager");
  if (fs::exists(cli)) {
    ProcessRun best;
    best.seconds = 1e9;
    for (int round = 0; round < 3; ++round) {
      const ProcessRun run = RunProgram({cli, "actions", big.string(), "1"});
      if (run.seconds < best.seconds) best = run;
    }
    Report("Prozess logmanager actions (100 MB)", best.seconds * 1000, baseline * 1000, 0, "ms");
    ok &= Report("  Speicherspitze, gegen die Dateigröße", best.peakMegabytes, bigMegabytes, 1.3,
                 "MB");
    ok &= best.status == 0;
  }

  ok &= Report("GetActionData, je Aufruf am Ende gegen Anfang", perCallEnd * 1e9,
               perCallStart * 1e9, 2, "ns");

  // 5. The action with the 200 MB value.
  {
    const std::string result = InChild([&] {
      auto set = std::make_shared<FileSet>(environment);
      set->LoadFileSet(huge.string());
      const auto details = set->LogContent(1)->GetActionData(1);
      const size_t size = details ? details->PropertyValueView(3).size() : 0;
      set->EjectFileset();
      return std::to_string(PeakMegabytes()) + " " + std::to_string(size);
    });
    double peak = 0;
    size_t valueSize = 0;
    std::sscanf(result.c_str(), "%lf %zu", &peak, &valueSize);
    ok &= Report("GetActionData mit 200-MB-Wert: Speicherspitze", peak, hugeMegabytes, 2, "MB");
    ok &= valueSize > kHugeValue;
    if (fs::exists(cli)) {
      const ProcessRun run = RunProgram({cli, "show", huge.string(), "1", "1"});
      ok &= Report("Prozess logmanager show, 200-MB-Wert: Spitze", run.peakMegabytes, hugeMegabytes,
                   2, "MB");
      ok &= run.status == 0;
    }
  }

  if (ownFolder) fs::remove_all(root);
  std::printf("\n%s\n", ok ? "Alle Werte innerhalb ihrer Grenzen." : "Werte VERFEHLT.");
  return ok ? 0 : 1;
}
