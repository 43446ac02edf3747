#pragma once

#include <vector>

#include "messenger/binding.h"
#include "shell/command_line.h"

namespace shell {

// --diagnose: writes the report to standard output, without a window (so it
// runs with no display, as over ssh): the program and the system, then the
// part of the binding chosen, else of each binding tried in turn. Returns
// the process exit status.
int runDiagnosis(int argc, char** argv, const Options& options,
                 const std::vector<messenger::Binding>& bindings);

}  // namespace shell
