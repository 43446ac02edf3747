// Save Log As...: the file it writes, and what a failing save leaves.
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include "eventlog/line_break.h"
#include "support/test_window.h"

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <unistd.h>
#include <csignal>
#endif

using testing::TestWindow;
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
        QTest::addColumn<std::function<std::function<void()>(const QString&)>>("breakIt");
        QTest::newRow("no such folder") << std::function<std::function<void()>(const QString&)>(
            [](const QString&) { return std::function<void()>(); });
#ifdef Q_OS_UNIX
        // Writes stop part-way, as on a full disk; root is held to it too.
        QTest::newRow("file may not grow") << std::function<std::function<void()>(const QString&)>([](const QString&) {
            std::signal(SIGXFSZ, SIG_IGN);
            auto saved = std::make_shared<rlimit>();
            getrlimit(RLIMIT_FSIZE, saved.get());
            rlimit limit = *saved;
            limit.rlim_cur = 4096;
            setrlimit(RLIMIT_FSIZE, &limit);
            return std::function<void()>([saved] { setrlimit(RLIMIT_FSIZE, saved.get()); });
        });
        if (geteuid() != 0) {
            QTest::newRow("read-only folder")
                << std::function<std::function<void()>(const QString&)>([](const QString& folder) {
                       QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
                       return std::function<void()>([folder] {
                           QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                       });
                   });
        }
#endif
    }
    void failedSaveKeepsEarlierFile() {
        QFETCH(std::function<std::function<void()>(const QString&)>, breakIt);
        TestWindow t;
        QVERIFY(t.load());
        for (int i = 0; i < 500; ++i) {
            t.window().logEvent(u"someone@example.org"_s, u"Changed Status To: Away"_s);
        }
        QTemporaryDir dir;
        QString folder = dir.path();
        if (QByteArray(QTest::currentDataTag()) == "no such folder") {
            folder = dir.filePath(u"missing"_s);
        }
        const QString path = folder + u"/saved.txt"_s;
        {
            QFile earlier(path);
            if (earlier.open(QIODevice::WriteOnly)) {
                earlier.write("earlier\n");
            }
        }
        const QByteArray before = contents(path);
        const std::function<void()> mend = breakIt(folder);
        t.window().saveLogTo(path);
        QTRY_VERIFY(!t.window().isSaving());
        if (mend) {
            mend();
        }
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
