#pragma once

#include <functional>

namespace shell {

class MainWindow;

// The whole program: reads the command line, attaches to a client, shows the
// main window and runs until it closes. Returns the process exit status.
// whenShown, if given, runs once the main window is on screen (for timing
// start-up).
int runApplication(int argc, char** argv, std::function<void(MainWindow&)> whenShown = {});

}  // namespace shell
