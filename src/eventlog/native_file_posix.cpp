#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "eventlog/native_file.h"

namespace eventlog::native {

bool lockExclusively(QFile& file, QString* reason) {
    // flock, not fcntl: its lock belongs to this open file, so a second
    // open in the same process is refused too.
    if (::flock(file.handle(), LOCK_EX | LOCK_NB) == 0) {
        return true;
    }
    const int error = errno;
    *reason = error == EWOULDBLOCK ? QStringLiteral("another Quavel Logger is writing to it")
                                   : QString::fromLocal8Bit(std::strerror(error));
    return false;
}

void keepBrokenPipesFromEndingTheProgram() {
    std::signal(SIGPIPE, SIG_IGN);
}

bool syncData(QFile& file) {
    return ::fdatasync(file.handle()) == 0;
}

bool stillAtPath(QFile& file) {
    struct stat open {};
    struct stat named {};
    if (::fstat(file.handle(), &open) != 0 ||
        ::stat(QFile::encodeName(file.fileName()).constData(), &named) != 0) {
        return false;
    }
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace eventlog::native
