#include "tests/support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <stdexcept>

namespace tarvesk::test {
namespace {

// Starts argv through env(1), which applies the changes, on the given stdin, stdout and
// stderr; the test's own descriptors are all close-on-exec.
pid_t Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            std::array<int, 3> fds) {
  std::vector<std::string> words = {"/usr/bin/env"};
  for (const bool set : {false, true}) {  // env takes every -u before the first NAME=value
    for (const std::string& change : env) {
      if ((change.find('=') != std::string::npos) != set) continue;
      if (!set) words.push_back("-u");
      words.push_back(change);
    }
  }
  words.insert(words.end(), argv.begin(), argv.end());
  std::vector<char*> args;
  for (std::string& word : words) args.push_back(word.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd) posix_spawn_file_actions_adddup2(&actions, fds[fd], fd);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int Status(pid_t pid) {
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

// Reads each descriptor into its text until all are closed (EOF, or EIO of a terminal whose
// other side is gone); false when 20 s are up first.
bool Drain(std::vector<std::pair<int, std::string*>> sources) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!sources.empty()) {
    std::vector<pollfd> fds;
    for (const auto& source : sources) fds.push_back({source.first, POLLIN, 0});
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || poll(fds.data(), fds.size(), static_cast<int>(left.count())) <= 0) {
      for (const auto& source : sources) close(source.first);
      return false;
    }
    for (size_t k = fds.size(); k-- > 0;) {
      char buffer[4096];
      const ssize_t got = fds[k].revents ? read(fds[k].fd, buffer, sizeof buffer) : 1;
      if (got <= 0) close(fds[k].fd), sources.erase(sources.begin() + static_cast<long>(k));
      if (got > 0 && fds[k].revents) sources[k].second->append(buffer, static_cast<size_t>(got));
    }
  }
  return true;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult result;
  int in[2], out[2], err[2], terminal = -1;
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return result;
  std::array<int, 3> fds = {in[0], out[1], err[1]};
  std::vector<std::pair<int, std::string*>> sources = {{out[0], &result.out},
                                                       {err[0], &result.err}};
  if (options.onTerminal) {  // the input goes to the terminal, whose echo is off
    close(in[1]);
    termios mode;
    if (openpty(&in[1], &terminal, nullptr, nullptr, nullptr) != 0) return result;
    tcgetattr(terminal, &mode);
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    mode.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
    tcsetattr(terminal, TCSANOW, &mode);
    fcntl(in[1], F_SETFD, FD_CLOEXEC), fcntl(terminal, F_SETFD, FD_CLOEXEC);
    fds = {terminal, options.redirectStdout ? out[1] : terminal, terminal};
    sources.push_back({in[1], &result.terminal});
  }
  const pid_t pid = Start(argv, options.env, fds);
  close(in[0]), close(out[1]), close(err[1]), close(terminal);
  signal(SIGPIPE, SIG_IGN);
  (void)!write(in[1], options.input.data(), options.input.size());
  if (terminal < 0) close(in[1]);  // the end of the input
  if (!Drain(sources) && pid > 0) kill(pid, SIGKILL);
  result.status = Status(pid);
  return result;
}

Spawned::Spawned(const std::vector<std::string>& argv) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC)) throw std::runtime_error("pipe");
  pid_ = Start(argv, {}, {in[0], out[1], STDERR_FILENO});
  close(in[0]), close(out[1]);
  in_ = in[1], out_ = out[0];
}

Spawned::~Spawned() { Kill(SIGKILL), Wait(), CloseInput(), close(out_); }

std::string Spawned::ReadLine() {
  size_t end;
  while ((end = buffer_.find('\n')) == std::string::npos) {
    pollfd wait{out_, POLLIN, 0};
    char chunk[4096];
    const ssize_t got = poll(&wait, 1, 20000) == 1 ? read(out_, chunk, sizeof chunk) : 0;
    if (got <= 0) return "";
    buffer_.append(chunk, static_cast<size_t>(got));
  }
  std::string line = buffer_.substr(0, end);
  buffer_.erase(0, end + 1);
  return line;
}

void Spawned::CloseInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

void Spawned::Kill(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

int Spawned::Wait() {
  const int status = Status(pid_);
  pid_ = -1;
  return status;
}

}  // namespace tarvesk::test
