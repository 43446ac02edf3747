#pragma once

#include <QAccessibleWidget>

#include "eventlog/text_units.h"

namespace eventlog {

class LogView;

// What assistive technology sees of the log: a read-only, multi-line text
// with its caret and selection, read from the log's own store.
class LogViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LogViewAccessible(LogView* view);

    // Registers the interface for every LogView.
    static void install();

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;
    // Answered from the lines around the offset: Qt's own answers build the
    // whole text each time, and spin at its end.
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int* startOffset, int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int* startOffset, int* endOffset) const override;

private:
    LogView* view() const;
    QRect drawnAt(qsizetype offset) const;
    using Finder = TextSpan (*)(const LineStore&, qsizetype, TextUnit);
    QString unitText(Finder find, int offset, QAccessible::TextBoundaryType boundaryType,
                     int* startOffset, int* endOffset) const;
};

}  // namespace eventlog
