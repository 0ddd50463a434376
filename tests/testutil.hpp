// Helpers for the tests: temporary working folders, files, running programs,
// tables turned.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace xktest {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs argv[0] (a path) with the given arguments in folder `cwd`, standard
// input from `input`.
RunResult run(const std::vector<std::string>& argv, const std::string& input, const std::string& cwd);

// The same in two steps: start() returns while the program runs; finish()
// waits for it and, with `peak_kib`, gives its peak resident memory (KiB).
struct Started {
  pid_t pid = -1;
  std::string out_path, err_path;
  std::shared_ptr<TempDir> io;  // holds the standard streams
};
Started start(const std::vector<std::string>& argv, const std::string& input, const std::string& cwd);
RunResult finish(Started& started, long* peak_kib = nullptr);

// Path of a built program ("xmkprof", "showprof", ...).
std::string program(const std::string& name);
// Path of a file under the source tree.
std::string source_path(const std::string& relative);

// An n1 x n2 table laid by rows, laid by columns: out[j * n1 + i] = t[i * n2 + j].
inline std::vector<float> by_columns(const std::vector<float>& t, int n1, int n2) {
  const auto rows = static_cast<std::size_t>(n1), cols = static_cast<std::size_t>(n2);
  std::vector<float> out(t.size());
  for (std::size_t i = 0; i < rows; ++i)
    for (std::size_t j = 0; j < cols; ++j) out[j * rows + i] = t[i * cols + j];
  return out;
}

}  // namespace xktest
