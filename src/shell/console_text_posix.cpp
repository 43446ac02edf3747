#include <cstdio>

#include "shell/console_text.h"

namespace shell {

void printForUser(ConsoleStream stream, const QString& text) {
    std::FILE* file = stream == ConsoleStream::Error ? stderr : stdout;
    std::fputs(text.toLocal8Bit().constData(), file);
    std::fflush(file);
}

}  // namespace shell
