#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QWindow>

#include "test_window.h"

using messenger::demo::Call;
Q_DECLARE_METATYPE(messenger::demo::Call)
using testing::TestWindow;

namespace {
const QString kStartLine =
    QStringLiteral("Quavel Wardel Loaded for Sam.Rivers@example.com on 12/6/26");
}

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void startUpShowsCaptionAndStartLine() {
        TestWindow t;
        QVERIFY(t.load());
        QCOMPARE(t.caption(), QStringLiteral("Sam (Online) - Quavel Logger"));
        QCOMPARE(t.logText(), kStartLine);
        QCOMPARE(t.log().caretPosition(), t.logText().size());
        QVERIFY(t.window().isAttached());
        QCOMPARE(t.demo().subscriberCount(), std::size_t(1));
    }

    void startUpAsksTheClientInOrder() {
        TestWindow t;
        t.demo().faults().recordCalls();
        QVERIFY(t.load());
        const std::vector<Call> expected{Call::Attach, Call::MyFriendlyName, Call::MyStatus,
                                         Call::MySigninName};
        QVERIFY(t.demo().faults().recordedCalls() == expected);
    }

    void startUpLineKeepsTheClientsCaseAndReplacesTheText() {
        TestWindow t;
        t.demo().setMySigninName(QStringLiteral("MiXeD@Case.COM").toStdU16String());
        t.log().setLogText(QStringLiteral("left over"));
        QVERIFY(t.load());
        QCOMPARE(t.logText(), QStringLiteral("Quavel Wardel Loaded for MiXeD@Case.COM on 12/6/26"));
    }

    void startUpFailures_data() {
        QTest::addColumn<Call>("failing");
        QTest::newRow("attaching") << Call::Attach;
        QTest::newRow("friendly name") << Call::MyFriendlyName;
        QTest::newRow("status") << Call::MyStatus;
        QTest::newRow("sign-in name") << Call::MySigninName;
    }
    void startUpFailures() {
        QFETCH(Call, failing);
        TestWindow t;
        t.demo().faults().failCall(failing, static_cast<std::int32_t>(0x8000FFFF),
                                   u"Catastrophic failure");
        QVERIFY(!t.load());
        QCOMPARE(t.errors().errorCount(), 1);
        QCOMPARE(t.errorLines(),
                 QStringList{QStringLiteral(
                     "Quavel Logger: Error 0x8000FFFF (-2147418113): Catastrophic failure")});
        QVERIFY(!t.window().isVisible());
        QVERIFY(!t.logText().startsWith(QStringLiteral("Quavel Wardel")));
    }

    void statusOutside16BitsFailsStartUp() {
        TestWindow t;
        t.demo().setMyStatus(70000);
        QVERIFY(!t.load());
        QVERIFY2(t.errorLines().value(0).contains(QStringLiteral("0x8002000A")),
                 qPrintable(t.errorLines().value(0)));
    }

    void caption_data() {
        QTest::addColumn<QString>("friendlyName");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("caption");
        QTest::newRow("away") << QStringLiteral("Sunny") << 34
                              << QStringLiteral("Sunny (Away) - Quavel Logger");
        QTest::newRow("appear offline") << QStringLiteral("Sunny") << 6
                                        << QStringLiteral("Sunny (Appear Offline) - Quavel Logger");
        QTest::newRow("unknown status") << QStringLiteral("Sunny") << 7
                                        << QStringLiteral("Sunny (Unkown/Error7) - Quavel Logger");
        QTest::newRow("empty name")
            << QString() << 2 << QStringLiteral(" (Online) - Quavel Logger");
        QTest::newRow("parentheses and dash")
            << QStringLiteral("Me (really) - Quavel Logger") << 10
            << QStringLiteral("Me (really) - Quavel Logger (Busy) - Quavel Logger");
        QTest::newRow("capitals kept")
            << QStringLiteral("hAPPY") << 2 << QStringLiteral("hAPPY (Online) - Quavel Logger");
        QTest::newRow("line break made a space")
            << QStringLiteral("two\nlines") << 2
            << QStringLiteral("two lines (Online) - Quavel Logger");
        QTest::newRow("title placeholder shown as typed")
            << QStringLiteral("star [*]") << 2
            << QStringLiteral("star [*] (Online) - Quavel Logger");
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

    void menuTree() {
        TestWindow t;
        QStringList shown;
        std::function<void(QMenu*, const QString&)> walk = [&](QMenu* menu, const QString& path) {
            for (QAction* action : menu->actions()) {
                QVERIFY(action->isEnabled());
                QVERIFY(action->isVisible());
                QVERIFY(!action->isCheckable());
                QVERIFY(action->shortcut().isEmpty());
                const QString name = action->isSeparator() ? QStringLiteral("-") : action->text();
                QVERIFY2(!name.contains(u'&'), qPrintable(name));
                shown << path + name;
                if (action->menu()) {
                    walk(action->menu(), path + name + u'/');
                }
            }
        };
        for (QAction* top : t.window().menuBar()->actions()) {
            shown << top->text();
            walk(top->menu(), top->text() + u'/');
        }
        const QStringList expected{
            QStringLiteral("File"),
            QStringLiteral("File/Change Status"),
            QStringLiteral("File/Change Status/Online"),
            QStringLiteral("File/Change Status/Busy"),
            QStringLiteral("File/Change Status/Be Right Back"),
            QStringLiteral("File/Change Status/Away"),
            QStringLiteral("File/Change Status/On The Phone"),
            QStringLiteral("File/Change Status/Out To Lunch"),
            QStringLiteral("File/Change Status/Offline"),
            QStringLiteral("File/Clear Log"),
            QStringLiteral("File/-"),
            QStringLiteral("File/Exit"),
            QStringLiteral("Help"),
        };
        QCOMPARE(shown.mid(0, expected.size()), expected);
    }

    void windowIsFixedAndTheLogFillsIt() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.window()));
        const qreal scale = t.window().logicalDpiY() / 96.0;
        const QSize logSize(qRound(537 * scale), qRound(73 * scale));
        QCOMPARE(t.log().size(), logSize);
        QCOMPARE(t.window().minimumSize(), t.window().maximumSize());
        QCOMPARE(t.window().width(), logSize.width());
        QCOMPARE(t.window().height(), t.window().menuBar()->height() + logSize.height());
        const Qt::WindowFlags flags = t.window().windowFlags();
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
    }

    void caretFollowsEveryChange() {
        TestWindow t;
        QVERIFY(t.load());
        QCOMPARE(t.log().caretPosition(), t.log().logLength());
        t.log().setCaretPosition(0);  // the user clicks at the top
        t.window().LogEvent(QStringLiteral("a@b"), QStringLiteral("Opened window"));
        QCOMPARE(t.log().caretPosition(), t.logText().size());
        QVERIFY(!t.log().hasSelection());
        t.log().selectAll();
        t.window().LogEvent(QStringLiteral("a@b"), QStringLiteral("Closed window"));
        QCOMPARE(t.log().caretPosition(), t.logText().size());
        QVERIFY(!t.log().hasSelection());
        t.choose(QStringLiteral("mnuClearLog"));
        QCOMPARE(t.log().caretPosition(), qsizetype(0));
    }

    void logEventUsesTheClockAndLocale() {
        TestWindow t;
        QVERIFY(t.load());
        t.clock().set(QDateTime(QDate(2026, 12, 6), QTime(9, 8, 7)));
        t.window().LogEvent(QStringLiteral("Bob@X.com"), QStringLiteral("Opened window"));
        QCOMPARE(
            t.logLines(),
            (QStringList{kStartLine, QStringLiteral("[9:08:07 AM] <bob@x.com> Opened Window")}));
    }

    void clearLogThenNextLineIsFirst() {
        TestWindow t;
        QVERIFY(t.load());
        t.choose(QStringLiteral("mnuClearLog"));
        QCOMPARE(t.logText(), QString());
        t.window().LogEvent(QStringLiteral("a@b"), QStringLiteral("Opened window"));
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
        t.choose(QStringLiteral("mnuExit"));
        QCOMPARE(t.exitRequests(), 1);
        QVERIFY(t.window().isAttached());
        QCOMPARE(t.demo().subscriberCount(), std::size_t(1));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
