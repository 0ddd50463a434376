#include "environment/machine.hpp"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>

namespace xk {

namespace {

// The memory limit of the process's control group (version 2), 0 when
// there is none or it cannot be read.
std::uint64_t group_limit() {
  std::ifstream in("/sys/fs/cgroup/memory.max");
  std::string text;
  if (!(in >> text) || text == "max") return 0;
  try {
    return std::stoull(text);
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

std::uint64_t usable_memory_bytes() {
  const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGE_SIZE);
  std::uint64_t physical = pages > 0 && page > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page) : 0;
  const std::uint64_t group = group_limit();
  if (group != 0 && (physical == 0 || group < physical)) physical = group;
  return physical;
}

unsigned thread_count(unsigned requested) {
  if (requested != 0) return requested;
  // The cores this process may run on (a batch system's share), else all.
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace xk
