// Where a program of the suite finds the tools and data files it runs with.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace xk {

// The folders searched, in order: the working directory, the folder of the
// running program, "../share/xkestra" beside that folder (an installed
// tree moved as a whole), and the share folder of the installation the
// program was built for.  All absolute; folders that do not exist are left
// out.
std::vector<std::filesystem::path> search_folders();

// The first of `folders` that holds an entry `name` (a file, or a link to
// one), as an absolute path; nullopt when none does.
std::optional<std::filesystem::path> locate(const std::string& name,
                                            const std::vector<std::filesystem::path>& folders);

}  // namespace xk
