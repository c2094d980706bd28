// Test support: runs a program of the build as a user runs it - with its arguments, an
// environment change, text on stdin - either from pipes or on a terminal of its own (a
// pseudo-terminal), where stdout can still be redirected away from the terminal as with
// "> out.txt". Collects stdout, stderr and what the terminal showed. Or starts one beside
// the test (Spawned), which the test reads line by line, closes or kills.
#pragma once

#include <sys/types.h>

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

// A program running beside the test, with a pipe to its stdin and one from its stdout.
class Spawned {
 public:
  explicit Spawned(const std::vector<std::string>& argv);
  ~Spawned();  // kills what still runs
  Spawned(const Spawned&) = delete;
  Spawned& operator=(const Spawned&) = delete;

  // The next line of stdout without its break; "" at its end or after 20 s.
  std::string ReadLine();
  void CloseInput();
  void Kill(int signal);
  // The exit status; -signal when a signal ended it.
  int Wait();

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string buffer_;
};

}  // namespace tarvesk::test
