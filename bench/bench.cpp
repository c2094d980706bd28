// logmanager_bench: measures the core against plain baselines on generated logs.
//
//   logmanager_bench [FOLDER]   (default: a new folder under the temp folder, removed after)
//
// Generates 2,000 small logs and one log of about 100 MB (about 400,000 actions), then
// prints each figure beside its baseline, measured in the same run on the same files:
//   1. LoadFileSet + ReadFileSetProperties   vs  open each file, read its first 20 lines
//   2. LoadLogData + GetActionList (big log) vs  read the file, split it into lines
//   3. GetActionData at 1,000 random positions: time per call
//   4. peak memory with the big log loaded, against the file's size
// Exit status 1 when a figure misses its target.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "components/ReferenceComponents.h"
#include "fileset/FileSet.h"
#include "logdata/LogData.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tarvesk::FileSet;

namespace {

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The head of a log as the data layer writes it, with `actions` UPDATE blocks.
void WriteLog(const fs::path& path, int day, int actions, std::mt19937& random) {
  std::string text;
  text.reserve(static_cast<size_t>(actions) * 260 + 512);
  char line[512];
  text += "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<TarveskDataLayerLog>\r\n";
  text += "<HEAD>\r\n<DATABASE>C:\\Daten\\Warenwirtschaft\\shop.db</DATABASE>\r\n";
  std::snprintf(line, sizeof line, "<SESSIONTIME>%02d.%02d.2026 08:%02d:00</SESSIONTIME>\r\n",
                day % 28 + 1, day / 28 % 12 + 1, day % 60);
  text += line;
  text += "<USER>mbauer</USER>\r\n<COMPUTER>BUERO-PC07</COMPUTER>\r\n";
  text += "<APPLICATION>Warenwirtschaft 4.2</APPLICATION>\r\n</HEAD>\r\n<LOGDATA>\r\n";
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

long PeakKilobytes() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

bool Report(const char* what, double value, double baseline, double limit, const char* unit) {
  const double ratio = baseline > 0 ? value / baseline : 0;
  const bool ok = ratio <= limit;
  std::printf("%-44s %10.3f %s   baseline %10.3f %s   ratio %5.2f (limit %.1f) %s\n", what, value,
              unit, baseline, unit, ratio, limit, ok ? "ok" : "VERFEHLT");
  return ok;
}

// Runs work in a child process and returns the text it answers.
template <class Work>
std::string InChild(Work work) {
  int fds[2];
  if (pipe(fds) != 0) return "";
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
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

}  // namespace

int main(int argc, char** argv) {
  tarvesk::RegisterReferenceComponents();
  const bool ownFolder = argc < 2;
  const fs::path root =
      ownFolder ? fs::temp_directory_path() / ("tarvesk-bench-" + std::to_string(getpid()))
                : fs::path(argv[1]);
  const fs::path many = root / "many";
  const fs::path big = root / "big";
  fs::create_directories(many);
  fs::create_directories(big);
  std::mt19937 random(42);

  std::printf("Erzeuge 2000 Logdateien und eine große Logdatei in %s ...\n", root.c_str());
  for (int i = 0; i < 2000; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "DataLayer_%05d.xml", i);
    WriteLog(many / name, i, 20, random);
  }
  const fs::path bigFile = big / "DataLayer_gross.xml";
  WriteLog(bigFile, 1, 400000, random);
  const double bigMegabytes = static_cast<double>(fs::file_size(bigFile)) / (1 << 20);
  std::printf("Große Logdatei: %.1f MB, 400000 Aktionen\n\n", bigMegabytes);
  bool ok = true;

  // 1. Folder and headers; the best of three rounds of each, taken in turns.
  {
    double baseline = 1e9, core = 1e9;
    int count = 0;
    for (int round = 0; round < 3; ++round) {
      auto start = Clock::now();
      size_t lines = 0;
      for (const auto& entry : fs::directory_iterator(many)) {
        std::FILE* file = std::fopen(entry.path().c_str(), "rb");
        char buffer[4096];
        for (int i = 0; i < 20 && std::fgets(buffer, sizeof buffer, file); ++i) ++lines;
        std::fclose(file);
      }
      baseline = std::min(baseline, Seconds(start));
      start = Clock::now();
      auto set = std::make_shared<FileSet>();
      set->LoadFileSet(many.string());
      set->ReadFileSetProperties();
      core = std::min(core, Seconds(start));
      count = set->FileCount();
      if (lines == 0) count = -1;
    }
    ok &= Report("Ordner laden + alle Kopfzeilen lesen", core * 1000, baseline * 1000, 3, "ms");
    if (count != 2000) {
      std::printf("  falsches Ergebnis: %d Dateien\n", count);
      ok = false;
    }
  }

  // 2 to 4: the baseline and the core each in a child process of their own, so that the
  // peak memory measured is the big log's alone.
  double baseline = 1e9;
  size_t baselineLines = 0;
  for (int round = 0; round < 3; ++round) {
    const std::string baselineResult = InChild([&] {
      const auto start = Clock::now();
      std::vector<std::string> lines;
      std::ifstream in(bigFile, std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
      size_t from = 0;
      for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
          lines.emplace_back(text, from, i - from);
          if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
          from = i + 1;
        }
      }
      return std::to_string(Seconds(start)) + " " + std::to_string(lines.size());
    });
    double seconds = 0;
    std::sscanf(baselineResult.c_str(), "%lf %zu", &seconds, &baselineLines);
    baseline = std::min(baseline, seconds);
  }
  const std::string coreResult = InChild([&] {
    auto set = std::make_shared<FileSet>();
    set->LoadFileSet(big.string());
    auto start = Clock::now();
    const auto log = set->LogContent(1);  // LoadLogData
    const auto list = log->GetActionList();
    const double seconds = Seconds(start);
    const long peak = PeakKilobytes();
    std::vector<int32_t> positions;
    for (const auto& entry : list) positions.push_back(std::stoi(entry));
    std::mt19937 pick(7);
    size_t properties = 0;
    start = Clock::now();
    for (int i = 0; i < 1000; ++i) {
      properties += log->GetActionData(positions[pick() % positions.size()])->PropertyCount();
    }
    const double perCall = Seconds(start) / 1000;
    set->EjectFileset();
    char result[256];
    std::snprintf(result, sizeof result, "%f %f %ld %zu %zu", seconds, perCall, peak, list.size(),
                  properties);
    return std::string(result);
  });
  double core = 0, perCall = 0;
  long peak = 0;
  size_t entries = 0, properties = 0;
  std::sscanf(coreResult.c_str(), "%lf %lf %ld %zu %zu", &core, &perCall, &peak, &entries,
              &properties);
  ok &= Report("LoadLogData + GetActionList (große Datei)", core * 1000, baseline * 1000, 3, "ms");
  std::printf("%-44s %10.4f ms   (Ziel: unter 1 ms)  %s\n", "GetActionData, je Aufruf",
              perCall * 1000, perCall < 0.001 ? "ok" : "VERFEHLT");
  ok &= perCall < 0.001;
  const double peakMegabytes = static_cast<double>(peak) / 1024;
  std::printf("%-44s %10.1f MB   Datei %.1f MB   Faktor %.2f (Grenze 3.0) %s\n",
              "Speicherspitze mit geladener großer Datei", peakMegabytes, bigMegabytes,
              peakMegabytes / bigMegabytes, peakMegabytes < 3 * bigMegabytes ? "ok" : "VERFEHLT");
  std::printf("  (%zu Zeilen im Vergleich; %zu Einträge, %zu Eigenschaften gelesen)\n",
              baselineLines, entries, properties);
  ok &= peakMegabytes < 3 * bigMegabytes && entries == 400000;

  if (ownFolder) fs::remove_all(root);
  return ok ? 0 : 1;
}
