// Test support: runs a program of the build as a user runs it - with its arguments, an
// environment change, text on stdin - either from pipes or on a terminal of its own (a
// pseudo-terminal), where stdout can still be redirected away from the terminal as with
// "> out.txt". Collects stdout, stderr and what the terminal showed.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tarvesk::test {

struct RunOptions {
  std::string input{};             // written to stdin (to the terminal when onTerminal)
  std::vector<std::string> env{};  // "NAME=value" sets, "NAME" unsets
  bool onTerminal = false;         // stdin, stdout and stderr on a pseudo-terminal
  bool redirectStdout = false;     // with onTerminal: stdout to a pipe, as "> file"
  // When set, the input waits until the program has shown this text (stdout, stderr or the
  // terminal); meanwhile runs just before the input is written, as another program would
  // while the user reads a question.
  std::string inputAfter{};
  std::function<void()> meanwhile{};
};

struct RunResult {
  int status = -1;  // exit status; -1 when killed (after 20 s) or not started
  std::string out;
  std::string err;
  std::string terminal;  // with onTerminal: everything shown on the terminal
};

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

}  // namespace tarvesk::test
