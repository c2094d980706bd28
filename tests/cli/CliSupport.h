// Test support for the command line: logmanager run as a user runs it, its words given as
// one line split at spaces, "@" standing for a folder (the example logs unless given).
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
