#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include "eventlog/log_view.h"

using eventlog::LogView;

class TestLogView : public QObject {
    Q_OBJECT

private slots:
    // CR LF between lines, none after the last, none before the first line
    // of an empty or cleared log.
    void lineBreaks() {
        LogView view;
        view.setLogText(QStringLiteral("start\r\n\r\nmiddle"));
        view.appendLine(QStringLiteral("last"));
        QCOMPARE(view.logText(), QStringLiteral("start\r\n\r\nmiddle\r\nlast"));
        view.clearLog();
        view.appendLine(QStringLiteral("first again"));
        QCOMPARE(view.logText(), QStringLiteral("first again"));
    }

    void theUserCannotEditButCanSelectAndCopy() {
        LogView view;
        view.resize(400, 120);
        view.setLogText(QStringLiteral("first line\r\nsecond line\r\nthird"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setFocus();
        QTest::keyClicks(&view, QStringLiteral("typed"));
        QTest::keyClick(&view, Qt::Key_Backspace);
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(view.logText(), QStringLiteral("first line\r\nsecond line\r\nthird"));
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view.selectedText(), view.logText());

        QWidget* area = view.viewport();
        const QPoint end(area->width() - 2, area->height() - 4);
        QTest::mousePress(area, Qt::LeftButton, {}, QPoint(2, 8));
        QVERIFY(!view.hasSelection());
        QTest::mouseMove(area, end);
        QTest::mouseRelease(area, Qt::LeftButton, {}, end);
        QCOMPARE(view.selectedText(), view.logText());
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("first line\nsecond line\nthird"));
    }

    // Screen readers read the log as a read-only text with its selection.
    void accessibleText() {
        LogView view;
        view.setLogText(QStringLiteral("one\r\ntwo"));
        view.select(5, 8);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&view);
        QVERIFY(accessible && accessible->state().readOnly && accessible->state().multiLine);
        QAccessibleTextInterface* text = accessible->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), 8);
        QCOMPARE(text->text(0, 8), QStringLiteral("one\r\ntwo"));
        int from = 0, to = 0;
        text->selection(0, &from, &to);
        QCOMPARE(QPair(from, to), QPair(5, 8));
        text->setCursorPosition(2);
        QCOMPARE(view.caretPosition(), qsizetype(2));
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
};

QTEST_MAIN(TestLogView)
#include "tst_log_view.moc"
