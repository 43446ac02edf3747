#pragma once

#include <vector>

#include "messenger/binding.h"
#include "shell/command_line.h"
#include "shell/main_window.h"

namespace shell {

// How to attach to the client the command line asks for: the binding chosen
// by its option (as --demo), else each binding not chosen that way in turn.
ClientFactory chooseClient(const std::vector<messenger::Binding>& bindings, const Options& options);

}  // namespace shell
