// Test support: a program of the build running beside the test, with a pipe to its stdin
// and one from its stdout, which the test reads line by line, closes or kills.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tarvesk::test {

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
