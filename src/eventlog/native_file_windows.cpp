#include <windows.h>

#include <io.h>

#include "eventlog/native_file.h"

namespace eventlog::native {

namespace {
HANDLE systemHandle(QFile& file) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
}
}  // namespace

bool lockExclusively(QFile& file, QString* reason) {
    // Windows locks keep other processes from reading what they cover; one
    // byte far past any real end of file locks the name and nothing else.
    OVERLAPPED farPastTheEnd{};
    farPastTheEnd.OffsetHigh = 0x40000000;
    if (LockFileEx(systemHandle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &farPastTheEnd)) {
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
        *reason = QStringLiteral("another Quavel Logger is writing to it");
    } else {
        *reason = QStringLiteral("it cannot be locked (system error %1)").arg(error);
    }
    return false;
}

void keepBrokenPipesFromEndingTheProgram() {}

bool syncData(QFile& file) {
    return FlushFileBuffers(systemHandle(file)) != 0;
}

bool stillAtPath(QFile&) {
    // Qt opens files without FILE_SHARE_DELETE: while open, the file can be
    // neither removed nor renamed.
    return true;
}

}  // namespace eventlog::native
