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

constexpr int kMargin = 4;
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
    setFont(QFont(QStringLiteral("Arial"), 9));
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
    store_.clear();
    if (!text.isEmpty()) {
        for (QStringView line : QStringView(text).split(kLineBreak)) {
            store_.append(line);
        }
    }
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, text);
        QAccessible::updateAccessibility(&event);
    }
    changed();
}

void LogView::appendLine(const QString& line) {
    const qsizetype end = logLength();
    store_.append(line);
    if (QAccessible::isActive()) {
        const QString inserted = end == 0 ? line : kLineBreak + line;
        QAccessibleTextInsertEvent event(this, int(end), inserted);
        QAccessible::updateAccessibility(&event);
    }
    changed();
}

void LogView::changed() {
    // The old caret and selection may point past a trimmed or cleared text.
    anchor_ = std::min(anchor_, logLength());
    caret_ = std::min(caret_, logLength());
    shownLinesValid_ = false;
    scheduleSync();
    emit textChanged();
}

void LogView::select(qsizetype from, qsizetype to) {
    anchor_ = std::clamp<qsizetype>(from, 0, logLength());
    caret_ = std::clamp<qsizetype>(to, 0, logLength());
    viewport()->update();
}

void LogView::setCaretPosition(qsizetype position) {
    anchor_ = caret_ = std::clamp<qsizetype>(position, 0, logLength());
    viewport()->update();
}

QString LogView::selectedText() const {
    return store_.text(selectionStart(), selectionEnd());
}

void LogView::selectAll() {
    anchor_ = 0;
    caret_ = logLength();
    viewport()->update();
}

void LogView::copy() const {
    if (hasSelection()) {
        QGuiApplication::clipboard()->setText(
            store_.text(selectionStart(), selectionEnd(), clipboardLineBreak()));
    }
}

void LogView::moveCaretToEnd() {
    anchor_ = caret_ = logLength();
    if (!followEnd_) {
        followEnd_ = true;
        shownLinesValid_ = false;
    }
    scheduleSync();
}

int LogView::textWidth() const {
    return std::max(1, viewport()->width() - 2 * kMargin);
}

std::unique_ptr<QTextLayout> LogView::layoutLine(qsizetype index) const {
    const QStringView text = store_.line(index);
    QString shown = text.size() > kLongestShownLine
                        ? text.left(kLongestShownLine).toString() + QChar(0x2026)
                        : text.toString();
    auto layout = std::make_unique<QTextLayout>(shown, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    const QFontMetricsF metrics(font());
    qreal height = 0;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(textWidth());
        line.setPosition(QPointF(0, height));
        height += metrics.lineSpacing();
    }
    layout->endLayout();
    return layout;
}

qsizetype LogView::topLineForEnd() const {
    const int available = viewport()->height() - 2 * kMargin;
    qsizetype top = store_.lineCount();
    int used = 0;
    while (top > 0) {
        const int height = qCeil(layoutLine(top - 1)->boundingRect().height());
        if (used + height > available && top < store_.lineCount()) {
            break;
        }
        used += height;
        --top;
    }
    return top;
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
    int top = kMargin;
    const int bottom = viewport()->height();
    // At the end of the log the last line sits at the bottom edge.
    if (followEnd_) {
        int total = 0;
        for (qsizetype i = topLine_; i < store_.lineCount(); ++i) {
            shownLines_.push_back({i, 0, layoutLine(i)});
            total += qCeil(shownLines_.back().layout->boundingRect().height());
        }
        top = std::min(kMargin, bottom - kMargin - total);
        for (ShownLine& line : shownLines_) {
            line.top = top;
            top += qCeil(line.layout->boundingRect().height());
        }
    } else {
        for (qsizetype i = topLine_; i < store_.lineCount() && top < bottom; ++i) {
            auto layout = layoutLine(i);
            const int height = qCeil(layout->boundingRect().height());
            shownLines_.push_back({i, top, std::move(layout)});
            top += height;
        }
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
    const qsizetype selectedFrom = selectionStart();
    const qsizetype selectedTo = selectionEnd();
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));

    for (const ShownLine& line : shownLines_) {
        const qsizetype start = store_.lineStart(line.index);
        const qsizetype length = line.layout->text().size();
        QList<QTextLayout::FormatRange> selections;
        if (selectedFrom < start + length && selectedTo > start) {
            const qsizetype from = std::max<qsizetype>(selectedFrom - start, 0);
            const qsizetype to = std::min<qsizetype>(selectedTo - start, length);
            selections.append({static_cast<int>(from), static_cast<int>(to - from), selected});
        }
        const QPointF origin(kMargin, line.top);
        line.layout->draw(&painter, origin, selections);
        const qsizetype end = start + store_.line(line.index).size();
        if (hasFocus() && caret_ >= start && caret_ <= end) {
            line.layout->drawCursor(&painter, origin,
                                    static_cast<int>(std::min(caret_ - start, length)));
        }
    }
}

qsizetype LogView::positionAt(QPoint point) {
    layOutShownLines();
    if (shownLines_.empty()) {
        return 0;
    }
    if (point.y() < shownLines_.front().top) {
        return store_.lineStart(shownLines_.front().index);
    }
    for (const ShownLine& line : shownLines_) {
        const QRectF box = line.layout->boundingRect();
        if (point.y() < line.top + box.height()) {
            const qreal y = point.y() - line.top;
            for (int i = 0; i < line.layout->lineCount(); ++i) {
                const QTextLine row = line.layout->lineAt(i);
                if (y < row.y() + row.height() || i == line.layout->lineCount() - 1) {
                    const int column = row.xToCursor(point.x() - kMargin);
                    const qsizetype length = store_.line(line.index).size();
                    return store_.lineStart(line.index) + std::min<qsizetype>(column, length);
                }
            }
        }
    }
    const ShownLine& last = shownLines_.back();
    return store_.lineStart(last.index) + store_.line(last.index).size();
}

void LogView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const qsizetype position = positionAt(event->position().toPoint());
    caret_ = position;
    if (!(event->modifiers() & Qt::ShiftModifier)) {
        anchor_ = position;
    }
    selecting_ = true;
    viewport()->update();
}

void LogView::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_) {
        return;
    }
    const QPoint point = event->position().toPoint();
    QScrollBar* bar = verticalScrollBar();
    if (point.y() < 0) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (point.y() > viewport()->height()) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
    caret_ = positionAt(point);
    viewport()->update();
}

void LogView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && selecting_) {
        selecting_ = false;
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (hasSelection() && clipboard->supportsSelection()) {
            clipboard->setText(selectedText(), QClipboard::Selection);
        }
    }
}

void LogView::keyPressEvent(QKeyEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    if (event == QKeySequence::Copy) {
        copy();
    } else if (event == QKeySequence::SelectAll) {
        selectAll();
    } else if (event == QKeySequence::MoveToStartOfDocument) {
        setCaretPosition(0);
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
    } else if (event == QKeySequence::MoveToEndOfDocument) {
        moveCaretToEnd();
    } else if (event->key() == Qt::Key_PageUp) {
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    } else if (event->key() == Qt::Key_PageDown) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    } else if (event->key() == Qt::Key_Up) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (event->key() == Qt::Key_Down) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    } else {
        // Read-only: typing changes nothing, and other keys go on to the window.
        event->ignore();
        return;
    }
    event->accept();
}

void LogView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copyAction = menu.addAction(QStringLiteral("Copy"), this, &LogView::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    menu.addSeparator();
    menu.addAction(QStringLiteral("Select All"), this, &LogView::selectAll)
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
