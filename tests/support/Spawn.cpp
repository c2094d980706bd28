#include "tests/support/Spawn.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace tarvesk::test {

Spawned::Spawned(const std::vector<std::string>& argv) {
  int toChild[2], fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) close(fd);
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  in_ = toChild[1];
  out_ = fromChild[0];
}

Spawned::~Spawned() {
  if (pid_ > 0) {
    Kill(SIGKILL);
    Wait();
  }
  CloseInput();
  if (out_ >= 0) close(out_);
}

std::string Spawned::ReadLine() {
  for (;;) {
    if (const size_t end = buffer_.find('\n'); end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return line;
    }
    pollfd wait{out_, POLLIN, 0};
    char chunk[4096];
    const ssize_t got = poll(&wait, 1, 20000) == 1 ? read(out_, chunk, sizeof chunk) : 0;
    if (got <= 0) return "";
    buffer_.append(chunk, static_cast<size_t>(got));
  }
}

void Spawned::CloseInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

void Spawned::Kill(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

int Spawned::Wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

}  // namespace tarvesk::test
