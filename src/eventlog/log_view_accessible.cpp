#include "eventlog/log_view_accessible.h"

#include <algorithm>

#include "eventlog/log_view.h"

namespace eventlog {

namespace {
QAccessibleInterface* makeInterface(const QString& className, QObject* object) {
    if (className == QLatin1String("eventlog::LogView") && object->isWidgetType()) {
        return new LogViewAccessible(
            static_cast<LogView*>(object));  // owned by QAccessible's cache
    }
    return nullptr;
}
}  // namespace

LogViewAccessible::LogViewAccessible(LogView* view)
    : QAccessibleWidget(view, QAccessible::EditableText) {}

void LogViewAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(makeInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

LogView* LogViewAccessible::view() const {
    return static_cast<LogView*>(widget());
}

void* LogViewAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface) {
        return static_cast<QAccessibleTextInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State LogViewAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

QString LogViewAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Value) {
        // A text object has no value; the whole log as one (hundreds of
        // megabytes at capacity) on every query would stall the program.
        return QString();
    }
    const QString text = QAccessibleWidget::text(t);
    if (t == QAccessible::Name && text.isEmpty()) {
        return QStringLiteral("Log");
    }
    return text;
}

void LogViewAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
    *startOffset = *endOffset = 0;
    if (selectionIndex == 0 && view()->hasSelection()) {
        *startOffset = int(view()->selectionStart());
        *endOffset = int(view()->selectionEnd());
    }
}

int LogViewAccessible::selectionCount() const {
    return view()->hasSelection() ? 1 : 0;
}

void LogViewAccessible::addSelection(int startOffset, int endOffset) {
    setSelection(0, startOffset, endOffset);
}

void LogViewAccessible::removeSelection(int) {
    view()->selectAsUser(view()->caretPosition(), view()->caretPosition());
}

void LogViewAccessible::setSelection(int, int startOffset, int endOffset) {
    view()->selectAsUser(startOffset, endOffset);
}

int LogViewAccessible::cursorPosition() const {
    return int(view()->caretPosition());
}

void LogViewAccessible::setCursorPosition(int position) {
    view()->selectAsUser(position, position);
}

QString LogViewAccessible::text(int startOffset, int endOffset) const {
    return view()->lines().text(startOffset, endOffset);
}

int LogViewAccessible::characterCount() const {
    return int(view()->logLength());
}

// Where the character at offset is drawn, in the viewport; empty while its
// line is out of sight (only the lines in sight are laid out).
QRect LogViewAccessible::drawnAt(qsizetype offset) const {
    LogView* log = view();
    if (offset < 0 || offset >= log->logLength()) {
        return QRect();
    }
    const QRect caret = log->cursorRect(offset);
    if (caret.isEmpty()) {
        return QRect();
    }
    const QRect next = log->cursorRect(offset + 1);
    const int width = next.top() == caret.top() && next.x() > caret.x()
                          ? next.x() - caret.x()
                          : log->fontMetrics().averageCharWidth();
    return QRect(caret.topLeft(), QSize(width, caret.height()));
}

QRect LogViewAccessible::characterRect(int offset) const {
    const QRect drawn = drawnAt(offset);
    return drawn.isEmpty() ? drawn : drawn.translated(view()->viewport()->mapToGlobal(QPoint()));
}

int LogViewAccessible::offsetAtPoint(const QPoint& point) const {
    const QWidget* viewport = view()->viewport();
    const QPoint local = viewport->mapFromGlobal(point);
    if (!viewport->rect().contains(local)) {
        return -1;
    }
    // The caret goes to the nearer edge of a character; the character asked
    // for is the one under the point.
    const qsizetype nearest = view()->positionAt(local);
    return int(nearest > 0 && !drawnAt(nearest).contains(local) &&
                       drawnAt(nearest - 1).contains(local)
                   ? nearest - 1
                   : nearest);
}

void LogViewAccessible::scrollToSubstring(int, int) {}

QString LogViewAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
    // The log has one look throughout: a single run of no attributes. A
    // reader builds what it speaks from these runs, so an empty one would
    // cost it the character at the offset.
    const int length = characterCount();
    if (offset < 0 || offset > length) {
        *startOffset = *endOffset = -1;
        return QString();
    }
    *startOffset = 0;
    *endOffset = length;
    return QString();
}

QString LogViewAccessible::unitText(Finder find, int offset,
                                    QAccessible::TextBoundaryType boundaryType, int* startOffset,
                                    int* endOffset) const {
    const LineStore& lines = view()->lines();
    const qsizetype length = lines.textLength();
    // By convention -1 is the end of the text and -2 the caret.
    const qsizetype where = offset == -1 ? length : offset == -2 ? view()->caretPosition() : offset;
    if (where < 0 || where > length) {
        *startOffset = *endOffset = -1;
        return QString();
    }
    TextUnit unit = TextUnit::All;
    switch (boundaryType) {
        case QAccessible::CharBoundary: unit = TextUnit::Character; break;
        case QAccessible::WordBoundary: unit = TextUnit::Word; break;
        case QAccessible::SentenceBoundary: unit = TextUnit::Sentence; break;
        case QAccessible::LineBoundary:
        case QAccessible::ParagraphBoundary: unit = TextUnit::Line; break;
        case QAccessible::NoBoundary: break;
    }
    const TextSpan span = find(lines, where, unit);
    *startOffset = int(span.start);
    *endOffset = int(span.end);
    return lines.text(span.start, span.end);
}

QString LogViewAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                            int* startOffset, int* endOffset) const {
    return unitText(unitBefore, offset, boundaryType, startOffset, endOffset);
}

QString LogViewAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                        int* startOffset, int* endOffset) const {
    return unitText(unitAt, offset, boundaryType, startOffset, endOffset);
}

QString LogViewAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                           int* startOffset, int* endOffset) const {
    return unitText(unitAfter, offset, boundaryType, startOffset, endOffset);
}

}  // namespace eventlog
