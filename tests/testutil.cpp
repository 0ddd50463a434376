#include "testutil.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace xktest {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "xktest.XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << content;
}

Started start(const std::vector<std::string>& argv, const std::string& input, const std::string& cwd) {
  Started st;
  st.io = std::make_shared<TempDir>();
  const std::string in_path = st.io->file("stdin");
  st.out_path = st.io->file("stdout");
  st.err_path = st.io->file("stderr");
  write_file(in_path, input);
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int in = ::open(in_path.c_str(), O_RDONLY);
    int out = ::open(st.out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(st.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    // The program meets interrupts as from a terminal, whatever the test
    // runner ignores.
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  st.pid = pid;
  return st;
}

RunResult finish(Started& started, long* peak_kib) {
  int wstatus = 0;
  rusage usage{};
  ::wait4(started.pid, &wstatus, 0, &usage);
  if (peak_kib) *peak_kib = usage.ru_maxrss;
  RunResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.out = read_file(started.out_path);
  r.err = read_file(started.err_path);
  return r;
}

RunResult run(const std::vector<std::string>& argv, const std::string& input, const std::string& cwd) {
  Started st = start(argv, input, cwd);
  return finish(st);
}

std::string program(const std::string& name) { return std::string(XK_BIN_DIR) + "/bin/" + name; }

std::string source_path(const std::string& relative) { return std::string(XK_SOURCE_DIR) + "/" + relative; }

}  // namespace xktest
