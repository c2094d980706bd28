#include "tests/support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

namespace tarvesk::test {
namespace {

// Starts argv through env(1) with the changes on fds (the test's own are all close-on-exec).
pid_t Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            std::array<int, 3> fds) {
  std::vector<std::string> words = {"/usr/bin/env"};
  for (const std::string& change : env) {
    if (change.find('=') == std::string::npos) words.push_back("-u");
    words.push_back(change);
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

// Everything a file holds from its start, or a terminal until its other side is gone.
std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
  close(fd);
  return text;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult result;
  int in[2], terminal = -1, master = -1;
  const int out = memfd_create("out", MFD_CLOEXEC), err = memfd_create("err", MFD_CLOEXEC);
  if (out < 0 || err < 0 || pipe2(in, O_CLOEXEC) != 0) return result;
  std::array<int, 3> fds = {in[0], out, err};
  if (options.onTerminal) {  // the input goes to the terminal, whose echo is off
    termios mode;
    if (openpty(&master, &terminal, nullptr, nullptr, nullptr) != 0) return result;
    tcgetattr(terminal, &mode);
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    mode.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
    tcsetattr(terminal, TCSANOW, &mode);
    fcntl(master, F_SETFD, FD_CLOEXEC), fcntl(terminal, F_SETFD, FD_CLOEXEC);
    fds = {terminal, out, terminal};
  }
  // The input fits the pipe's or the terminal's buffer; timeout(1) ends a run that hangs.
  (void)!write(options.onTerminal ? master : in[1], options.input.data(), options.input.size());
  close(in[1]);
  std::vector<std::string> words = {"/usr/bin/timeout", "-s", "KILL", "20"};
  words.insert(words.end(), argv.begin(), argv.end());
  const pid_t pid = Start(words, options.env, fds);
  close(in[0]), close(terminal);
  result.terminal = master >= 0 ? ReadAll(master) : "";
  result.status = Status(pid);
  result.out = ReadAll(out), result.err = ReadAll(err);
  return result;
}

Spawned::Spawned(const std::vector<std::string>& argv) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC)) throw std::runtime_error("pipe");
  pid_ = Start(argv, {}, {in[0], out[1], STDERR_FILENO});
  close(in[0]), close(out[1]);
  in_ = in[1], out_ = out[0];
}

Spawned::~Spawned() {
  if (pid_ > 0) kill(pid_, SIGKILL);
  Wait(), CloseInput(), close(out_);
}

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

int Spawned::Wait() {
  const int status = Status(pid_);
  pid_ = -1;
  return status;
}

}  // namespace tarvesk::test
