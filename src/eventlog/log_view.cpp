#include "eventlog/log_view.h"

#include "eventlog/log_view_accessible.h"

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

namespace eventlog {

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

// What the clipboard gets between lines: the platform's own line break.
QStringView clipboardLineBreak() {
#ifdef Q_OS_WIN
    return u"\r\n";
#else
    return u"\n";
#endif
}

}  // namespace

LogView::LogView(QWidget* parent) : QAbstractScrollArea(parent), store_(kDefaultCapacity) {
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
    store_.setLimits(lines, LineStore::kDefaultMaxUnits);
    changed();
}

QString LogView::logText() const {
    return store_.text(0, store_.textLength());
}

void LogView::setLogText(const QString& text) {
    // A reader follows the text by what is removed and inserted, not by a
    // value, which a text object does not have.
    if (QAccessible::isActive() && !store_.isEmpty()) {
        QAccessibleTextRemoveEvent removed(this, 0, logText());
        QAccessible::updateAccessibility(&removed);
    }
    store_.clear();
    if (!text.isEmpty()) {
        for (QStringView line : QStringView(text).split(kLineBreak)) {
            store_.append(line);
        }
        if (QAccessible::isActive()) {
            QAccessibleTextInsertEvent inserted(this, 0, logText());
            QAccessible::updateAccessibility(&inserted);
        }
    }
    changed();
}

void LogView::appendLine(const QString& line) {
    const qsizetype end = logLength();
    // At capacity the oldest lines make room: a reader hears the line
    // added at the end, then those removed from the start.
    const bool told = QAccessible::isActive();
    QString dropped;
    store_.append(line, told ? &dropped : nullptr);
    if (told) {
        QAccessibleTextInsertEvent inserted(this, int(end), end == 0 ? line : kLineBreak + line);
        QAccessible::updateAccessibility(&inserted);
        if (!dropped.isEmpty()) {
            QAccessibleTextRemoveEvent removed(this, 0, dropped);
            QAccessible::updateAccessibility(&removed);
        }
    }
    changed();
}

void LogView::changed() {
    // The old caret and selection may point past a trimmed or cleared text.
    anchor_ = std::min(anchor_, logLength());
    caret_ = std::min(caret_, logLength());
    caretPlaced();
    shownLinesValid_ = false;
    scheduleSync();
    emit textChanged();
}

void LogView::select(qsizetype from, qsizetype to) {
    anchor_ = std::clamp<qsizetype>(from, 0, logLength());
    caret_ = std::clamp<qsizetype>(to, 0, logLength());
    caretPlaced();
    viewport()->update();
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
            store_.text(selectionStart(), selectionEnd(), clipboardLineBreak()));
    }
}

void LogView::publishSelection() const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection()) {
        clipboard->setText(store_.text(selectionStart(), selectionEnd(), clipboardLineBreak()),
                           QClipboard::Selection);
    }
}

void LogView::moveCaretToEnd() {
    const bool hadSelection = hasSelection();
    const qsizetype before = caret_;
    anchor_ = caret_ = logLength();
    caretPlaced();
    if (QAccessible::isActive() && (hadSelection || before != caret_)) {
        announceCaret();
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
    rowX_.reset();
    pageRowTop_.reset();
    clickedWord_.reset();
    clickedLine_.reset();
}

int LogView::textWidth() const {
    return std::max(1, viewport()->width() - 2 * kMargin);
}

std::unique_ptr<LineLayout> LogView::layoutLine(qsizetype index) const {
    return std::make_unique<LineLayout>(store_.line(index), font(), viewport(), textWidth());
}

qreal LogView::lineHeight(qsizetype index) const {
    // Lines in sight are laid out already.
    if (shownLinesValid_ && !shownLines_.empty() && index >= shownLines_.front().index &&
        index <= shownLines_.back().index) {
        return shownLines_[std::size_t(index - shownLines_.front().index)].layout->height();
    }
    return layoutLine(index)->height();
}

qreal LogView::topOffset() const {
    return topLine_ == 0 ? kMargin : 0;
}

qsizetype LogView::topLineForEnd() const {
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
        const qsizetype length = store_.line(line.index).size();
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
