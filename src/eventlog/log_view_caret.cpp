// How the log view's caret and selection answer the keyboard and the mouse.
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimerEvent>

#include "eventlog/line_steps.h"
#include "eventlog/log_view.h"

namespace eventlog {

void LogView::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::SelectNextPage || event == QKeySequence::MoveToNextPage) {
        stepPage(true, event == QKeySequence::SelectNextPage);
    } else if (event == QKeySequence::SelectPreviousPage ||
               event == QKeySequence::MoveToPreviousPage) {
        stepPage(false, event == QKeySequence::SelectPreviousPage);
    } else if (event == QKeySequence::SelectAll) {
        selectAll();
    } else if (event == QKeySequence::Copy) {
        copy();
        event->accept();
        return;
    } else if (!stepForKey(event)) {
        // Read-only: typing changes nothing, and other keys go on to the window.
        event->ignore();
        return;
    }
    publishSelection();
    announceCaret();
    viewport()->update();
    event->accept();
}

void LogView::announceCaret(bool selectionMoved) {
    if (!QAccessible::isActive()) {
        return;
    }
    // What came before is told first, so that the positions fit the text.
    if (pending_.insertedFrom || !pending_.removed.isEmpty()) {
        tellPending();
    }
    QAccessibleTextCursorEvent moved(this, static_cast<int>(caret_));
    QAccessible::updateAccessibility(&moved);
    if (selectionMoved) {
        QAccessibleTextSelectionEvent selected(this, static_cast<int>(selectionStart()),
                                               static_cast<int>(selectionEnd()));
        QAccessible::updateAccessibility(&selected);
    }
}

bool LogView::stepForKey(QKeyEvent* event) {
    // In the order Qt's text boxes try them: the first that matches wins.
    static constexpr struct {
        QKeySequence::StandardKey key;
        Step step;
        bool select;
    } kKeys[] = {
        {QKeySequence::MoveToNextChar, Step::Right, false},
        {QKeySequence::MoveToPreviousChar, Step::Left, false},
        {QKeySequence::SelectNextChar, Step::Right, true},
        {QKeySequence::SelectPreviousChar, Step::Left, true},
        {QKeySequence::SelectNextWord, Step::WordRight, true},
        {QKeySequence::SelectPreviousWord, Step::WordLeft, true},
        {QKeySequence::SelectStartOfLine, Step::StartOfRow, true},
        {QKeySequence::SelectEndOfLine, Step::EndOfRow, true},
        {QKeySequence::SelectStartOfBlock, Step::StartOfLine, true},
        {QKeySequence::SelectEndOfBlock, Step::EndOfLine, true},
        {QKeySequence::SelectStartOfDocument, Step::Start, true},
        {QKeySequence::SelectEndOfDocument, Step::End, true},
        {QKeySequence::SelectPreviousLine, Step::Up, true},
        {QKeySequence::SelectNextLine, Step::Down, true},
        {QKeySequence::MoveToNextWord, Step::WordRight, false},
        {QKeySequence::MoveToPreviousWord, Step::WordLeft, false},
        {QKeySequence::MoveToEndOfBlock, Step::EndOfLine, false},
        {QKeySequence::MoveToStartOfBlock, Step::StartOfLine, false},
        {QKeySequence::MoveToNextLine, Step::Down, false},
        {QKeySequence::MoveToPreviousLine, Step::Up, false},
        {QKeySequence::MoveToStartOfLine, Step::StartOfRow, false},
        {QKeySequence::MoveToEndOfLine, Step::EndOfRow, false},
        {QKeySequence::MoveToStartOfDocument, Step::Start, false},
        {QKeySequence::MoveToEndOfDocument, Step::End, false},
    };
    for (const auto& key : kKeys) {
        if (event == key.key) {
            Step how = key.step;
            if (key.select && (how == Step::Up || how == Step::Down) && !store_.isEmpty()) {
                // Selecting up from the first row or down from the last
                // takes the rest of the log.
                const qsizetype line = store_.lineAt(caret_);
                const auto layout = layoutLine(line);
                const int row = layout->rowOf(caret_ - store_.lineStart(line));
                if (how == Step::Up && line == 0 && row == 0) {
                    how = Step::Start;
                } else if (how == Step::Down && line == store_.lineCount() - 1 &&
                           row == layout->rowCount() - 1) {
                    how = Step::End;
                }
            }
            step(how, key.select);
            ensureCaretVisible();
            return true;
        }
    }
    return false;
}

void LogView::step(Step how, bool select) {
    if (how == Step::Up || how == Step::Down) {
        stepRow(how == Step::Down, select);
        return;
    }
    if (store_.isEmpty()) {
        return;
    }
    const qsizetype line = store_.lineAt(caret_);
    const qsizetype start = store_.lineStart(line);
    const qsizetype column = caret_ - start;
    const qsizetype length = store_.lineLength(line);
    const auto steps = [&] {
        return LineSteps(store_.linePart(line, 0, LineLayout::kLongestShownLine), length);
    };
    const bool lastLine = line + 1 == store_.lineCount();
    // A step past either end of a line crosses its line break.
    const qsizetype previousEnd = line > 0 ? start - 2 : 0;
    const qsizetype nextStart = lastLine ? caret_ : start + length + 2;
    qsizetype to = caret_;
    switch (how) {
        case Step::Left:
        case Step::Right:
            if (!select && hasSelection()) {
                // An arrow without Shift first drops the selection, at its
                // edge on the arrow's side.
                to = how == Step::Left ? selectionStart() : selectionEnd();
            } else if (how == Step::Left) {
                to = column > 0 ? start + steps().previousCharacter(column) : previousEnd;
            } else {
                to = column < length ? start + steps().nextCharacter(column) : nextStart;
            }
            break;
        case Step::WordLeft:
            to = column > 0 ? start + steps().previousWord(column) : previousEnd;
            break;
        case Step::WordRight:
            to = column < length ? start + steps().nextWord(column) : nextStart;
            break;
        case Step::StartOfRow: {
            const auto layout = layoutLine(line);
            to = start + layout->rowStart(layout->rowOf(column));
            break;
        }
        case Step::EndOfRow: {
            const auto layout = layoutLine(line);
            const int row = layout->rowOf(column);
            const qsizetype rowEnd = layout->rowEnd(row);
            to = start + (rowEnd == layout->rowStart(row) ? length : rowEnd);
            // A row broken after a space ends before it, on that row.
            if (rowEnd > layout->rowStart(row) && row + 1 < layout->rowCount() &&
                store_.linePart(line, rowEnd - 1, rowEnd).front().isSpace()) {
                --to;
            }
            break;
        }
        case Step::StartOfLine: to = start; break;
        case Step::EndOfLine: to = start + length; break;
        case Step::Start: to = 0; break;
        case Step::End: to = logLength(); break;
        case Step::Up:
        case Step::Down: break;
    }
    caret_ = to;
    if (!select) {
        anchor_ = caret_;
    }
    rowX_.reset();
    pageRowTop_.reset();
}

std::optional<qreal> LogView::stepRow(bool down, bool select) {
    if (store_.isEmpty()) {
        return std::nullopt;
    }
    qsizetype line = store_.lineAt(caret_);
    std::unique_ptr<LineLayout> spare;
    const LineLayout* layout = &layoutOf(line, spare);
    const int row = layout->rowOf(caret_ - store_.lineStart(line));
    if (!rowX_) {
        rowX_ = static_cast<int>(layout->xOf(caret_ - store_.lineStart(line)));
    }
    int target = down ? row + 1 : row - 1;
    qreal moved = 0;
    if (target < 0 || target >= layout->rowCount()) {
        if (down ? line + 1 >= store_.lineCount() : line == 0) {
            return std::nullopt;
        }
        const qreal rowTop = layout->rowTop(row);
        const qreal height = layout->height();
        line += down ? 1 : -1;
        layout = &layoutOf(line, spare);
        target = down ? 0 : layout->rowCount() - 1;
        moved = down ? height - rowTop : -rowTop - layout->height() + layout->rowTop(target);
    } else {
        moved = layout->rowTop(target) - layout->rowTop(row);
    }
    const qsizetype from = caret_;
    caret_ = store_.lineStart(line) + layout->columnAt(target, *rowX_);
    if (!select) {
        anchor_ = caret_;
    }
    return caret_ != from ? std::optional<qreal>(moved) : std::nullopt;
}

qreal LogView::caretRowTop() const {
    const qsizetype line = store_.lineAt(caret_);
    qreal y = topOffset();
    for (qsizetype i = topLine_; i < line; ++i) {
        y += lineHeight(i);
    }
    for (qsizetype i = line; i < topLine_; ++i) {
        y -= lineHeight(i);
    }
    std::unique_ptr<LineLayout> spare;
    const LineLayout& layout = layoutOf(line, spare);
    return y + layout.rowTop(layout.rowOf(caret_ - store_.lineStart(line)));
}

void LogView::ensureCaretVisible() {
    if (store_.isEmpty()) {
        return;
    }
    const qsizetype line = store_.lineAt(caret_);
    if (line < topLine_) {
        setTopLine(line);
        return;
    }
    const qreal height = viewport()->height();
    qreal lineTop = topOffset();
    for (qsizetype i = topLine_; i < line && lineTop < height; ++i) {
        lineTop += lineHeight(i);
    }
    const auto layout = layoutLine(line);
    const qreal rowBottom = layout->rowBottom(layout->rowOf(caret_ - store_.lineStart(line)));
    if (lineTop + rowBottom < height) {
        return;
    }
    // Past the bottom: as many lines above the caret's row as fit with it.
    qreal used = rowBottom;
    qsizetype top = line;
    while (used < height && top > 0) {
        --top;
        used += lineHeight(top);
    }
    if (used + (top == 0 ? kMargin : 0) > height && top < line) {
        ++top;
    }
    setTopLine(top);
}

void LogView::stepPage(bool down, bool select) {
    ensureCaretVisible();
    if (store_.isEmpty()) {
        return;
    }
    if (!pageRowTop_) {
        pageRowTop_ = caretRowTop();
    }
    const qreal height = viewport()->height();
    const qsizetype count = store_.lineCount();
    // The view moves by a page: down, to the first line that was not wholly
    // in sight; up, to the first wholly in sight on the page above. The
    // caret then moves row by row, keeping its x, until it stands where its
    // row stood on screen; where the view cannot move, to the first or last
    // row.
    qreal rowTop = *pageRowTop_;
    if (down) {
        qsizetype line = topLine_;
        qreal used = topOffset();
        bool atEnd = false;
        while (used + lineHeight(line) + (line + 1 == count ? kMargin : 0) <= height) {
            if (line + 1 == count) {
                atEnd = true;
                rowTop = height - topOffset();
                break;
            }
            used += lineHeight(line);
            ++line;
        }
        if (!atEnd) {
            setTopLine(line);
        }
        // The page's lines are laid out once, for every row stepped.
        layOutShownLines();
        // Row by row, adding up how far each went: the caret's row top is
        // worked out once, not once a row.
        qreal top = caretRowTop();
        while (const std::optional<qreal> moved = stepRow(true, select)) {
            top += *moved;
            if (top >= rowTop) {
                break;
            }
        }
    } else {
        const bool atTop = topLine_ == 0;
        qsizetype line = topLine_;
        qreal above = -topOffset();
        while (above <= height) {
            if (line == 0) {
                break;
            }
            --line;
            above += lineHeight(line);
        }
        if (above > height && line + 1 != topLine_) {
            ++line;
        }
        setTopLine(line);
        layOutShownLines();
        if (atTop) {
            rowTop = 0;
        }
        qreal top = caretRowTop();
        while (const std::optional<qreal> moved = stepRow(false, select)) {
            top += *moved;
            if (top <= rowTop) {
                break;
            }
        }
    }
}

void LogView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QPointF point = event->position();
    if (tripleClick_.isActive() &&
        (point - doubleClickPoint_).manhattanLength() < QApplication::startDragDistance()) {
        // A third click takes the line the second took a word from, with
        // its line break.
        tripleClick_.stop();
        const qsizetype line = store_.lineAt(caret_);
        anchor_ = store_.lineStart(line);
        caret_ = line + 1 < store_.lineCount() ? store_.lineStart(line + 1) : logLength();
        clickedLine_ = Range(anchor_, caret_);
    } else {
        const qsizetype position = positionAt(point);
        if (event->modifiers() == Qt::ShiftModifier) {
            if (clickedLine_) {
                extendByLines(position);
            } else if (clickedWord_) {
                extendByWords(position, point.x());
            } else {
                caret_ = position;
            }
        } else {
            anchor_ = caret_ = position;
            clickedWord_.reset();
            clickedLine_.reset();
        }
    }
    mousePressed_ = true;
    rowX_.reset();
    pageRowTop_.reset();
    announceCaret();
    viewport()->update();
}

void LogView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || store_.isEmpty()) {
        return;
    }
    anchor_ = caret_ = positionAt(event->position());
    const qsizetype line = store_.lineAt(caret_);
    const qsizetype start = store_.lineStart(line);
    const auto layout = layoutLine(line);
    const int row = layout->rowOf(caret_ - start);
    if (layout->rowEnd(row) > layout->rowStart(row)) {
        const LineSteps steps(store_.linePart(line, 0, LineLayout::kLongestShownLine),
                              store_.lineLength(line));
        const qsizetype wordStart = steps.wordStart(caret_ - start).value_or(caret_ - start);
        anchor_ = start + wordStart;
        caret_ = start + steps.wordEnd(wordStart);
    }
    clickedWord_.reset();
    if (hasSelection()) {
        clickedWord_ = Range(anchor_, caret_);
    }
    doubleClickPoint_ = event->position();
    tripleClick_.start(QApplication::doubleClickInterval(), this);
    rowX_.reset();
    pageRowTop_.reset();
    publishSelection();
    announceCaret();
    viewport()->update();
}

void LogView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || !(mousePressed_ || clickedWord_ || clickedLine_)) {
        return;
    }
    const QPointF point = event->position();
    // Past the edge the view scrolls on a timer, as Qt's text boxes do, so
    // that it goes on while the pointer is held still.
    dragPoint_ = point;
    if (viewport()->rect().contains(point.toPoint())) {
        autoScroll_.stop();
    } else if (!autoScroll_.isActive()) {
        autoScroll_.start(100, this);
    }
    dragTo(point);
}

void LogView::autoScroll() {
    const QRect visible = viewport()->rect();
    const int y = qRound(dragPoint_.y());
    const int outside = std::max(y - visible.top(), visible.bottom() - y) - visible.height();
    if (outside < 0) {
        autoScroll_.stop();
        return;
    }
    // The farther out, the faster, at Qt's text boxes' pace.
    const int speed = std::max(outside, 7);
    autoScroll_.start(4900 / (speed * speed), this);
    verticalScrollBar()->triggerAction(y < visible.center().y()
                                           ? QAbstractSlider::SliderSingleStepSub
                                           : QAbstractSlider::SliderSingleStepAdd);
    dragTo(dragPoint_);
}

void LogView::dragTo(QPointF point) {
    const qsizetype position = positionAt(point);
    if (clickedLine_) {
        extendByLines(position);
    } else if (clickedWord_) {
        extendByWords(position, point.x());
    } else {
        caret_ = position;
    }
    rowX_.reset();
    pageRowTop_.reset();
    announceCaret();
    viewport()->update();
}

void LogView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        autoScroll_.stop();
    }
    if (event->button() == Qt::LeftButton && mousePressed_) {
        mousePressed_ = false;
        publishSelection();
    }
}

void LogView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == tripleClick_.timerId()) {
        tripleClick_.stop();
    } else if (event->timerId() == autoScroll_.timerId()) {
        autoScroll();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

void LogView::extendByWords(qsizetype position, qreal x) {
    const auto [wordFrom, wordTo] = *clickedWord_;
    if (position >= wordFrom && position <= wordTo) {
        anchor_ = wordFrom;
        caret_ = wordTo;
        return;
    }
    // The word under the pointer joins the selection once the pointer is
    // over it, up to whichever of its edges is nearer.
    const qsizetype line = store_.lineAt(position);
    const qsizetype start = store_.lineStart(line);
    const LineSteps steps(store_.linePart(line, 0, LineLayout::kLongestShownLine),
                          store_.lineLength(line));
    const std::optional<qsizetype> found = steps.wordStart(position - start);
    if (!found) {
        return;
    }
    const qsizetype wordStart = *found;
    const qsizetype wordEnd = steps.wordEnd(wordStart);
    const auto layout = layoutLine(line);
    const int row = layout->rowOf(wordStart);
    if (wordEnd == wordStart || layout->rowOf(wordEnd) != row) {
        return;
    }
    const qreal startX = kMargin + layout->xOf(wordStart);
    const qreal endX = kMargin + layout->xOf(wordEnd);
    if (x < startX || x > endX) {
        return;
    }
    anchor_ = position < wordTo ? wordTo : wordFrom;
    caret_ = start + (x - startX < endX - x ? wordStart : wordEnd);
    publishSelection();
}

void LogView::extendByLines(qsizetype position) {
    const auto [lineFrom, lineTo] = *clickedLine_;
    if (position >= lineFrom && position <= lineTo) {
        anchor_ = lineFrom;
        caret_ = lineTo;
        return;
    }
    const qsizetype line = store_.lineAt(position);
    if (position < lineTo) {
        anchor_ = lineTo;
        caret_ = store_.lineStart(line);
    } else {
        anchor_ = lineFrom;
        caret_ = line + 1 < store_.lineCount() ? store_.lineStart(line + 1) : logLength();
    }
    publishSelection();
}

}  // namespace eventlog
