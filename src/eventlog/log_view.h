#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPointF>
#include <QString>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "eventlog/line_layout.h"
#include "eventlog/line_store.h"

namespace eventlog {

// The text box that holds the log: read-only for the user, who can select
// and copy. The log text is its lines joined by CR LF, with no break after
// the last.
//
// Lines are kept compactly (LineStore) and only those in sight are laid out
// and drawn, so adding a line costs the same however long the log, and a
// burst of lines costs one repaint. The box holds at most as many lines as
// its store (or setCapacity) allows; past that the oldest line goes for each
// new one, so memory stays bounded and the newest line is always kept. The
// caret, the selection and the view keep to their text as it moves up.
//
// Assistive technology hears of the lines added once per burst, as painting
// catches up: one insertion, one caret move, no event carrying more than
// kAnnouncedText characters.
//
// The caret and the selection answer the keyboard and the mouse as Qt's
// own read-only plain text box does when it lets the keyboard move its
// caret: arrows, Home/End, Ctrl+Home/End, PageUp/PageDown and Ctrl+arrows
// move the caret, with Shift they select; a double-click takes a word, a
// triple-click a line, and dragging on from either goes by that unit; the
// X11 primary selection follows the selection. Where it differs, it is to
// keep the newest line in sight cheaply while lines arrive: it scrolls by
// whole log lines, so that the scroll bar counts lines and needs none laid
// out out of sight (a line taller than the view shows from its start); and
// placing the caret from outside, as the window does for every new line,
// ends a drag rather than let it go on from the new place. A drag always
// selects: selected text is not dragged out of the log.
class LogView : public QAbstractScrollArea {
    Q_OBJECT

public:
    // The most text one accessibility event carries: the newest text of a
    // burst, the start of what was removed. Some 60 lines, minutes of
    // speech, more than a reader speaks before the next burst; the whole
    // log stays readable through the text interface, and an event stays far
    // below what one D-Bus message may hold (128 MiB, a tenth of the log at
    // capacity).
    static constexpr qsizetype kAnnouncedText = 4096;

    explicit LogView(QWidget* parent = nullptr);
    ~LogView() override;

    QString logText() const;
    // Replaces the whole log; CR LF in text separates lines.
    void setLogText(const QString& text);
    // Adds one line at the end (after a CR LF unless the log is empty).
    void appendLine(const QString& line);
    void clearLog() { setLogText(QString()); }

    int lineCount() const { return static_cast<int>(store_.lineCount()); }
    // Keeps at most this many lines, dropping the oldest now if need be.
    void setCapacity(int lines);
    const LineStore& lines() const { return store_; }

    // The caret and selection, in UTF-16 code units of logText().
    qsizetype caretPosition() const { return caret_; }
    qsizetype anchorPosition() const { return anchor_; }
    qsizetype logLength() const { return store_.textLength(); }
    // Puts the caret there with nothing selected, as a click does.
    void setCaretPosition(qsizetype position);
    bool hasSelection() const { return anchor_ != caret_; }
    qsizetype selectionStart() const { return std::min(anchor_, caret_); }
    qsizetype selectionEnd() const { return std::max(anchor_, caret_); }
    // Selects from..to, the caret at to.
    void select(qsizetype from, qsizetype to);
    // Selects as the user's own keys do: the primary selection follows and
    // assistive technology hears of it.
    void selectAsUser(qsizetype from, qsizetype to);
    QString selectedText() const;
    void selectAll();
    void copy() const;
    // Puts the caret after the last character, with nothing selected, and
    // brings it into view.
    void moveCaretToEnd();

    // The first line in sight (for tests and benchmarks).
    qsizetype topLine() const { return topLine_; }
    // Where the caret at position is drawn, in the viewport's coordinates;
    // empty while that line is out of sight.
    QRect cursorRect(qsizetype position);
    // A point in the viewport to a log position, counting lines above and
    // below the view too (for a drag past its edge).
    qsizetype positionAt(QPointF point) const;

signals:
    // Emitted after every change of the log text.
    void textChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // Room between the box's edges and its text, as in Qt's text boxes.
    static constexpr int kMargin = 4;

    struct ShownLine {
        qsizetype index;
        qreal top;
        std::unique_ptr<LineLayout> layout;
    };
    // How the caret moves for a key.
    enum class Step {
        Left,
        Right,
        WordLeft,
        WordRight,
        StartOfRow,
        EndOfRow,
        StartOfLine,
        EndOfLine,
        Start,
        End,
        Up,
        Down
    };
    using Range = std::pair<qsizetype, qsizetype>;

    std::unique_ptr<LineLayout> layoutLine(qsizetype index) const;
    // The line's layout in sight where there is one, else one laid out into
    // spare: a step or a page lays out no line twice.
    const LineLayout& layoutOf(qsizetype index, std::unique_ptr<LineLayout>& spare) const;
    qreal lineHeight(qsizetype index) const;
    int textWidth() const;
    // The first line's top sits a margin below the view's; scrolled, the top
    // line's sits at the view's top.
    qreal topOffset() const;
    // The top line that shows the end of the log.
    qsizetype topLineForEnd() const;
    void setTopLine(qsizetype line);
    void layOutShownLines();
    void scheduleSync();
    void syncScrollBar();
    // After the text was replaced.
    void changed();
    // After lines were added or dropped: places in the dropped text move to
    // its end, the others up by it.
    void linesMoved(qsizetype droppedLines, qsizetype droppedText);
    void redraw();
    // Notes for assistive technology what a change removed and from where
    // the text is new; tellPending() tells it once per burst.
    void noteChange(const QString& dropped, qsizetype droppedText);
    void tellPending();
    // The top of the caret's row in the viewport.
    qreal caretRowTop() const;

    bool stepForKey(QKeyEvent* event);
    void step(Step how, bool select);
    // How far down the caret's row moved; none where the caret did not.
    std::optional<qreal> stepRow(bool down, bool select);
    void stepPage(bool down, bool select);
    void ensureCaretVisible();
    void extendByWords(qsizetype position, qreal x);
    void extendByLines(qsizetype position);
    // Takes the selection on to the point of a drag.
    void dragTo(QPointF point);
    void autoScroll();
    // The caret was placed anew, not by a step or a drag: forgets its x for
    // Up and Down, what a double- or triple-click took, and any drag.
    void caretPlaced();
    // The selection as the X11 primary selection, where there is one.
    void publishSelection() const;
    // Tells assistive technology where the caret and selection went.
    void announceCaret(bool selectionMoved = true);

    LineStore store_;
    qsizetype anchor_ = 0;
    qsizetype caret_ = 0;
    // The x that Up and Down keep to, once taken from the caret.
    std::optional<int> rowX_;
    // Where the caret's row stood in the view when paging began; pages on
    // keep it there.
    std::optional<qreal> pageRowTop_;
    std::optional<Range> clickedWord_;
    std::optional<Range> clickedLine_;
    QBasicTimer tripleClick_;
    // Scrolls while a drag is held past the view's edge.
    QBasicTimer autoScroll_;
    QPointF dragPoint_;
    QPointF doubleClickPoint_;
    bool mousePressed_ = false;
    qsizetype topLine_ = 0;
    bool followEnd_ = true;
    bool syncPending_ = false;
    bool syncing_ = false;
    bool shownLinesValid_ = false;
    // topLineForEnd() until the text or the view's size changes.
    mutable std::optional<qsizetype> endTop_;
    std::vector<ShownLine> shownLines_;
    // What assistive technology has yet to hear.
    struct Pending {
        std::optional<qsizetype> insertedFrom;
        QString removed;
        bool caretMoved = false;
        bool selectionMoved = false;
    } pending_;
};

}  // namespace eventlog
