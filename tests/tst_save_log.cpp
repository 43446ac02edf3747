// Save Log As...: the file it writes, and what a failing save leaves.
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include "eventlog/line_break.h"
#include "support/test_window.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

using testsupport::TestWindow;
using namespace Qt::StringLiterals;

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// What the user gets from Select All and Copy.
QString copiedWholeLog(TestWindow& t) {
    t.log().selectAll();
    t.log().copy();
    return QGuiApplication::clipboard()->text();
}

QMessageBox* failureMessage(TestWindow& t) {
    return t.window().findChild<QMessageBox*>(u"saveFailedMessage"_s);
}

}  // namespace

class TestSaveLog : public QObject {
    Q_OBJECT

private slots:
    // The file holds what copying the whole log gives, as it was when the
    // save began, in UTF-8; the lines logged meanwhile are not in it.
    void savesTheLogAsCopied() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().logEvent(u"zoë@example.org"_s, u"Changed name to: Zoë 日本 🙂"_s);
        t.window().logEvent(u"a@b"_s, u"Opened window"_s);
        const QString expected = copiedWholeLog(t);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"saved.txt"_s);
        t.window().saveLogTo(path);
        for (int i = 0; i < 1000; ++i) {
            t.window().logEvent(u"late@b"_s, u"Closed window"_s);
        }
        QTRY_VERIFY(!t.window().isSaving());
        QCOMPARE(contents(path), expected.toUtf8());
        QVERIFY(!failureMessage(t));
    }

    // Ctrl+S (and the log's menu) asks where, offering a name with the date.
    void asksWhereWithADatedName() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        QVERIFY(QTest::qWaitForWindowActive(&t.window()));
        QTest::keyClick(&t.log(), Qt::Key_S, Qt::ControlModifier);
        QFileDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = t.window().findChild<QFileDialog*>(u"saveLogDialog"_s)));
        QCOMPARE(QFileInfo(dialog->selectedFiles().value(0)).fileName(), u"Quavel Logger log 2026-12-06.txt"_s);
        QTemporaryDir dir;
        dialog->selectFile(dir.filePath(u"chosen.txt"_s));
        QMetaObject::invokeMethod(dialog, "accept");
        QTRY_COMPARE(contents(dir.filePath(u"chosen.txt"_s)), copiedWholeLog(t).toUtf8());
    }

    // The log file only ever grows: saving over it is refused.
    void refusesToReplaceTheLogFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"kept.log"_s);
        QString reason;
        auto logFile = eventlog::LogFile::open(path, QLocale::c(), &reason);
        QVERIFY(logFile);
        TestWindow t(false, logFile.get());
        QVERIFY(t.load());
        t.window().saveLogTo(dir.path() + u"/./kept.log"_s);
        QVERIFY(failureMessage(t));
        QVERIFY(!t.window().isSaving());
        t.window().close();
        logFile.reset();
        QCOMPARE(contents(path), t.logText().toUtf8() + eventlog::platformLineBreak().toUtf8());
    }

    // A save that fails says why, and leaves the file that was there.
    void failedSaveKeepsEarlierFile_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("no such folder") << u"missing"_s;
#ifdef Q_OS_UNIX
        QTest::newRow("file may not grow") << u"limit"_s;  // as a full disk stops a write
        if (geteuid() != 0) {
            QTest::newRow("read-only folder") << u"read-only"_s;
        }
#endif
    }
    void failedSaveKeepsEarlierFile() {
        QFETCH(QString, fault);
        TestWindow t;
        QVERIFY(t.load());
        for (int i = 0; i < 500; ++i) {
            t.window().logEvent(u"someone@example.org"_s, u"Changed Status To: Away"_s);
        }
        QTemporaryDir dir;
        const QString folder = fault == u"missing"_s ? dir.filePath(fault) : dir.path();
        const QString path = folder + u"/saved.txt"_s;
        QFile earlier(path);
        if (earlier.open(QIODevice::WriteOnly)) {
            earlier.write("earlier\n");
            earlier.close();
        }
        const QByteArray before = contents(path);
#ifdef Q_OS_UNIX
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        if (fault == u"limit"_s) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, saved.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        QFile::setPermissions(folder, fault == u"read-only"_s ? QFile::ReadOwner | QFile::ExeOwner
                                                              : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
        t.window().saveLogTo(path);
        QTRY_VERIFY(!t.window().isSaving());
#ifdef Q_OS_UNIX
        setrlimit(RLIMIT_FSIZE, &saved);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
        QCOMPARE(contents(path), before);
        QMessageBox* message = failureMessage(t);
        QVERIFY(message);
        QVERIFY2(message->text().startsWith(u"The log could not be saved to %1:"_s.arg(QDir::toNativeSeparators(path))),
                 qPrintable(message->text()));
        QCOMPARE(QDir(folder).entryList(QDir::Files),
                 QFileInfo::exists(path) ? QStringList{u"saved.txt"_s} : QStringList());
    }
};

QTEST_MAIN(TestSaveLog)
#include "tst_save_log.moc"
