#include "readers/profiles.hpp"

#include <algorithm>
#include <stdexcept>

#include "profile/record.hpp"

namespace xk {

int getdrctlen(const std::string& path) { return static_cast<int>(count_records(path)); }

void readdrct(const std::string& path, int n, std::span<float> table) {
  if (table.size() < static_cast<std::size_t>(std::max(n, 0)) * kProfileWidth) {
    throw std::logic_error("readdrct: table smaller than n rows");
  }
  ProfileReader reader(path);
  ProfileRecord rec;
  for (int r = 0; r < n && reader.next(rec); ++r) {
    std::copy(rec.values.begin(), rec.values.end(), table.begin() + static_cast<std::ptrdiff_t>(r) * kProfileWidth);
  }
}

std::vector<float> readdrct(const std::string& path) {
  int n = getdrctlen(path);
  std::vector<float> table(static_cast<std::size_t>(n) * kProfileWidth, 0.0f);
  readdrct(path, n, table);
  return table;
}

}  // namespace xk
