// Where one run of xKESTRA keeps its intermediate files: a private folder
// in the working directory, so that runs started together there never touch
// each other's k.seq, k.drct, k.gca and merged profiles.  The folder holds
// links to the files the run reads and to the log, so that inside it every
// name is the one the run has always used: "./xmkprof", "./xkordel_gamma",
// "model_R.hmm", "observed", "expected", "LOG".
#pragma once

#include <vector>

#include "environment/private_folder.hpp"

namespace xk::driver {

// The links of a run's folder: "LOG" to the working directory's log (made
// by the first tool that writes to it), and each of the converter, the
// gamma tool, its model and the two frequency files to the first place that
// holds it (environment/locate.hpp: the working directory, beside the
// program, the installed share folder).  A file found nowhere gets no link,
// so the run reports it missing under its own name.
std::vector<FolderLink> run_folder_links();

}  // namespace xk::driver
