#include <QAction>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "support/test_window.h"

using testsupport::TestWindow;
using namespace Qt::StringLiterals;

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    // The start-up line replaces the text and keeps the client's case.
    void startUp() {
        TestWindow t;
        t.log().setLogText(QStringLiteral("left over"));
        QVERIFY(t.load());
        t.window().show();
        QCOMPARE(t.caption(), QStringLiteral("Sam (Online) - Quavel Logger"));
        QCOMPARE(t.logText(), QStringLiteral("Quavel Wardel Loaded for Sam.Rivers@example.com on 12/6/26"));
        QCOMPARE(t.log().caretPosition(), t.logText().size());
    }

    void caption_data() {
        QTest::addColumn<QString>("friendlyName");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("caption");
        QTest::newRow("unknown status") << u"Sunny"_s << 7 << u"Sunny (Unkown/Error7) - Quavel Logger"_s;
        QTest::newRow("empty name") << QString() << 2 << u" (Online) - Quavel Logger"_s;
        QTest::newRow("parentheses and dash")
            << u"Me (really) - Quavel Logger"_s << 10 << u"Me (really) - Quavel Logger (Busy) - Quavel Logger"_s;
        QTest::newRow("line break made a space") << u"two\nlines"_s << 2 << u"two lines (Online) - Quavel Logger"_s;
        QTest::newRow("placeholder shown as typed") << u"star [*]"_s << 2 << u"star [*] (Online) - Quavel Logger"_s;
    }
    void caption() {
        QFETCH(QString, friendlyName);
        QFETCH(int, status);
        QFETCH(QString, caption);
        TestWindow t;
        t.demo().setMyFriendlyName(friendlyName.toStdU16String());
        t.demo().setMyStatus(status);
        QVERIFY(t.load());
        t.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.window()));
        // What the window system is given, after Qt's own title processing.
        QCOMPARE(t.window().windowHandle()->title(), caption);
    }

    void caretFollowsEveryChange() {
        TestWindow t;
        QVERIFY(t.load());
        t.log().setCaretPosition(0);  // the user clicks at the top
        t.window().logEvent(QStringLiteral("a@b"), QStringLiteral("Opened window"));
        QCOMPARE(t.log().caretPosition(), t.logText().size());
        t.log().selectAll();
        t.window().logEvent(QStringLiteral("a@b"), QStringLiteral("Closed window"));
        QCOMPARE(t.log().caretPosition(), t.logText().size());
        QVERIFY(!t.log().hasSelection());
        t.choose("mnuClearLog");
        QCOMPARE(t.logText(), QString());
        QCOMPARE(t.log().caretPosition(), qsizetype(0));
        t.window().logEvent(QStringLiteral("a@b"), QStringLiteral("Opened window"));
        QCOMPARE(t.logText(), QStringLiteral("[3:04:05 PM] <a@b> Opened Window"));
    }

    // Exit ends the program at once, attached; closing the window detaches
    // and ends the program, even with a failure report up, which goes too.
    void exitAndClose() {
        TestWindow t(true);
        QVERIFY(t.load());
        t.window().show();
        t.choose("mnuExit");
        QCOMPARE(t.exitRequests(), 1);
        QCOMPARE(t.demo().subscriberCount(), std::size_t(1));
        t.faults().crash();
        t.choose("mnuAway");
        QTRY_VERIFY(t.errors().reportWindow() && t.errors().reportWindow()->isVisible());
        QTimer::singleShot(0, &t.window(), [&t] { t.window().close(); });
        QTimer leftRunning;
        leftRunning.callOnTimeout([] { QApplication::exit(1); });
        leftRunning.start(5000);
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(t.demo().subscriberCount(), std::size_t(0));
        QCOMPARE(t.exitRequests(), 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
