#pragma once

#include <QFile>
#include <QString>

namespace eventlog::native {

// What Qt's file API does not offer, on an open QFile.

// Takes the file for this process alone, without waiting. The lock is the
// system's, held by the open file: it goes when the file is closed or the
// process ends, however it ends. Does not keep others from reading.
// False with the reason if another process holds it or locking failed.
bool lockExclusively(QFile& file, QString* reason);

// Puts what was written on the disk itself (the data, not necessarily the
// times).
bool syncData(QFile& file);

// A write to a pipe whose reader has gone fails, rather than ending the
// program (POSIX's SIGPIPE).
void keepBrokenPipesFromEndingTheProgram();

// Whether the file's name still leads to this open file: false once it was
// removed, or renamed and replaced.
bool stillAtPath(QFile& file);

}  // namespace eventlog::native
