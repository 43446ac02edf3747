#include "eventlog/log_saver.h"

#include <QSaveFile>

#include "eventlog/line_break.h"

namespace eventlog {

namespace {
// Lines encoded at a time: a few megabytes at most, however long the log.
constexpr qsizetype kSliceLines = 16 * 1024;
}  // namespace

QString saveLogText(const LineStore& lines, const QString& path,
                    const std::atomic<bool>& abandoned) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    const qsizetype count = lines.lineCount();
    for (qsizetype first = 0; first < count; first += kSliceLines) {
        if (abandoned) {
            file.cancelWriting();
            return QStringLiteral("the save was abandoned");
        }
        const qsizetype end = std::min(first + kSliceLines, count);
        // Up to the next slice's first line, taking the break before it.
        const qsizetype to = end < count ? lines.lineStart(end) : lines.textLength();
        const QByteArray bytes =
            lines.text(lines.lineStart(first), to, platformLineBreak()).toUtf8();
        if (file.write(bytes) != bytes.size()) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason;
        }
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return {};
}

LogSaver::LogSaver(LineStore lines, const QString& path, QObject* parent)
    : QObject(parent), lines_(std::move(lines)), path_(path) {
    thread_ = std::thread([this] {
        const QString error = saveLogText(lines_, path_, abandoned_);
        QMetaObject::invokeMethod(
            this, [this, error] { emit finished(error); }, Qt::QueuedConnection);
    });
}

LogSaver::~LogSaver() {
    abandoned_ = true;
    thread_.join();
}

}  // namespace eventlog
