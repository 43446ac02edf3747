#include "eventlog/log_file_writer.h"

#include <QFileInfo>

#include "eventlog/line_break.h"
#include "eventlog/native_file.h"

namespace eventlog {

namespace {

const QByteArray kLineBreak = platformLineBreak().toUtf8();

QString notWrittenLine(qint64 count) {
    return count == 1 ? QStringLiteral("1 line could not be written to this file.")
                      : QStringLiteral("%1 lines could not be written to this file.").arg(count);
}

}  // namespace

std::optional<AppendTarget> openForAppend(const QString& path, QString* reason) {
    if (QFileInfo(path).isDir()) {
        *reason = QStringLiteral("it is a folder");
        return std::nullopt;
    }
    AppendTarget target{std::make_unique<QFile>(path)};
    // Unbuffered: each write goes to the system at once, whole.
    if (!target.file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *reason = target.file->errorString();
        return std::nullopt;
    }
    if (!native::lockExclusively(*target.file, reason)) {
        return std::nullopt;
    }
    if (const qint64 size = target.file->size(); size > 0) {
        QFile reader(path);
        char last = '\n';
        if (reader.open(QIODevice::ReadOnly) && reader.seek(size - 1) && reader.getChar(&last)) {
            target.endsMidLine = last != '\n';
        }
    }
    return target;
}

LogFileWriter::LogFileWriter(AppendTarget target, Timing timing, Reports reports)
    : path_(target.file->fileName()),
      timing_(timing),
      reports_(std::move(reports)),
      target_(std::move(target)),
      thread_([this] { run(); }) {}

LogFileWriter::~LogFileWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void LogFileWriter::write(QStringList lines, QString heading) {
    qsizetype units = 0;
    for (const QString& line : lines) {
        units += line.size();
    }
    {
        std::lock_guard lock(mutex_);
        if (waitingUnits_ + units > timing_.maxWaiting) {
            leftWaiting_ += lines.size();
            return;
        }
        waitingUnits_ += units;
        waiting_.append(std::move(lines));
        waitingHeading_ = std::move(heading);
    }
    wake_.notify_one();
}

void LogFileWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto hasWork = [this] {
            return stopping_ || !waiting_.isEmpty() || leftWaiting_ > 0;
        };
        if (unsyncedSince_) {
            wake_.wait_until(lock, *unsyncedSince_ + timing_.syncEvery, hasWork);
        } else {
            wake_.wait(lock, hasWork);
        }
        const QStringList lines = std::exchange(waiting_, {});
        heading_ = waitingHeading_;
        const qint64 leftOut = std::exchange(leftWaiting_, 0);
        const bool stopping = stopping_;
        waitingUnits_ = 0;
        lock.unlock();

        if (stopping) {
            nextTry_ = {};  // one last try, whatever failed before
        }
        if (leftOut > 0) {
            // Behind, not broken: what was taken goes on being written, after
            // the count of what was left out before it.
            notWritten_ += leftOut;
            fail(QStringLiteral("the disk does not keep up; lines are being left out"), false);
        }
        if (!lines.isEmpty()) {
            writeOut(lines);
        }
        if (unsyncedSince_ && (stopping || Clock::now() >= *unsyncedSince_ + timing_.syncEvery)) {
            sync();
        }
        lock.lock();
        if (stopping && waiting_.isEmpty()) {
            return;
        }
    }
}

void LogFileWriter::writeOut(const QStringList& lines) {
    QFile* file = usableFile();
    if (!file) {
        notWritten_ += lines.size();
        return;
    }
    QByteArray bytes;
    if (target_.endsMidLine) {
        bytes += kLineBreak;
    }
    if (std::exchange(startedAnew_, false) && !heading_.isEmpty()) {
        bytes += heading_.toUtf8() + kLineBreak;
    }
    if (notWritten_ > 0) {
        bytes += notWrittenLine(notWritten_).toUtf8() + kLineBreak;
    }
    for (const QString& line : lines) {
        bytes += line.toUtf8();
        bytes += kLineBreak;
    }
    const qint64 before = file->isSequential() ? 0 : file->size();
    // A write cut short leaves the reason to the next one.
    qint64 done = 0;
    for (qint64 n = 0; done < bytes.size(); done += n) {
        n = file->write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            break;
        }
    }
    if (done == bytes.size()) {
        target_.endsMidLine = false;
        if (!unsyncedSince_) {
            unsyncedSince_ = Clock::now();
        }
        if (failing_) {
            failing_ = false;
            reports_.resumed(notWritten_);
        }
        notWritten_ = 0;
        return;
    }
    // Part of it may have gone out: take it back, so that no line is left
    // half written; where that fails, the next write starts a line of its own.
    const QString reason = file->errorString();
    if (!file->isSequential() && file->size() != before) {
        target_.endsMidLine = !(file->resize(before) && file->seek(before));
    }
    file->unsetError();
    notWritten_ += lines.size();
    fail(reason);
}

QFile* LogFileWriter::usableFile() {
    bool replaced = false;
    if (target_.file && !native::stillAtPath(*target_.file)) {
        target_.file.reset();
        unsyncedSince_.reset();
        replaced = true;
    }
    if (target_.file) {
        if (!failing_ || Clock::now() >= nextTry_) {
            return target_.file.get();
        }
        return nullptr;
    }
    if (!replaced && Clock::now() < nextTry_) {
        return nullptr;
    }
    QString reason;
    std::optional<AppendTarget> reopened = openForAppend(path_, &reason);
    if (!reopened) {
        fail(replaced ? QStringLiteral("it was removed or replaced, and ") + reason : reason);
        return nullptr;
    }
    target_ = std::move(*reopened);
    startedAnew_ = true;
    if (replaced) {
        reports_.startedAnew();
    }
    return target_.file.get();
}

void LogFileWriter::fail(const QString& reason, bool holdBack) {
    if (holdBack) {
        nextTry_ = Clock::now() + timing_.retryEvery;
    }
    if (!failing_) {
        failing_ = true;
        reports_.failed(reason);
    }
}

void LogFileWriter::sync() {
    unsyncedSince_.reset();
    // Pipes and devices have no disk to reach.
    if (target_.file && !target_.file->isSequential() && !native::syncData(*target_.file) &&
        !std::exchange(syncFailureTold_, true)) {
        reports_.syncFailed();
    }
}

}  // namespace eventlog
