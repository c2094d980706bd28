// The prune command: deletes the logs of a folder whose session lies before a date (live
// logs excepted), after the user's yes, and says what it deleted and what it left.
#include <filesystem>
#include <regex>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "components/datalayer/ChangeLog.h"
#include "fileset/FileSet.h"
#include "programs/cli/Cli.h"
#include "programs/cli/Output.h"
#include "programs/cli/TerminalMessages.h"

namespace tarvesk::cli {

namespace fs = std::filesystem;

int RunPrune(Context& context, const std::vector<std::string>& args) {
  Expect(args, 1, "prune");
  const Options& options = context.options;
  if (options.before.has_value() == options.olderThan.has_value()) {
    throw UsageError{"prune braucht genau eine Angabe: --before DATUM oder --older-than ALTER.",
                     "prune"};
  }
  DateValue threshold;
  if (options.before) {
    const auto date = ParseDate(*options.before);
    if (!date) {
      throw UsageError{"Kein gültiges Datum für --before: \"" + Escaped(*options.before) +
                           "\" (erwartet T.M.JJJJ [hh:mm[:ss]] oder JJJJ-MM-TT [hh:mm[:ss]]).",
                       "prune"};
    }
    threshold = *date;
  } else {
    static const std::regex kAge(R"(([0-9]{1,5})([dwh]))");
    std::smatch match;
    if (!std::regex_match(*options.olderThan, match, kAge)) {
      throw UsageError{"Kein gültiges Alter für --older-than: \"" + Escaped(*options.olderThan) +
                           "\" (erwartet eine Zahl mit d für Tage, w für Wochen oder h für "
                           "Stunden, zum Beispiel 30d).",
                       "prune"};
    }
    const double amount = std::stod(match[1]);
    const double days = match[2] == "d" ? amount : match[2] == "w" ? amount * 7 : amount / 24;
    threshold = DateValue{LocalNow().serial - days};
  }

  const auto set = OpenFolder(context.environment, args[0]);
  std::vector<std::string> chosen;
  for (int32_t i = 1; i <= set->FileCount(); ++i) {
    const auto age = ParseDate(set->FileProperties(i, "SESSIONTIME"));
    if (age && age->serial < threshold.serial) chosen.push_back(set->File(i));
  }
  const std::string limit = FormatDate(threshold);
  nlohmann::json result = {{"before", limit}, {"dryRun", options.dryRun}};
  if (const auto iso = IsoDate(limit)) result["beforeIso"] = *iso;
  if (chosen.empty()) {
    if (context.options.json) {
      result["files"] = nlohmann::json::array();
      result["deletedCount"] = 0;
      PrintJson(context, result);
    } else {
      context.out << "nichts zu löschen: keine Logdatei mit Sitzungszeit vor " << limit << '\n';
    }
    return kDone;
  }
  // A live log stays, whatever its age: its session may still write to it.
  const auto skipText = [](LiveLogReason reason) {
    return reason == LiveLogReason::Locked ? "wird gerade geschrieben"
                                           : "ohne Endmarke und kürzlich geändert";
  };
  const auto skipJson = [](LiveLogReason reason) {
    return reason == LiveLogReason::Locked ? "locked" : "unfinished";
  };
  const auto listChosen = [&](std::ostream& out) {
    for (const auto& path : chosen) {
      if (const auto live = LiveLog(path)) {
        out << "würde überspringen (" << skipText(*live) << "): " << Escaped(path) << '\n';
      } else {
        out << "würde löschen: " << Escaped(path) << '\n';
      }
    }
  };
  if (options.dryRun) {
    if (context.options.json) {
      result["files"] = nlohmann::json::array();
      for (const auto& path : chosen) {
        nlohmann::json file = {{"deleted", false}};
        PutText(file, "path", path);
        if (const auto live = LiveLog(path)) file["skipped"] = skipJson(*live);
        result["files"].push_back(file);
      }
      result["deletedCount"] = 0;
      PrintJson(context, result);
    } else {
      listChosen(context.out);
      context.out << Count(chosen.size(), "Logdatei würde", "Logdateien würden")
                  << " gelöscht (Sitzungszeit vor " << limit << ").\n";
    }
    return kDone;
  }
  if (!options.yes && !options.no && !context.inIsTerminal) {
    throw UsageError{
        "prune löscht ohne Terminal nur mit --yes (--dry-run zeigt, was es "
        "löschen würde).",
        "prune"};
  }
  if (!options.yes) {
    listChosen(context.talk);
    context.talk << Count(chosen.size(), "Logdatei", "Logdateien") << " mit Sitzungszeit vor "
                 << limit << " löschen? ";
    const AnswerPolicy policy = options.no ? AnswerPolicy::AlwaysNo : AnswerPolicy::Ask;
    if (!AskYes(context.in, context.talk, policy)) {
      context.talk << "Nichts gelöscht.\n";
      return kDeclined;
    }
  }
  set->DeleteOldFiles(threshold);
  const auto findSkipped = [&](const std::string& path) -> const SkippedLog* {
    for (const SkippedLog& skipped : set->SkippedLogs()) {
      if (skipped.path == path) return &skipped;
    }
    return nullptr;
  };
  size_t deleted = 0;
  result["files"] = nlohmann::json::array();
  for (const auto& path : chosen) {
    std::error_code ec;
    const bool gone = !fs::exists(PathOf(path), ec);
    const SkippedLog* skipped = gone ? nullptr : findSkipped(path);
    deleted += gone;
    if (context.options.json) {
      nlohmann::json file = {{"deleted", gone}};
      PutText(file, "path", path);
      if (skipped) file["skipped"] = skipJson(skipped->reason);
      result["files"].push_back(file);
    } else if (skipped) {
      context.out << "übersprungen (" << skipText(skipped->reason) << "): " << Escaped(path)
                  << '\n';
    } else {
      context.out << (gone ? "gelöscht: " : "nicht gelöscht: ") << Escaped(path) << '\n';
    }
  }
  const size_t skippedCount = set->SkippedLogs().size();
  if (context.options.json) {
    result["deletedCount"] = deleted;
    result["skippedCount"] = skippedCount;
    PrintJson(context, result);
  } else {
    context.out << Count(deleted, "Logdatei", "Logdateien") << " gelöscht";
    if (skippedCount > 0) context.out << ", " << skippedCount << " in Benutzung übersprungen";
    context.out << ".\n";
  }
  return deleted + skippedCount == chosen.size() ? kDone : kFailed;
}

}  // namespace tarvesk::cli
