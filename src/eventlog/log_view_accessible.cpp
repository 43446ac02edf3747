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
        return view()->logText();
    }
    return QAccessibleWidget::text(t);
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
    view()->setCaretPosition(view()->caretPosition());
}

void LogViewAccessible::setSelection(int, int startOffset, int endOffset) {
    view()->select(startOffset, endOffset);
}

int LogViewAccessible::cursorPosition() const {
    return int(view()->caretPosition());
}

void LogViewAccessible::setCursorPosition(int position) {
    view()->setCaretPosition(position);
}

QString LogViewAccessible::text(int startOffset, int endOffset) const {
    return view()->lines().text(startOffset, endOffset);
}

int LogViewAccessible::characterCount() const {
    return int(view()->logLength());
}

QRect LogViewAccessible::characterRect(int) const {
    // Only the lines in sight are laid out; a reader gets the view's box.
    return view()->viewport()->rect().translated(view()->viewport()->mapToGlobal(QPoint()));
}

int LogViewAccessible::offsetAtPoint(const QPoint&) const {
    return -1;
}

void LogViewAccessible::scrollToSubstring(int, int) {}

QString LogViewAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
    *startOffset = *endOffset = offset;
    return QString();
}

}  // namespace eventlog
