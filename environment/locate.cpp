#include "environment/locate.hpp"

#include <system_error>

namespace xk {

namespace fs = std::filesystem;

std::vector<fs::path> search_folders() {
  std::vector<fs::path> candidates;
  std::error_code ec;
  candidates.push_back(fs::current_path(ec));
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    candidates.push_back(self.parent_path());
    candidates.push_back(self.parent_path().parent_path() / "share" / "xkestra");
  }
  candidates.emplace_back(XK_INSTALL_DATA_DIR);
  std::vector<fs::path> folders;
  for (const fs::path& c : candidates) {
    std::error_code dir_ec;
    if (!c.empty() && fs::is_directory(c, dir_ec)) folders.push_back(c.lexically_normal());
  }
  return folders;
}

std::optional<fs::path> locate(const std::string& name, const std::vector<fs::path>& folders) {
  for (const fs::path& folder : folders) {
    std::error_code ec;
    const fs::path candidate = folder / name;
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

}  // namespace xk
