#pragma once

namespace shell {

// The whole program: reads the command line, attaches to a client, shows the
// main window and runs until it closes. Returns the process exit status.
int runApplication(int argc, char** argv);

}  // namespace shell
