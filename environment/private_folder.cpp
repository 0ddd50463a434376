#include "environment/private_folder.hpp"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "common/ending.hpp"

namespace xk {

namespace fs = std::filesystem;

namespace {

// mkdtemp in `parent`; an empty path when that fails.
fs::path make_unique_folder(const fs::path& parent) {
  std::string name = (parent / ".xkestra-XXXXXX").string();
  if (::mkdtemp(name.data()) == nullptr) return {};
  return fs::path(name);
}

}  // namespace

PrivateFolder::PrivateFolder(const fs::path& parent, std::span<const FolderLink> links)
    : previous_(fs::current_path()) {
  path_ = make_unique_folder(fs::absolute(parent));
  if (path_.empty()) path_ = make_unique_folder(fs::temp_directory_path());
  if (path_.empty()) throw IoError((fs::absolute(parent) / ".xkestra-XXXXXX").string(), "cannot make the run's folder");
  try {
    for (const FolderLink& link : links) fs::create_symlink(link.target, path_ / link.name);
  } catch (const fs::filesystem_error& e) {
    std::error_code ec;
    fs::remove_all(path_, ec);
    throw IoError(path_.string(), e.code().message());
  }
  if (::chdir(path_.c_str()) != 0) {
    const IoError failure = io_error_from_errno(path_.string());
    std::error_code ec;
    fs::remove_all(path_, ec);
    throw failure;
  }
}

PrivateFolder::~PrivateFolder() {
  // Nothing may escape a destructor: a folder that cannot be left or
  // removed stays behind, which is all that can be done.
  if (::chdir(previous_.c_str()) != 0) (void)::chdir("/");
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace xk
