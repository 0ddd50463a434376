#include "driver/external_tools.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
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
  bool ok() const { return ok_; }
  const posix_spawn_file_actions_t* get() const { return &fa_; }

 private:
  posix_spawn_file_actions_t fa_{};
  bool ok_ = false;
};

// A descriptor of a started process that becomes readable when it ends.
class ProcessHandle {
 public:
  explicit ProcessHandle(pid_t pid) : fd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}
  ~ProcessHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;
  // Waits up to `ms` milliseconds for the end; false when there is no
  // descriptor to wait on.
  bool wait_ms(int ms) const {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    ::poll(&p, 1, ms);
    return true;
  }

 private:
  int fd_;
};

}  // namespace

int run_tool(const std::vector<std::string>& argv, const Redirections& r) {
  if (argv.empty()) return -1;
  FileActions fa;
  if (!fa.ok()) return -1;
  if (r.stdin_from && !fa.open(0, *r.stdin_from, O_RDONLY)) return -1;
  if (r.stdout_append && !fa.open(1, *r.stdout_append, O_WRONLY | O_CREAT | O_APPEND)) return -1;
  if (r.stderr_discard && !fa.open(2, "/dev/null", O_WRONLY)) return -1;
  if (!r.stderr_discard && r.stderr_append && !fa.open(2, *r.stderr_append, O_WRONLY | O_CREAT | O_APPEND))
    return -1;

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
  int status = 0;
  bool stopped = false;  // the tool was told to stop because of an interrupt
  // The signal may reach any thread of the run, not the one waiting here
  // (joins run tools on worker threads), so the wait looks at the interrupt
  // flag at least every 20 ms.  A process descriptor wakes the wait the
  // moment the tool ends (most calls take a few milliseconds, and a run
  // makes two per sequence and one per join); where the system has none,
  // the wait polls, first often, then every 20 ms.
  const ProcessHandle handle(pid);
  for (long pause_us = 100;; pause_us = std::min(pause_us * 2, 20000L)) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return -1;
    if (interrupt_signal() != 0 && !stopped) {
      ::kill(pid, SIGTERM);
      stopped = true;
    }
    if (!handle.wait_ms(20)) ::usleep(static_cast<useconds_t>(pause_us));
  }
  // An interrupt that came while the tool ran (and may have ended it too,
  // as a terminal's interrupt reaches the whole process group) wins over
  // the tool's status.
  check_interrupt();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ToolOutput held_tool_output(const std::string& stem) { return {stem + ".log", stem + ".err"}; }

void pass_on_tool_output(const ToolOutput& held, bool add) {
  if (add) {
    {
      std::ifstream in(held.log, std::ios::binary);
      std::ofstream out(kLogFile, std::ios::binary | std::ios::app);
      if (in && in.peek() != std::char_traits<char>::eof()) out << in.rdbuf();
      if (!out) throw IoError(kLogFile, "cannot append the tools' output");
    }
    if (held.errors) {
      std::ifstream in(*held.errors, std::ios::binary);
      if (in && in.peek() != std::char_traits<char>::eof()) std::cerr << in.rdbuf();
      std::cerr.flush();
    }
  }
  std::error_code ec;
  std::filesystem::remove(held.log, ec);
  if (held.errors) std::filesystem::remove(*held.errors, ec);
}

std::string mkprof(const std::string& sequence_file, const ToolOutput& output) {
  const std::string profile = profile_file_of(sequence_file);
  Redirections r;
  r.stdin_from = sequence_file;
  r.stdout_append = output.log;
  r.stderr_discard = true;
  if (run_tool({kConverter, profile}, r) != 0) throw FatalStop("ERROR: System command for making drct files!!!");
  return profile;
}

std::string drct2gca(const std::string& profile_file, const ToolOutput& output) {
  const std::string gamma = gamma_file_of(profile_file);
  Redirections r;
  r.stdout_append = output.log;
  r.stderr_append = output.errors;
  if (run_tool({kGammaTool, kGammaModel, profile_file, gamma, "0"}, r) != 0)
    throw FatalStop("ERROR: System command for making gca files!!!");
  return gamma;
}

}  // namespace xk::driver
