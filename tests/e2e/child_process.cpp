#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace e2e {
namespace {

using clock_type = std::chrono::steady_clock;

std::vector<char*> c_strings(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

int remaining_ms(clock_type::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_type::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

ending decode(int status) {
  ending end;
  if (WIFEXITED(status)) end.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  return end;
}

// Waits for the child, killing it once the deadline has passed.
ending reap(pid_t child, clock_type::time_point deadline) {
  int status = 0;
  for (;;) {
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) return decode(status);
    if (clock_type::now() >= deadline) {
      ::kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return ending{-1, -1};
    }
    usleep(2000);
  }
}

}  // namespace

const char* program_path() { return ROSTER_PROGRAM; }

piped_run run_piped(const std::vector<std::string>& argv, std::string_view input,
                    const std::vector<std::string>& environment, int timeout_ms, pipe_options options) {
  int to_child[2], from_child[2];
  if (pipe(to_child) != 0 || pipe(from_child) != 0) throw std::runtime_error("pipe");
  if (options.nonblocking) {
    fcntl(to_child[0], F_SETFL, O_NONBLOCK);
    fcntl(from_child[1], F_SETFL, O_NONBLOCK);
  }
  std::vector<char*> args = c_strings(argv);
  std::vector<char*> env = c_strings(environment);
  pid_t child = fork();
  if (child == 0) {
    dup2(to_child[0], STDIN_FILENO);
    dup2(from_child[1], STDOUT_FILENO);
    for (int fd : {to_child[0], to_child[1], from_child[0], from_child[1]}) close(fd);
    execve(args[0], args.data(), env.data());
    _exit(127);
  }
  close(to_child[0]);
  close(from_child[1]);
  if (options.started) options.started(child);
  fcntl(to_child[1], F_SETFL, O_NONBLOCK);
  signal(SIGPIPE, SIG_IGN);

  piped_run run;
  auto deadline = clock_type::now() + std::chrono::milliseconds(timeout_ms);
  std::size_t sent = 0;
  int writer = to_child[1];
  if (input.empty()) {
    close(writer);
    writer = -1;
  }
  for (;;) {
    struct pollfd fds[2] = {{from_child[0], POLLIN, 0}, {writer, POLLOUT, 0}};
    int ready = poll(fds, writer >= 0 ? 2 : 1, remaining_ms(deadline));
    if (ready <= 0) break;
    if (writer >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(writer, input.data() + sent, std::min(options.write_piece, input.size() - sent));
      if (n > 0) sent += static_cast<std::size_t>(n);
      if (options.write_pause_us > 0) usleep(static_cast<useconds_t>(options.write_pause_us));
      if (n < 0 && errno != EAGAIN) sent = input.size();
      if (sent == input.size()) {
        close(writer);
        writer = -1;
      }
    }
    if (fds[0].revents & (POLLIN | POLLHUP)) {
      char buffer[65536];
      ssize_t n = read(from_child[0], buffer, std::min(options.read_piece, sizeof buffer));
      if (n <= 0) break;
      run.output.append(buffer, static_cast<std::size_t>(n));
      if (options.read_pause_us > 0) usleep(static_cast<useconds_t>(options.read_pause_us));
    }
  }
  if (writer >= 0) close(writer);
  close(from_child[0]);
  run.end = reap(child, deadline);
  return run;
}

PtySession::PtySession(const std::vector<std::string>& environment, std::vector<std::string> argv,
                       pty_options options) {
  struct winsize size {};
  size.ws_row = static_cast<unsigned short>(options.rows);
  size.ws_col = static_cast<unsigned short>(options.columns);
  if (openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) throw std::runtime_error("openpty");
  tcgetattr(slave_, &initial_);
  if (options.iutf8) {
    initial_.c_iflag |= IUTF8;
  } else {
    initial_.c_iflag &= ~static_cast<tcflag_t>(IUTF8);
  }
  tcsetattr(slave_, TCSANOW, &initial_);
  if (argv.empty()) argv = {program_path()};
  std::vector<char*> args = c_strings(argv);
  std::vector<char*> env = c_strings(environment);
  child_ = fork();
  if (child_ == 0) {
    setsid();
    ioctl(slave_, TIOCSCTTY, 0);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(slave_, fd);
    close(master_);
    close(slave_);
    if (options.nonblocking_input) fcntl(STDIN_FILENO, F_SETFL, O_NONBLOCK);
    execve(args[0], args.data(), env.data());
    _exit(127);
  }
}

PtySession::~PtySession() {
  if (child_ > 0) {
    ::kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  close(master_);
  close(slave_);
}

void PtySession::send(std::string_view keys) {
  while (!keys.empty()) {
    ssize_t n = write(master_, keys.data(), keys.size());
    if (n <= 0) return;
    keys.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool PtySession::wait_for(std::string_view needle, std::size_t from, int timeout_ms) {
  auto deadline = clock_type::now() + std::chrono::milliseconds(timeout_ms);
  while (output_.find(needle, from) == std::string::npos) {
    struct pollfd ready {master_, POLLIN, 0};
    if (poll(&ready, 1, remaining_ms(deadline)) <= 0) return false;
    char buffer[4096];
    ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output_.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

std::string PtySession::shown_since(std::size_t from) const {
  std::string shown;
  for (std::size_t i = from; i < output_.size(); ++i) {
    if (output_[i] == '\x1b' && i + 1 < output_.size() && output_[i + 1] == '[') {
      i += 2;
      while (i < output_.size() && !(output_[i] >= 0x40 && output_[i] <= 0x7e)) ++i;
      continue;
    }
    if (output_[i] != '\r') shown.push_back(output_[i]);
  }
  return shown;
}

void PtySession::drain(int milliseconds) {
  wait_for(std::string_view("\x01never\x02"), output_.size(), milliseconds);
}

void PtySession::settle(int quiet_ms) {
  std::size_t before;
  do {
    before = output_.size();
    drain(quiet_ms);
  } while (output_.size() != before);
}

struct termios PtySession::settings() const {
  struct termios now {};
  tcgetattr(slave_, &now);
  return now;
}

void PtySession::set_settings(const struct termios& settings) { tcsetattr(slave_, TCSANOW, &settings); }

void PtySession::resize(int rows, int columns) {
  struct winsize size {};
  size.ws_row = static_cast<unsigned short>(rows);
  size.ws_col = static_cast<unsigned short>(columns);
  ioctl(master_, TIOCSWINSZ, &size);
}

void PtySession::kill(int signal_number) {
  if (child_ > 0) ::kill(child_, signal_number);
}

ending PtySession::wait(int timeout_ms) {
  auto deadline = clock_type::now() + std::chrono::milliseconds(timeout_ms);
  // Keep reading so the child never blocks on a full terminal.
  int status = 0;
  for (;;) {
    pid_t done = waitpid(child_, &status, WNOHANG);
    if (done == child_) {
      child_ = -1;
      drain(50);
      return decode(status);
    }
    if (clock_type::now() >= deadline) return ending{-1, -1};
    drain(10);
  }
}

bool open_gate(PtySession& session) {
  if (!session.wait_for("请输入管理员密码：")) return false;
  session.send("907135\r");
  return session.wait_for("请输入相应的数字");
}

std::string run_in_shell(PtySession& shell, const std::string& command) {
  std::size_t from = shell.output().size();
  // The mark as typed is not the mark as printed, so the echo cannot match.
  shell.send(command + "; echo END''OF''COMMAND\r");
  shell.wait_for("ENDOFCOMMAND", from);
  return shell.output().substr(from);
}

bool same_settings(const struct termios& a, const struct termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace e2e
