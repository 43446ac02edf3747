#include "shell/console_text.h"

#include <cstdio>

namespace shell {

void printForUser(ConsoleStream stream, const QString& text) {
    std::FILE* file = stream == ConsoleStream::Error ? stderr : stdout;
    std::fputs(text.toLocal8Bit().constData(), file);
    std::fflush(file);
}

}  // namespace shell
