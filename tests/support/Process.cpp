#include "tests/support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <chrono>
#include <cstdlib>

namespace tarvesk::test {
namespace {

[[noreturn]] void Exec(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  for (const std::string& entry : env) {
    const size_t equals = entry.find('=');
    if (equals == std::string::npos) {
      unsetenv(entry.c_str());
    } else {
      setenv(entry.substr(0, equals).c_str(), entry.c_str() + equals + 1, 1);
    }
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

// The input, held back until the program shows options.inputAfter; a pipe is closed after
// it, so that the program sees the end of its input.
class HeldInput {
 public:
  HeldInput(int fd, bool isPipe, const RunOptions& options)
      : fd_(fd), isPipe_(isPipe), options_(options) {}
  ~HeldInput() {
    if (isPipe_ && fd_ >= 0) close(fd_);
  }
  void WriteWhenShown(const std::string& shown) {
    if (fd_ < 0 || shown.find(options_.inputAfter) == std::string::npos) return;
    if (options_.meanwhile) options_.meanwhile();
    (void)!write(fd_, options_.input.data(), options_.input.size());
    if (isPipe_) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  bool isPipe_;
  const RunOptions& options_;
};

// Reads every fd into its string until all are closed (EOF, or EIO of a terminal whose
// other side is gone) or the time is up; the held input goes out once its text is shown.
bool Drain(std::vector<std::pair<int, std::string*>> sources, HeldInput& input) {
  input.WriteWhenShown("");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!sources.empty()) {
    std::vector<pollfd> fds;
    for (const auto& [fd, text] : sources) fds.push_back({fd, POLLIN, 0});
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || poll(fds.data(), fds.size(), static_cast<int>(left.count())) <= 0) {
      return false;
    }
    for (size_t k = fds.size(); k-- > 0;) {
      if (!fds[k].revents) continue;
      char buffer[4096];
      const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        sources[k].second->append(buffer, static_cast<size_t>(got));
        input.WriteWhenShown(*sources[k].second);
      } else {
        close(fds[k].fd);
        sources.erase(sources.begin() + static_cast<std::ptrdiff_t>(k));
      }
    }
  }
  return true;
}

int Wait(pid_t pid, bool finished) {
  if (!finished) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  return finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult result;
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return result;
  if (!options.onTerminal) {
    int in[2];
    if (pipe(in) != 0) return result;
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(in[0], 0), dup2(out[1], 1), dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      Exec(argv, options.env);
    }
    close(in[0]), close(out[1]), close(err[1]);
    signal(SIGPIPE, SIG_IGN);
    HeldInput input(in[1], true, options);
    const bool finished = Drain({{out[0], &result.out}, {err[0], &result.err}}, input);
    result.status = Wait(pid, finished);
    return result;
  }
  // Echo off before the input is written, so the transcript shows output only.
  int master = -1, terminal = -1;
  if (openpty(&master, &terminal, nullptr, nullptr, nullptr) != 0) return result;
  termios mode;
  tcgetattr(terminal, &mode);
  mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  mode.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
  tcsetattr(terminal, TCSANOW, &mode);
  const pid_t pid = fork();
  if (pid == 0) {
    close(master);
    login_tty(terminal);
    if (options.redirectStdout) dup2(out[1], 1);
    for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
    Exec(argv, options.env);
  }
  close(terminal);
  for (int fd : {out[1], err[0], err[1]}) close(fd);
  HeldInput input(master, false, options);
  const bool finished = Drain({{master, &result.terminal}, {out[0], &result.out}}, input);
  result.status = Wait(pid, finished);
  return result;
}

}  // namespace tarvesk::test
