#include "eventlog/log_view.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFont>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTextOption>

#include <algorithm>

#include "eventlog/line_break.h"
#include "eventlog/log_view_accessible.h"

namespace eventlog {

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

}  // namespace

LogView::LogView(QWidget* parent) : QAbstractScrollArea(parent) {
    LogViewAccessible::install();
    // Arial where it is installed; Liberation Sans, which has its metrics,
    // where it is not (Wine has no Arial of its own).
    QFont logFont;
    logFont.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    logFont.setPointSize(9);
    setFont(logFont);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
}

LogView::~LogView() = default;

void LogView::setCapacity(int lines) {
    const qsizetype linesBefore = store_.lineCount();
    const qsizetype lengthBefore = logLength();
    QString dropped;
    store_.setLimits(lines, LineStore::kDefaultMaxUnits,
                     QAccessible::isActive() ? &dropped : nullptr);
    noteChange(dropped, lengthBefore - logLength());
    linesMoved(linesBefore - store_.lineCount(), lengthBefore - logLength());
}

QString LogView::logText() const {
    return store_.text(0, store_.textLength());
}

void LogView::setLogText(const QString& text) {
    // A reader follows the text by what is removed and inserted, not by a
    // value, which a text object does not have: it hears the old text go
    // at once, and the new text with the next burst.
    if (QAccessible::isActive()) {
        tellPending();
        if (!store_.isEmpty()) {
            QAccessibleTextRemoveEvent removed(this, 0, store_.text(0, kAnnouncedText));
            QAccessible::updateAccessibility(&removed);
        }
    }
    store_.clear();
    if (!text.isEmpty()) {
        for (QStringView line : QStringView(text).split(kLineBreak)) {
            store_.append(line);
        }
        noteChange(QString(), 0);
    }
    changed();
}

void LogView::appendLine(const QString& line) {
    const qsizetype linesBefore = store_.lineCount();
    const qsizetype lengthBefore = logLength();
    if (QAccessible::isActive() && !pending_.insertedFrom) {
        pending_.insertedFrom = lengthBefore;
    }
    QString dropped;
    store_.append(line, QAccessible::isActive() ? &dropped : nullptr);
    const qsizetype added = line.size() + (linesBefore > 0 ? 2 : 0);
    const qsizetype droppedText = lengthBefore + added - logLength();
    noteChange(dropped, droppedText);
    linesMoved(linesBefore + 1 - store_.lineCount(), droppedText);
}

void LogView::changed() {
    // The old caret and selection may point past a trimmed or cleared text.
    anchor_ = std::min(anchor_, logLength());
    caret_ = std::min(caret_, logLength());
    caretPlaced();
    redraw();
}

void LogView::linesMoved(qsizetype droppedLines, qsizetype droppedText) {
    if (droppedLines > 0) {
        // As a cursor in Qt's text boxes: a place in removed text goes to
        // where the removal was, so a selection wholly in it is gone.
        const auto keep = [droppedText](qsizetype& position) {
            position = std::max<qsizetype>(0, position - droppedText);
        };
        keep(anchor_);
        keep(caret_);
        for (auto* range : {&clickedWord_, &clickedLine_}) {
            if (*range) {
                keep((*range)->first);
                keep((*range)->second);
            }
        }
        topLine_ = std::max<qsizetype>(0, topLine_ - droppedLines);
    }
    redraw();
}

void LogView::redraw() {
    endTop_.reset();
    shownLinesValid_ = false;
    scheduleSync();
    emit textChanged();
}

void LogView::noteChange(const QString& dropped, qsizetype droppedText) {
    if (!QAccessible::isActive()) {
        return;
    }
    if (!pending_.insertedFrom) {
        pending_.insertedFrom = 0;
    }
    *pending_.insertedFrom = std::max<qsizetype>(0, *pending_.insertedFrom - droppedText);
    pending_.removed += QStringView(dropped).left(kAnnouncedText - pending_.removed.size());
}

void LogView::tellPending() {
    Pending told = std::exchange(pending_, Pending());
    if (!QAccessible::isActive()) {
        return;
    }
    if (!told.removed.isEmpty()) {
        QAccessibleTextRemoveEvent removed(this, 0, told.removed);
        QAccessible::updateAccessibility(&removed);
    }
    const qsizetype end = logLength();
    if (told.insertedFrom && *told.insertedFrom < end) {
        // The newest text of the burst, where it stands.
        const qsizetype from = std::max(*told.insertedFrom, end - kAnnouncedText);
        QAccessibleTextInsertEvent inserted(this, int(from), store_.text(from, end));
        QAccessible::updateAccessibility(&inserted);
    }
    if (told.caretMoved) {
        announceCaret(told.selectionMoved);
    }
}

void LogView::select(qsizetype from, qsizetype to) {
    anchor_ = std::clamp<qsizetype>(from, 0, logLength());
    caret_ = std::clamp<qsizetype>(to, 0, logLength());
    caretPlaced();
    viewport()->update();
}

void LogView::selectAsUser(qsizetype from, qsizetype to) {
    select(from, to);
    publishSelection();
    announceCaret();
}

void LogView::setCaretPosition(qsizetype position) {
    select(position, position);
}

QString LogView::selectedText() const {
    return store_.text(selectionStart(), selectionEnd());
}

void LogView::selectAll() {
    select(0, logLength());
}

void LogView::copy() const {
    if (hasSelection()) {
        QGuiApplication::clipboard()->setText(
            store_.text(selectionStart(), selectionEnd(), platformLineBreak()));
    }
}

void LogView::publishSelection() const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection()) {
        clipboard->setText(store_.text(selectionStart(), selectionEnd(), platformLineBreak()),
                           QClipboard::Selection);
    }
}

void LogView::moveCaretToEnd() {
    const bool hadSelection = hasSelection();
    const qsizetype before = caret_;
    anchor_ = caret_ = logLength();
    caretPlaced();
    if (QAccessible::isActive() && (hadSelection || before != caret_)) {
        // Told with the burst's lines, once.
        pending_.caretMoved = true;
        pending_.selectionMoved = pending_.selectionMoved || hadSelection;
    }
    if (!followEnd_) {
        followEnd_ = true;
        shownLinesValid_ = false;
    }
    scheduleSync();
}

void LogView::caretPlaced() {
    // A drag going on would carry on from the new place: it ends here.
    mousePressed_ = false;
    autoScroll_.stop();
    rowX_.reset();
    pageRowTop_.reset();
    clickedWord_.reset();
    clickedLine_.reset();
}

int LogView::textWidth() const {
    return std::max(1, viewport()->width() - 2 * kMargin);
}

std::unique_ptr<LineLayout> LogView::layoutLine(qsizetype index) const {
    return std::make_unique<LineLayout>(store_.linePart(index, 0, LineLayout::kLongestShownLine),
                                        store_.lineLength(index), font(), viewport(), textWidth());
}

const LineLayout& LogView::layoutOf(qsizetype index, std::unique_ptr<LineLayout>& spare) const {
    if (shownLinesValid_ && !shownLines_.empty() && index >= shownLines_.front().index &&
        index <= shownLines_.back().index) {
        return *shownLines_[std::size_t(index - shownLines_.front().index)].layout;
    }
    spare = layoutLine(index);
    return *spare;
}

qreal LogView::lineHeight(qsizetype index) const {
    std::unique_ptr<LineLayout> spare;
    return layoutOf(index, spare).height();
}

qreal LogView::topOffset() const {
    return topLine_ == 0 ? kMargin : 0;
}

qsizetype LogView::topLineForEnd() const {
    if (endTop_) {
        return *endTop_;
    }
    // As many whole lines as fit above the bottom margin, the last line
    // always.
    const qreal available = viewport()->height() - kMargin - 1;
    const qsizetype count = store_.lineCount();
    qsizetype top = count;
    qreal used = kMargin;
    while (top > 0) {
        used += lineHeight(top - 1);
        if (used > available && top < count) {
            break;
        }
        --top;
    }
    endTop_ = top;
    return top;
}

void LogView::setTopLine(qsizetype line) {
    const qsizetype endTop = topLineForEnd();
    topLine_ = std::clamp<qsizetype>(line, 0, endTop);
    followEnd_ = topLine_ >= endTop;
    shownLinesValid_ = false;
    syncScrollBar();
    viewport()->update();
}

void LogView::layOutShownLines() {
    if (shownLinesValid_) {
        return;
    }
    if (followEnd_) {
        topLine_ = topLineForEnd();
    }
    topLine_ = std::clamp<qsizetype>(topLine_, 0, std::max<qsizetype>(0, store_.lineCount() - 1));
    shownLines_.clear();
    qreal top = topOffset();
    const int bottom = viewport()->height();
    for (qsizetype i = topLine_; i < store_.lineCount() && top < bottom; ++i) {
        auto layout = layoutLine(i);
        const qreal height = layout->height();
        shownLines_.push_back({i, top, std::move(layout)});
        top += height;
    }
    shownLinesValid_ = true;
}

void LogView::scheduleSync() {
    // Once per burst of changes, not per line: the scroll bar and the
    // repaint catch up on the next turn of the event loop.
    if (syncPending_) {
        return;
    }
    syncPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            syncPending_ = false;
            syncScrollBar();
            viewport()->update();
            tellPending();
        },
        Qt::QueuedConnection);
}

void LogView::syncScrollBar() {
    const qsizetype endTop = topLineForEnd();
    syncing_ = true;
    QScrollBar* bar = verticalScrollBar();
    const int visible =
        std::max(1, viewport()->height() / std::max(1, fontMetrics().lineSpacing()));
    bar->setRange(0, static_cast<int>(endTop));
    bar->setPageStep(visible);
    bar->setValue(static_cast<int>(followEnd_ ? endTop : std::min(topLine_, endTop)));
    syncing_ = false;
}

void LogView::scrollContentsBy(int, int) {
    if (syncing_) {
        return;
    }
    topLine_ = verticalScrollBar()->value();
    followEnd_ = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    shownLinesValid_ = false;
    viewport()->update();
}

void LogView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    endTop_.reset();
    shownLinesValid_ = false;
    scheduleSync();
}

void LogView::paintEvent(QPaintEvent*) {
    layOutShownLines();
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));

    for (const ShownLine& line : shownLines_) {
        const qsizetype start = store_.lineStart(line.index);
        const qsizetype length = store_.lineLength(line.index);
        const QPointF origin(kMargin, line.top);
        line.layout->draw(&painter, origin,
                          std::clamp(selectionStart() - start, qsizetype(0), length),
                          std::clamp(selectionEnd() - start, qsizetype(0), length), selected);
        if (hasFocus() && caret_ >= start && caret_ <= start + length) {
            line.layout->drawCaret(&painter, origin, caret_ - start);
        }
    }
}

QRect LogView::cursorRect(qsizetype position) {
    layOutShownLines();
    const qsizetype index = store_.lineAt(position);
    for (const ShownLine& line : shownLines_) {
        if (line.index == index) {
            const qsizetype column = position - store_.lineStart(index);
            const int row = line.layout->rowOf(column);
            const QPointF topLeft(kMargin + line.layout->xOf(column),
                                  line.top + line.layout->rowTop(row));
            return QRectF(topLeft,
                          QSizeF(1, line.layout->rowBottom(row) - line.layout->rowTop(row)))
                .toRect();
        }
    }
    return QRect();
}

qsizetype LogView::positionAt(QPointF point) const {
    if (store_.isEmpty()) {
        return 0;
    }
    const qsizetype count = store_.lineCount();
    qsizetype index = std::min(topLine_, count - 1);
    qreal y = point.y() - topOffset();
    while (index + 1 < count && y >= lineHeight(index)) {
        y -= lineHeight(index);
        ++index;
    }
    while (index > 0 && y < 0) {
        --index;
        y += lineHeight(index);
    }
    const qsizetype column = layoutLine(index)->columnAt(QPointF(point.x() - kMargin, y));
    return store_.lineStart(index) + column;
}

void LogView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copyAction = menu.addAction(QStringLiteral("Copy"), this, &LogView::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    menu.addSeparator();
    menu.addAction(QStringLiteral("Select All"), this,
                   [this] {
                       selectAll();
                       publishSelection();
                   })
        ->setShortcut(QKeySequence::SelectAll);
    // What the window adds for its log (saving it).
    if (!actions().isEmpty()) {
        menu.addSeparator();
        menu.addActions(actions());
    }
    menu.exec(event->globalPos());
}

void LogView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void LogView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

}  // namespace eventlog
