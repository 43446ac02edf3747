#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include "log_view.h"

using eventlog::LogView;

class TestLogView : public QObject {
    Q_OBJECT

private slots:
    void appendIntoEmptyLogHasNoLineBreak() {
        LogView view;
        view.appendLine(QStringLiteral("one"));
        QCOMPARE(view.logText(), QStringLiteral("one"));
        QCOMPARE(view.lineCount(), 1);
    }

    void linesAreSeparatedByCrLfWithNoneAfterTheLast() {
        LogView view;
        view.setLogText(QStringLiteral("start"));
        view.appendLine(QStringLiteral("two"));
        view.appendLine(QStringLiteral("three"));
        QCOMPARE(view.logText(), QStringLiteral("start\r\ntwo\r\nthree"));
        QCOMPARE(view.logLength(), view.logText().size());
    }

    void setLogTextReplacesEverything() {
        LogView view;
        view.appendLine(QStringLiteral("old"));
        view.setLogText(QStringLiteral("new"));
        QCOMPARE(view.logText(), QStringLiteral("new"));
    }

    void afterClearTheNextLineIsFirst() {
        LogView view;
        view.appendLine(QStringLiteral("a"));
        view.appendLine(QStringLiteral("b"));
        view.clearLog();
        QCOMPARE(view.logText(), QString());
        QCOMPARE(view.lineCount(), 0);
        view.appendLine(QStringLiteral("c"));
        QCOMPARE(view.logText(), QStringLiteral("c"));
    }

    // Appending touches only the end: the text already there is neither
    // copied nor moved, whatever the log's length.
    void appendDoesNotRewriteTheLog() {
        LogView view;
        view.appendLine(QStringLiteral("first"));
        const QChar* firstLine = view.lines().line(0).data();
        QSignalSpy changes(&view, &LogView::textChanged);
        for (int i = 0; i < 100'000; ++i) {
            view.appendLine(QStringLiteral("line %1").arg(i));
        }
        QCOMPARE(view.lines().line(0).data(), firstLine);
        QCOMPARE(view.lines().line(0), QStringView(u"first"));
        QCOMPARE(changes.size(), 100'000);
    }

    void emptyLinesAndEmptyLogRoundTrip() {
        LogView view;
        view.setLogText(QStringLiteral("a\r\n\r\nb"));
        QCOMPARE(view.lineCount(), 3);
        QCOMPARE(view.logText(), QStringLiteral("a\r\n\r\nb"));
    }

    void caretIsCountedInLogTextUnits() {
        LogView view;
        view.setLogText(QStringLiteral("ab\r\ncd"));
        view.moveCaretToEnd();
        QCOMPARE(view.caretPosition(), qsizetype(6));
        QVERIFY(!view.hasSelection());
    }

    // At capacity the oldest line makes room: memory stays bounded and the
    // newest line is never lost.
    void atCapacityTheOldestLineGoes() {
        LogView view;
        view.setCapacity(3);
        for (int i = 1; i <= 5; ++i) {
            view.appendLine(QString::number(i));
        }
        QCOMPARE(view.logText(), QStringLiteral("3\r\n4\r\n5"));
        QCOMPARE(view.lineCount(), 3);
    }

    void theUserCannotEditButCanSelect() {
        LogView view;
        view.setLogText(QStringLiteral("kept\r\ntoo"));
        QVERIFY(view.isReadOnly());
        view.show();
        view.setFocus();
        QTest::keyClicks(&view, QStringLiteral("typed"));
        QTest::keyClick(&view, Qt::Key_Backspace);
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(view.logText(), QStringLiteral("kept\r\ntoo"));
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view.selectedText(), QStringLiteral("kept\r\ntoo"));
    }

    void mouseSelectionAndCopy() {
        LogView view;
        view.resize(400, 120);
        view.setLogText(QStringLiteral("first line\r\nsecond line\r\nthird"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QWidget* area = view.viewport();
        QTest::mousePress(area, Qt::LeftButton, {}, QPoint(2, 8));
        QTest::mouseMove(area, QPoint(area->width() - 2, area->height() - 4));
        QTest::mouseRelease(area, Qt::LeftButton, {},
                            QPoint(area->width() - 2, area->height() - 4));
        QVERIFY(view.hasSelection());
        QCOMPARE(view.selectedText(), view.logText());
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("first line\nsecond line\nthird"));
    }

    void longLinesAreKeptWhole() {
        LogView view;
        const QString huge(1'000'000, u'x');
        view.appendLine(huge);
        view.appendLine(QStringLiteral("after"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.repaint();
        QCOMPARE(view.logText(), huge + QStringLiteral("\r\nafter"));
    }

    void newLinesBringTheEndBackIntoView() {
        LogView view;
        view.resize(300, 60);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (int i = 0; i < 50; ++i) {
            view.appendLine(QString::number(i));
        }
        view.moveCaretToEnd();
        QTRY_VERIFY(view.topLine() > 40);
        QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
        QTRY_COMPARE(view.topLine(), qsizetype(0));
        view.appendLine(QStringLiteral("newest"));
        view.moveCaretToEnd();
        QTRY_VERIFY(view.topLine() > 40);
    }

    void fontIsArialNinePoint() {
        LogView view;
        QCOMPARE(view.font().family(), QStringLiteral("Arial"));
        QCOMPARE(view.font().pointSize(), 9);
        QCOMPARE(view.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
};

QTEST_MAIN(TestLogView)
#include "tst_log_view.moc"
