#include <QAction>
#include <QTest>
#include <QWindow>

#include <optional>

#include "support/test_window.h"

using testing::TestWindow;

namespace {
const QString kStartLine = QStringLiteral("Quavel Wardel Loaded for Sam.Rivers@example.com on 12/6/26");
}

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void startUp() {
        TestWindow t;
        t.log().setLogText(QStringLiteral("left over"));
        QVERIFY(t.load());
        QCOMPARE(t.caption(), QStringLiteral("Sam (Online) - Quavel Logger"));
        // The start-up line replaces the text and keeps the client's case.
        QCOMPARE(t.logText(), kStartLine);
        QCOMPARE(t.log().caretPosition(), t.logText().size());
        QCOMPARE(t.demo().subscriberCount(), std::size_t(1));
    }

    void caption_data() {
        QTest::addColumn<QString>("friendlyName");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("caption");
        const struct {
            const char* row;
            const char* name;
            int status;
            const char* caption;
        } rows[] = {
            {"unknown status", "Sunny", 7, "Sunny (Unkown/Error7) - Quavel Logger"},
            {"empty name", "", 2, " (Online) - Quavel Logger"},
            {"parentheses and dash", "Me (really) - Quavel Logger", 10,
             "Me (really) - Quavel Logger (Busy) - Quavel Logger"},
            {"line break made a space", "two\nlines", 2, "two lines (Online) - Quavel Logger"},
            {"title placeholder shown as typed", "star [*]", 2, "star [*] (Online) - Quavel Logger"},
        };
        for (const auto& r : rows) {
            QTest::newRow(r.row) << QString::fromUtf8(r.name) << r.status << QString::fromUtf8(r.caption);
        }
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

    void windowIsFixed() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.window()));
        QCOMPARE(t.window().minimumSize(), t.window().maximumSize());
        QVERIFY(!(t.window().windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
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

    void closingReleasesTheClient() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        QVERIFY(t.window().close());
        QVERIFY(!t.window().isAttached());
        QCOMPARE(t.demo().subscriberCount(), std::size_t(0));
        QCOMPARE(t.exitRequests(), 0);
    }

    void exitEndsAtOnceWithoutUnloading() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        t.choose("mnuExit");
        QCOMPARE(t.exitRequests(), 1);
        QVERIFY(t.window().isAttached());
        QCOMPARE(t.demo().subscriberCount(), std::size_t(1));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
