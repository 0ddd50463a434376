#include "driver/run_folder.hpp"

#include <filesystem>
#include <string>

#include "driver/external_tools.hpp"
#include "environment/locate.hpp"

namespace xk::driver {

namespace fs = std::filesystem;

std::vector<FolderLink> run_folder_links() {
  std::vector<FolderLink> links{{kLogFile, fs::absolute(kLogFile)}};
  const std::vector<fs::path> folders = search_folders();
  for (const std::string name : {"xmkprof", "xkordel_gamma", kGammaModel, "observed", "expected"}) {
    if (const auto found = locate(name, folders)) links.push_back({name, *found});
  }
  return links;
}

}  // namespace xk::driver
