#pragma once

#include <QString>

namespace shell {

enum class ConsoleStream { Output, Error };

// Text for the user before any window exists (help, version, a bad option):
// where the program was started from a terminal, there. Each platform has
// its own source file.
void printForUser(ConsoleStream stream, const QString& text);

}  // namespace shell
