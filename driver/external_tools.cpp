#include "driver/external_tools.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "common/ending.hpp"
#include "common/interrupt.hpp"
#include "common/names.hpp"

extern char** environ;

namespace xk::driver {

namespace {

// posix_spawn's file actions, released on every path.
class FileActions {
 public:
  FileActions() { ok_ = ::posix_spawn_file_actions_init(&fa_) == 0; }
  ~FileActions() {
    if (ok_) ::posix_spawn_file_actions_destroy(&fa_);
  }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  bool open(int fd, const std::string& path, int flags) {
    return ok_ && ::posix_spawn_file_actions_addopen(&fa_, fd, path.c_str(), flags, 0644) == 0;
  }
  bool dup2(int from, int to) { return ok_ && ::posix_spawn_file_actions_adddup2(&fa_, from, to) == 0; }
  bool ok() const { return ok_; }
  const posix_spawn_file_actions_t* get() const { return &fa_; }

 private:
  posix_spawn_file_actions_t fa_{};
  bool ok_ = false;
};

// A descriptor of a started process that becomes readable when it ends
// (-1 where the system has none).
class ProcessHandle {
 public:
  explicit ProcessHandle(pid_t pid) : fd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}
  ~ProcessHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// One standard stream of a started program read through a pipe into a
// text (no text: nothing is made).  The pipe's ends are closed on every
// path; the program gets only the write end, as its stream.
class Capture {
 public:
  explicit Capture(std::string* into) : into_(into) {
    if (into_ == nullptr) return;
    ok_ = ::pipe2(fd_, O_CLOEXEC) == 0;
    if (ok_) ok_ = ::fcntl(fd_[0], F_SETFL, O_NONBLOCK) == 0;
  }
  ~Capture() {
    for (int fd : fd_)
      if (fd >= 0) ::close(fd);
  }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  bool wanted() const { return into_ != nullptr; }
  bool ok() const { return ok_; }
  int write_end() const { return fd_[1]; }
  int read_end() const { return fd_[0]; }
  bool reading() const { return fd_[0] >= 0; }
  void close_write_end() {
    if (fd_[1] >= 0) ::close(fd_[1]);
    fd_[1] = -1;
  }
  // Appends what the pipe holds now; closes it at its end.
  void read_available() {
    char buf[1 << 16];
    while (fd_[0] >= 0) {
      const ssize_t n = ::read(fd_[0], buf, sizeof buf);
      if (n > 0) {
        into_->append(buf, static_cast<std::size_t>(n));
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        if (n == 0 || errno != EAGAIN) {
          ::close(fd_[0]);
          fd_[0] = -1;
        }
        return;
      }
    }
  }

 private:
  std::string* into_;
  int fd_[2] = {-1, -1};
  bool ok_ = true;
};

}  // namespace

int run_tool(const std::vector<std::string>& argv, const Redirections& r) {
  if (argv.empty()) return -1;
  FileActions fa;
  if (!fa.ok()) return -1;
  Capture out(r.stdout_capture), err(r.stderr_capture);
  if (!out.ok() || !err.ok()) return -1;
  if (r.stdin_from && !fa.open(0, *r.stdin_from, O_RDONLY)) return -1;
  if (out.wanted()) {
    if (!fa.dup2(out.write_end(), 1)) return -1;
  } else if (r.stdout_append && !fa.open(1, *r.stdout_append, O_WRONLY | O_CREAT | O_APPEND)) {
    return -1;
  }
  if (err.wanted()) {
    if (!fa.dup2(err.write_end(), 2)) return -1;
  } else if (r.stderr_discard) {
    if (!fa.open(2, "/dev/null", O_WRONLY)) return -1;
  } else if (r.stderr_append && !fa.open(2, *r.stderr_append, O_WRONLY | O_CREAT | O_APPEND)) {
    return -1;
  }

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // What this program wrote so far must come before the tool's own output.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);

  check_interrupt();
  pid_t pid = 0;
  if (::posix_spawn(&pid, args[0], fa.get(), nullptr, args.data(), environ) != 0) return -1;
  // The tool holds the pipes' write ends now; the reads see their end
  // once it (and anything it started) has closed them.
  out.close_write_end();
  err.close_write_end();
  int status = 0;
  bool stopped = false;  // the tool was told to stop because of an interrupt
  // The signal may reach any thread of the run, not the one waiting here
  // (joins run tools on worker threads), so the wait looks at the interrupt
  // flag at least every 20 ms.  A process descriptor wakes the wait the
  // moment the tool ends (most calls take a few milliseconds, and a run
  // makes two per sequence and one per join); where the system has none,
  // the wait polls, first often, then every 20 ms.  Captured streams are
  // read as they come, so that a tool never waits on a full pipe.
  const ProcessHandle handle(pid);
  for (long pause_us = 100;; pause_us = std::min(pause_us * 2, 20000L)) {
    out.read_available();
    err.read_available();
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return -1;
    if (interrupt_signal() != 0 && !stopped) {
      ::kill(pid, SIGTERM);
      stopped = true;
    }
    std::array<pollfd, 3> wake{};
    nfds_t n = 0;
    if (handle.fd() >= 0) wake[n++] = {handle.fd(), POLLIN, 0};
    for (const Capture* c : {&out, &err})
      if (c->reading()) wake[n++] = {c->read_end(), POLLIN, 0};
    if (handle.fd() >= 0) {
      ::poll(wake.data(), n, 20);
    } else if (n > 0) {
      ::poll(wake.data(), n, static_cast<int>(pause_us / 1000) + 1);
    } else {
      ::usleep(static_cast<useconds_t>(pause_us));
    }
  }
  // What the tool wrote before it ended waits in the pipes.
  out.read_available();
  err.read_available();
  // An interrupt that came while the tool ran (and may have ended it too,
  // as a terminal's interrupt reaches the whole process group) wins over
  // the tool's status.
  check_interrupt();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void pass_on_tool_output(const HeldOutput& held) {
  if (!held.log.empty()) {
    std::ofstream out(kLogFile, std::ios::binary | std::ios::app);
    out << held.log;
    out.flush();
    if (!out) throw IoError(kLogFile, "cannot append the tools' output");
  }
  if (!held.errors.empty()) {
    std::cerr << held.errors;
    std::cerr.flush();
  }
}

void HeldOutputs::put(const std::string& name, HeldOutput output) {
  std::lock_guard lock(m_);
  held_[name] = std::move(output);
}

HeldOutput HeldOutputs::take(const std::string& name) {
  std::lock_guard lock(m_);
  HeldOutput out;
  if (auto it = held_.find(name); it != held_.end()) {
    out = std::move(it->second);
    held_.erase(it);
  }
  return out;
}

std::string mkprof(const std::string& sequence_file, const ToolOutput& output) {
  const std::string profile = profile_file_of(sequence_file);
  Redirections r;
  r.stdin_from = sequence_file;
  if (output.held != nullptr) r.stdout_capture = &output.held->log;
  else r.stdout_append = kLogFile;
  r.stderr_discard = true;
  if (run_tool({kConverter, profile}, r) != 0) throw FatalStop("ERROR: System command for making drct files!!!");
  return profile;
}

std::string drct2gca(const std::string& profile_file, const ToolOutput& output) {
  const std::string gamma = gamma_file_of(profile_file);
  Redirections r;
  if (output.held != nullptr) {
    r.stdout_capture = &output.held->log;
    r.stderr_capture = &output.held->errors;
  } else {
    r.stdout_append = kLogFile;
  }
  if (run_tool({kGammaTool, kGammaModel, profile_file, gamma, "0"}, r) != 0)
    throw FatalStop("ERROR: System command for making gca files!!!");
  return gamma;
}

}  // namespace xk::driver
