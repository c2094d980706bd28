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
#include <stdexcept>

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

// Starts argv with stdin, stdout (and stderr unless -1) on the given fds; the child closes
// every fd of the list.
pid_t Start(const std::vector<std::string>& argv, const std::vector<std::string>& env, int in,
            int out, int err, std::initializer_list<int> fds) {
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in, 0), dup2(out, 1);
    if (err >= 0) dup2(err, 2);
    for (int fd : fds) close(fd);
    Exec(argv, env);
  }
  return pid;
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
    const pid_t pid = Start(argv, options.env, in[0], out[1], err[1],
                            {in[0], in[1], out[0], out[1], err[0], err[1]});
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

Spawned::Spawned(const std::vector<std::string>& argv) {
  int toChild[2], fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe");
  pid_ = Start(argv, {}, toChild[0], fromChild[1], -1,
               {toChild[0], toChild[1], fromChild[0], fromChild[1]});
  if (pid_ < 0) throw std::runtime_error("fork");
  close(toChild[0]);
  close(fromChild[1]);
  in_ = toChild[1];
  out_ = fromChild[0];
}

Spawned::~Spawned() {
  if (pid_ > 0) Kill(SIGKILL), Wait();
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
