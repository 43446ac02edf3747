#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QTextLayout>

#include <algorithm>

#include <memory>
#include <vector>

#include "eventlog/line_store.h"

namespace eventlog {

// The text box that holds the log: read-only for the user, who can select
// and copy. The log text is its lines joined by CR LF, with no break after
// the last.
//
// Lines are kept compactly (LineStore) and only those in sight are laid out
// and drawn, so adding a line costs the same however long the log, and a
// burst of lines costs one repaint. The box holds at most capacity() lines;
// past that the oldest line goes for each new one, so memory stays bounded
// and the newest line is always kept.
class LogView : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr int kDefaultCapacity = 2'000'000;
    // Longer lines are kept whole but shown cut short, so that one huge line
    // cannot stall drawing.
    static constexpr qsizetype kLongestShownLine = 4096;

    explicit LogView(QWidget* parent = nullptr);
    ~LogView() override;

    QString logText() const;
    // Replaces the whole log; CR LF in text separates lines.
    void setLogText(const QString& text);
    // Adds one line at the end (after a CR LF unless the log is empty).
    void appendLine(const QString& line);
    void clearLog() { setLogText(QString()); }

    int lineCount() const { return static_cast<int>(store_.lineCount()); }
    int capacity() const { return static_cast<int>(store_.maxLines()); }
    void setCapacity(int lines);
    const LineStore& lines() const { return store_; }

    bool isReadOnly() const { return true; }
    // The caret and selection, in UTF-16 code units of logText().
    qsizetype caretPosition() const { return caret_; }
    qsizetype logLength() const { return store_.textLength(); }
    // Puts the caret there with nothing selected, as a click does.
    void setCaretPosition(qsizetype position);
    bool hasSelection() const { return anchor_ != caret_; }
    qsizetype selectionStart() const { return std::min(anchor_, caret_); }
    qsizetype selectionEnd() const { return std::max(anchor_, caret_); }
    // Selects from..to, the caret at to.
    void select(qsizetype from, qsizetype to);
    QString selectedText() const;
    void selectAll();
    void copy() const;
    // Puts the caret after the last character, with nothing selected, and
    // brings it into view.
    void moveCaretToEnd();

    // The first line in sight (for tests and benchmarks).
    qsizetype topLine() const { return topLine_; }

signals:
    // Emitted after every change of the log text.
    void textChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct ShownLine {
        qsizetype index;
        int top;
        std::unique_ptr<QTextLayout> layout;
    };

    std::unique_ptr<QTextLayout> layoutLine(qsizetype index) const;
    int textWidth() const;
    // The top line that puts the end of the log at the bottom of the view.
    qsizetype topLineForEnd() const;
    void layOutShownLines();
    void scheduleSync();
    void syncScrollBar();
    void changed();
    qsizetype positionAt(QPoint point);

    LineStore store_;
    qsizetype anchor_ = 0;
    qsizetype caret_ = 0;
    qsizetype topLine_ = 0;
    bool followEnd_ = true;
    bool selecting_ = false;
    bool syncPending_ = false;
    bool syncing_ = false;
    bool shownLinesValid_ = false;
    std::vector<ShownLine> shownLines_;
};

}  // namespace eventlog
