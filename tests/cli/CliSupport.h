// Test support: logmanager run as a user runs it; "@" in its words stands for a folder.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/Process.h"
#include "tests/support/TestFiles.h"

namespace tarvesk::test {

inline const std::string kExamples = std::string(TARVESK_SOURCE_DIR) + "/examples/logs";

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Run with the log folder of the data layer left to the tool.
inline RunResult Logmanager(const std::string& line, const std::string& folder = kExamples,
                            RunOptions options = {}) {
  std::vector<std::string> words = {LOGMANAGER_EXE};
  std::istringstream split(line);
  for (std::string word; split >> word;) {
    if (const size_t at = word.find('@'); at != std::string::npos) word.replace(at, 1, folder);
    words.push_back(word);
  }
  options.env.insert(options.env.begin(), "TARVESK_DATALAYER_LOGDIR");
  return RunProgram(words, options);
}

// A run: words, what is typed on its terminal ("": none), status, "|"-parted output, leaves.
struct Row {
  std::string words, typed;
  int status = 0;
  std::string says;
  int leaves = 0;
};
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // rows leave defaults out

inline RunResult ExpectRun(const Row& row, const std::string& folder = kExamples) {
  const bool terminal = !row.typed.empty();
  const RunResult run = Logmanager(row.words, folder, {.input = row.typed, .onTerminal = terminal});
  const std::string shown = terminal                                             ? run.terminal
                            : run.status == 0 || row.words.starts_with("--json") ? run.out
                                                                                 : run.err;
  EXPECT_EQ(run.status, row.status) << row.words << "\n" << run.err << run.terminal;
  std::istringstream parts(row.says);
  for (std::string part; std::getline(parts, part, '|');) {
    EXPECT_TRUE(Has(shown, part)) << row.words << "\n" << shown << "\nlacks " << part;
  }
  EXPECT_TRUE(!terminal || run.out.empty()) << row.words << "\n" << run.out;
  return run;
}

// The JSON output of a run that succeeds.
inline nlohmann::json Json(const std::string& line, const std::string& folder = kExamples) {
  const RunResult run = Logmanager("--json " + line, folder);
  EXPECT_EQ(run.status, 0) << line << run.err;
  return nlohmann::json::parse(run.out, nullptr, false);
}

// Each key of expected (JSON text) has its value in actual.
inline void ExpectFields(const nlohmann::json& actual, const std::string& expected) {
  const nlohmann::json fields = nlohmann::json::parse(expected);
  for (const auto& [key, value] : fields.items()) {
    EXPECT_EQ(actual.value(key, nlohmann::json()), value) << key << " in " << actual.dump();
  }
}

}  // namespace tarvesk::test
