#include "driver/cleanup.hpp"

#include <sys/resource.h>

#include <cstdio>
#include <vector>

#include "common/names.hpp"
#include "driver/merge_order.hpp"

namespace xk::driver {

bool is_run_file_name(std::string_view name, bool with_seq) {
  const std::string stem = file_stem(name);
  const std::string_view ext = name.substr(stem.size());
  const bool ours = ext == ".drct" || ext == ".gca" || (with_seq && ext == ".seq");
  return ours && (is_node_name(stem) || is_join_stem(stem));
}

int remove_run_files(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<fs::path> doomed;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!is_run_file_name(name)) continue;
    std::error_code type_ec;
    if (it->is_directory(type_ec)) continue;
    doomed.push_back(it->path());
  }
  int removed = 0;
  for (const fs::path& p : doomed) {
    std::error_code rm_ec;
    if (fs::remove(p, rm_ec)) ++removed;
  }
  return removed;
}

std::string elapsed_line() {
  rusage ru{};
  ::getrusage(RUSAGE_SELF, &ru);
  auto seconds = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6; };
  const double user = seconds(ru.ru_utime), sys = seconds(ru.ru_stime);
  char buf[128];
  std::snprintf(buf, sizeof buf, " Elapsed: %.3f User: %.3f System: %.3f\n", user + sys, user, sys);
  return buf;
}

}  // namespace xk::driver
