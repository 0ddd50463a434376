// A run's private folder: its intermediate files live there, so that several
// runs started in one working directory never meet, and they all go with it
// on every way the run can end.
#pragma once

#include <filesystem>
#include <span>
#include <string>

namespace xk {

// A link to make in the folder: `name` -> `target` (an absolute path).
struct FolderLink {
  std::string name;
  std::filesystem::path target;
};

// Makes a fresh folder "<parent>/.xkestra-XXXXXX" (mode 0700, the name
// unique on this machine), makes the given links in it and makes it the
// current directory of the process.  When `parent` is not writable, the
// system's temporary folder is used instead.  The destructor returns to
// the previous current directory and removes the folder with everything
// in it.  Throws IoError naming the folder when it cannot be made or
// entered.  One at a time per process: the current directory is the
// process's own.
class PrivateFolder {
 public:
  PrivateFolder(const std::filesystem::path& parent, std::span<const FolderLink> links);
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  // The folder, absolute.
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace xk
