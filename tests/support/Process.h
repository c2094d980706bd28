// Test support: runs a program with its output caught or on a pseudo-terminal, or beside the test.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tarvesk::test {

struct RunOptions {
  std::string input{};             // written to stdin (the terminal when onTerminal)
  std::vector<std::string> env{};  // "NAME" unsets, then "NAME=value" sets
  bool onTerminal = false;  // stdin and stderr on a pseudo-terminal, stdout to a file ("> file")
};

struct RunResult {
  int status = -1;  // exit status (137: killed after 20 s); -signal when killed; -1 not started
  std::string out, err, terminal;  // terminal: with onTerminal, everything shown on it
};

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

// A program running beside the test, with a pipe to its stdin and one from its stdout.
class Spawned {
 public:
  explicit Spawned(const std::vector<std::string>& argv);
  ~Spawned();  // kills what still runs
  Spawned(const Spawned&) = delete;
  Spawned& operator=(const Spawned&) = delete;

  std::string ReadLine();  // the next line of stdout without its break; "" at its end or 20 s
  void CloseInput();
  int Wait();  // the exit status; -signal when a signal ended it

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string buffer_;
};

}  // namespace tarvesk::test
