// The end of a run: removing the run's own intermediate files and the
// processor-time line.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace xk::driver {

// Whether a file name (no folder part) is one of the run's intermediate
// files: a node name or a join's file stem ("j12") followed by ".drct" or
// ".gca" (with `with_seq`, also ".seq").
bool is_run_file_name(std::string_view name, bool with_seq = false);

// Removes, directly, every ".drct" and ".gca" file of `folder` whose name
// is_run_file_name accepts, stale ones from earlier runs included; other
// files (myprotein.drct) stay.  Returns how many were removed.
int remove_run_files(const std::filesystem::path& folder = ".");

// " Elapsed: T User: U System: S" with a line end: this process's processor
// seconds (all its threads; not the tools it started), 3 decimals.
std::string elapsed_line();

}  // namespace xk::driver
