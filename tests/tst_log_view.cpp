#include <QAccessible>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include <algorithm>

#include "eventlog/log_line.h"
#include "eventlog/log_view.h"

using eventlog::LogView;
using namespace Qt::StringLiterals;

namespace {

const QStringList kLines = {
    u"[3:04:05 PM] <sam.rivers@example.com> Changed Status To: Away"_s,
    u"[3:04:06 PM] <al@x.org> Opened Window"_s,
    u"[3:04:07 PM] <bo@x.org> Changed Name To: Bo (out of the office until Monday, ask Al)"_s,
    u"[3:04:08 PM] <al@x.org> Closed Window"_s,
    u"[3:04:09 PM] <cy@x.org> Changed Status To: Busy"_s,
    u"[3:04:10 PM] <cy@x.org> Changed Status To: Online"_s,
    u"[3:04:11 PM] <di@x.org> Opened Window"_s,
    u"[3:04:12 PM] <di@x.org> Changed Status To: On The Phone"_s,
    u"[3:04:13 PM] <ed@x.org> Changed Status To: Out To Lunch"_s,
    u"[3:04:14 PM] <di@x.org> Closed Window"_s,
    u"[3:04:15 PM] <ed@x.org> Changed Status To: Be Right Back"_s,
    u"[3:04:16 PM] <fay@x.org> Opened Window"_s,
};

// Sends one step to a text box: a key ("Shift+End"), or the mouse at line
// L, column C of the text ("click L C", "shift-click"; "press", "double"
// and "triple" leaving the button down, "drag" with it down, "up").
void sendStep(QAbstractScrollArea& box, const QString& step, QPoint point) {
    QWidget* area = box.viewport();
    const QString what = step.section(u' ', 0, 0);
    if (what == u"press") {
        QTest::mousePress(area, Qt::LeftButton, {}, point);
    } else if (what == u"click" || what == u"shift-click") {
        const Qt::KeyboardModifiers shift = what == u"click" ? Qt::NoModifier : Qt::ShiftModifier;
        QTest::mousePress(area, Qt::LeftButton, shift, point);
        QTest::mouseRelease(area, Qt::LeftButton, shift, point);
    } else if (what == u"double" || what == u"triple") {
        QTest::mousePress(area, Qt::LeftButton, {}, point);
        QTest::mouseRelease(area, Qt::LeftButton, {}, point);
        QTest::mousePress(area, Qt::LeftButton, {}, point);
        QTest::mouseDClick(area, Qt::LeftButton, {}, point);
        if (what == u"triple") {
            QTest::mouseRelease(area, Qt::LeftButton, {}, point);
            QTest::mousePress(area, Qt::LeftButton, {}, point);
        }
    } else if (what == u"drag") {
        // Qt's box scrolls a drag held past its edge to where the pointer is.
        QCursor::setPos(area->mapToGlobal(point));
        QTest::mouseMove(area, point);
    } else if (what == u"up") {
        QTest::mouseRelease(area, Qt::LeftButton, {}, point);
    } else {
        const QKeyCombination key = QKeySequence::fromString(step)[0];
        QTest::keyClick(&box, key.key(), key.keyboardModifiers());
    }
}

// Whether accessibility events are raised: only with Qt's AT-SPI bridge on
// (tests/a11y/bridge_on.sh), which comes on soon after start.
bool bridgeOn() {
    const bool on = QGuiApplication::platformName() != u"offscreen"_s &&
                    QTest::qWaitFor([] { return QAccessible::isActive(); }, 5000);
    if (!on && qgetenv("QUAVEL_BRIDGE_ON") == "1") {
        qFatal("the accessibility bridge did not come on");
    }
    return on;
}

// An accessibility event as a reader gets it.
struct Heard {
    QAccessible::Event type;
    int position = -1;
    QString text;
    explicit Heard(QAccessibleEvent* event) : type(event->type()) {
        if (type == QAccessible::TextInserted) {
            const auto* inserted = static_cast<QAccessibleTextInsertEvent*>(event);
            position = inserted->changePosition();
            text = inserted->textInserted();
        } else if (type == QAccessible::TextRemoved) {
            const auto* removed = static_cast<QAccessibleTextRemoveEvent*>(event);
            position = removed->changePosition();
            text = removed->textRemoved();
        }
    }
};

}  // namespace

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

    void theUserCannotEditButCanCopy() {
        LogView view;
        view.setLogText(QStringLiteral("first line\r\nsecond line\r\nthird"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::keyClicks(&view, QStringLiteral("typed"));
        QTest::keyClick(&view, Qt::Key_Backspace);
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(view.logText(), QStringLiteral("first line\r\nsecond line\r\nthird"));
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        // The platform's own line breaks.
#ifdef Q_OS_WIN
        QCOMPARE(QGuiApplication::clipboard()->text(), view.logText());
#else
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("first line\nsecond line\nthird"));
#endif
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
        // A selection made by a reader is the user's: the primary selection
        // follows, and the reader hears of it.
        const bool heard = bridgeOn();
        static int selectionEvents = 0;
        QAccessible::installUpdateHandler(
            [](QAccessibleEvent* event) { selectionEvents += event->type() == QAccessible::TextSelectionChanged; });
        text->setSelection(0, 0, 3);
        QAccessible::installUpdateHandler(nullptr);
        QCOMPARE(view.selectedText(), u"one"_s);
        QCOMPARE(selectionEvents, heard ? 1 : 0);
        if (QGuiApplication::clipboard()->supportsSelection()) {
            QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Selection), u"one"_s);
        }
    }

    // Assistive technology hears of each burst once, whatever its size: one
    // insertion with the burst's newest text where it stands, one caret
    // move, one removal where the oldest lines made room; Clear Log is heard
    // as a removal; no event carries more than kAnnouncedText characters.
    void accessibilityHearsEachBurstOnce_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<bool>("clear");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("removals");
        QTest::newRow("a burst") << 10 << false << 100 << 0;
        QTest::newRow("a burst at capacity") << 1000 << false << 500 << 1;
        QTest::newRow("a burst past capacity") << 1000 << false << 3000 << 1;
        QTest::newRow("Clear Log, then lines") << 1000 << true << 5 << 1;
    }
    void accessibilityHearsEachBurstOnce() {
        QFETCH(int, before);
        QFETCH(bool, clear);
        QFETCH(int, added);
        QFETCH(int, removals);
        static QList<Heard> heard;
        heard.clear();
        QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
            if (qobject_cast<LogView*>(event->object())) {
                heard << Heard(event);
            }
        });
        if (!bridgeOn()) {
            QSKIP("no accessibility here: tests/a11y/bridge_on.sh runs this");
        }
        LogView view;
        view.setCapacity(1000);
        connect(&view, &LogView::textChanged, &view, &LogView::moveCaretToEnd);
        const auto addLines = [&](int count) {
            for (int i = 0; i < count; ++i) {
                view.appendLine(kLines[i % kLines.size()]);
            }
        };
        addLines(before);
        QTRY_VERIFY(!heard.isEmpty() && heard.last().type == QAccessible::TextCaretMoved);
        heard.clear();
        if (clear) {
            view.clearLog();
        }
        addLines(added);
        QTRY_VERIFY(!heard.isEmpty() && heard.last().type == QAccessible::TextCaretMoved);
        QAccessible::installUpdateHandler(nullptr);
        const auto count = [](QAccessible::Event type) {
            return std::count_if(heard.begin(), heard.end(), [type](const Heard& h) { return h.type == type; });
        };
        // Nor does the Value, which a text has not, build the whole log.
        QVERIFY(QAccessible::queryAccessibleInterface(&view)->text(QAccessible::Value).size() <=
                LogView::kAnnouncedText);
        QCOMPARE(count(QAccessible::TextInserted), 1);
        QCOMPARE(count(QAccessible::TextCaretMoved), 1);
        QCOMPARE(count(QAccessible::TextRemoved), removals);
        for (const Heard& h : heard) {
            QVERIFY(h.text.size() <= LogView::kAnnouncedText);
            QVERIFY(h.type != QAccessible::TextRemoved || (h.position == 0 && !h.text.isEmpty()));
            if (h.type == QAccessible::TextInserted) {
                QCOMPARE(view.logText().mid(h.position), h.text);
                QVERIFY(h.text.endsWith(kLines[(added - 1) % kLines.size()]));
            }
        }
    }

    // The caret and selection answer keys and clicks as in Qt's own
    // read-only plain text box, one that lets the keyboard move its caret as
    // a read-only box on Windows does: the same text and the same steps to
    // both leave the same selection, caret and top line. The rows keep clear
    // of where the log view differs to keep the newest line in sight while
    // lines arrive: no line arrives here (in the window each one puts the
    // caret at the end, dropping the selection), and Qt's box is never left
    // scrolled to the middle of a wrapped line (the log view scrolls by whole
    // lines, so its scroll bar needs no lines laid out out of sight).
    void asQtsOwnTextBox_data() {
        QTest::addColumn<QString>("steps");
        QTest::newRow("shift+arrows") << u"click 0 13, Shift+Right, Shift+Right, Shift+Down, Shift+Left"_s;
        QTest::newRow("arrows cross line breaks") << u"click 0 2, End, Right, Right, Shift+Left, Shift+Left"_s;
        QTest::newRow("arrow drops the selection") << u"click 1 5, Shift+Right, Shift+Right, Left"_s;
        QTest::newRow("home and end of a row") << u"click 2 50, Shift+End, Shift+Home, End, Shift+Home"_s;
        QTest::newRow("words") << u"click 0 0, Ctrl+Right, Ctrl+Right, Ctrl+Shift+Right, Ctrl+Shift+Right"_s;
        QTest::newRow("words back over a break") << u"click 2 1, Ctrl+Shift+Left, Ctrl+Shift+Left, Ctrl+Shift+Left"_s;
        QTest::newRow("up and down keep x") << u"click 0 50, Down, Down, Down, Shift+Up, Shift+Up"_s;
        QTest::newRow("down scrolls") << u"click 6 9, Down, Down, Down, Shift+Down"_s;
        QTest::newRow("up from the first row") << u"click 0 9, Shift+Up, Up, Down"_s;
        QTest::newRow("down from the last row") << u"click 11 9, Shift+Down, Shift+Down"_s;
        QTest::newRow("document") << u"click 3 4, Ctrl+Shift+End, Ctrl+Shift+Home"_s;
        QTest::newRow("pages down") << u"click 0 20, PgDown, Shift+PgDown"_s;
        QTest::newRow("pages up") << u"Ctrl+End, PgUp, Shift+PgUp"_s;
        QTest::newRow("drag") << u"press 0 5, drag 2 20, drag 1 3, up"_s;
        QTest::newRow("double-click") << u"double 0 19, up"_s;
        QTest::newRow("double-click, drag") << u"double 0 19, drag 1 2, drag 0 50, up"_s;
        QTest::newRow("double-click, shift-click") << u"double 2 45, up, shift-click 2 60"_s;
        QTest::newRow("triple-click, drag") << u"triple 1 5, drag 3 2, drag 0 2, up"_s;
        QTest::newRow("click, shift-click") << u"click 1 5, shift-click 3 8"_s;
        QTest::newRow("drag held below") << u"press 0 5, drag 2 20, drag below, hold, up"_s;
        QTest::newRow("drag held above") << u"Ctrl+End, press 11 5, drag above, hold, up"_s;
    }
    void asQtsOwnTextBox() {
        QFETCH(QString, steps);
        LogView view;
        view.setLogText(kLines.join(u"\r\n"));
        QPlainTextEdit box(kLines.join(u'\n'));
        box.setReadOnly(true);
        box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        box.setFont(view.font());
        box.setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        box.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        for (QAbstractScrollArea* area :
             {static_cast<QAbstractScrollArea*>(&view), static_cast<QAbstractScrollArea*>(&box)}) {
            area->resize(420, 110);
            area->show();
            QVERIFY(QTest::qWaitForWindowExposed(area));
        }
        QCOMPARE(view.viewport()->size(), box.viewport()->size());
        // Qt's box starts at the top, the log view at its newest line.
        QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
        QPoint point;
        for (const QString& step : steps.split(u", "_s)) {
            if (step.count(u' ') == 2) {
                QTextCursor at(box.document()->findBlockByNumber(step.section(u' ', 1, 1).toInt()));
                at.movePosition(QTextCursor::NextCharacter, QTextCursor::MoveAnchor, step.section(u' ', 2).toInt());
                const QRect caret = box.cursorRect(at);
                point = QPoint(caret.left(), caret.center().y());
            } else if (step.startsWith(u"drag ")) {
                point.setY(step.endsWith(u"below") ? box.viewport()->height() + 20 : -20);
            } else if (step == u"hold") {
                // Until both have scrolled as far as they go.
                const bool down = point.y() > 0;
                const auto atEnd = [down](QAbstractScrollArea& area) {
                    const QScrollBar* bar = area.verticalScrollBar();
                    return bar->value() == (down ? bar->maximum() : bar->minimum());
                };
                QTRY_VERIFY(atEnd(view) && atEnd(box));
                continue;
            }
            sendStep(view, step, point);
            sendStep(box, step, point);
        }
        auto inLog = [&](int position) {
            const QTextBlock block = box.document()->findBlock(position);
            return view.lines().lineStart(block.blockNumber()) + position - block.position();
        };
        const QTextCursor cursor = box.textCursor();
        QCOMPARE(QList<qsizetype>({view.anchorPosition(), view.caretPosition(), view.topLine()}),
                 QList<qsizetype>({inLog(cursor.anchor()), inLog(cursor.position()),
                                   box.cursorForPosition(QPoint()).blockNumber()}));
    }

    // Every line reads left to right, its time of day first, in any locale;
    // a right-to-left name reads right to left within it; the text is kept
    // as written, nothing added.
    void linesReadLeftToRight() {
        const QString line = eventlog::LogLineFormat(QLocale(QLocale::Arabic, QLocale::Egypt))
                                 .compose(QTime(15, 4, 5), u"דנה@example.co.il"_s, u"Changed name to: שרה כהן"_s);
        LogView view;
        view.resize(500, 60);
        view.setLogText(line);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const qsizetype timeEnd = line.indexOf(u"] <"), nameEnd = line.indexOf(u"> ");
        QList<int> left;
        for (qsizetype position :
             {0, 1, int(timeEnd), int(timeEnd) + 2, int(timeEnd) + 3, int(nameEnd), int(nameEnd) + 2}) {
            left << view.cursorRect(position).x();
        }
        QVERIFY2(std::is_sorted(left.begin(), left.end()) && left.front() < left.back(), qPrintable(line));
        QVERIFY(view.cursorRect(timeEnd + 4).x() > view.cursorRect(nameEnd - 1).x());
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), line);
    }

    // At capacity the oldest lines make room: the caret, the selection and
    // the view keep to their text as it moves up, and a selection whose text
    // went is gone. Lines "line 0".."line 5", 8 positions apart, line 2 at
    // the top; then lines are added or the capacity lowered.
    void placesKeepToTheirTextAtCapacity_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("top");
        QTest::newRow("kept") << 25 << 35 << 2 << 6 << u"ine 3\r\nlin"_s << 19 << 0;
        QTest::newRow("kept, backwards") << 35 << 25 << 1 << 6 << u"ine 3\r\nlin"_s << 17 << 1;
        QTest::newRow("partly dropped") << 10 << 20 << 2 << 6 << u"line"_s << 4 << 0;
        QTest::newRow("wholly dropped") << 1 << 4 << 1 << 6 << QString() << 0 << 1;
        QTest::newRow("capacity lowered") << 33 << 37 << 0 << 3 << u"ine "_s << 13 << 0;
    }
    void placesKeepToTheirTextAtCapacity() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, added);
        QFETCH(int, capacity);
        QFETCH(QString, selected);
        LogView view;
        view.setCapacity(6);
        for (int i = 0; i < 6; ++i) {
            view.appendLine(u"line %1"_s.arg(i));
        }
        view.resize(200, 2 * view.fontMetrics().lineSpacing() + 20);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY(view.verticalScrollBar()->maximum() > 2);
        view.verticalScrollBar()->setValue(2);
        view.select(from, to);
        for (int i = 0; i < added; ++i) {
            view.appendLine(u"added"_s);
        }
        view.setCapacity(capacity);
        QCOMPARE(view.selectedText(), selected);
        QFETCH(int, caret);
        QCOMPARE(view.caretPosition(), qsizetype(caret));
        QTEST(int(view.topLine()), "top");
    }

    // A line cut short is stepped through as shown, its hidden rest one
    // step, so that a key on a huge line costs what is in sight.
    void cutLinesStepAsShown_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("to");
        const int cut = int(eventlog::LineLayout::kLongestShownLine);
        QTest::newRow("right, shown") << cut - 1 << u"Right"_s << cut;
        QTest::newRow("right, into the rest") << cut << u"Right"_s << 5000;
        QTest::newRow("left, out of it") << 5000 << u"Left"_s << cut;
        QTest::newRow("left, inside it") << 4500 << u"Left"_s << cut;
        QTest::newRow("word right, inside it") << 4500 << u"Ctrl+Right"_s << 5000;
        QTest::newRow("word left, out of it") << 5000 << u"Ctrl+Left"_s << cut;
    }
    void cutLinesStepAsShown() {
        QFETCH(int, from);
        QFETCH(QString, key);
        LogView view;
        view.setLogText(u"word "_s.repeated(1000) + u"\r\nafter"_s);
        view.setCaretPosition(from);
        sendStep(view, key, QPoint());
        QTEST(int(view.caretPosition()), "to");
    }

    // Shown cut short, a huge line is kept whole: copied, it comes back whole.
    void longLinesAreKeptWhole() {
        LogView view;
        const QString huge(1'000'000, u'x');
        view.appendLine(huge);
        view.appendLine(QStringLiteral("after"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.selectAll();
        view.copy();
        QCOMPARE(QGuiApplication::clipboard()->text().remove(u'\r'), huge + u"\nafter"_s);
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
