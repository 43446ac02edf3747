#pragma once

#include <QPlainTextEdit>
#include <QString>

namespace eventlog {

// The text box that holds the log. The log text is its lines joined by
// CR LF, with no break after the last. Lines are added at the end without
// rewriting what is there, so a line costs the same however long the log.
//
// The box holds at most capacity() lines; when it is full the oldest line
// goes to make room, so memory stays bounded and the newest line is always
// kept.
class LogView : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int kDefaultCapacity = 200'000;

    explicit LogView(QWidget* parent = nullptr);

    QString logText() const;
    // Replaces the whole log; CR LF in text separates lines.
    void setLogText(const QString& text);
    // Adds one line at the end (after a CR LF unless the log is empty).
    void appendLine(const QString& line);
    void clearLog() { setLogText(QString()); }

    int lineCount() const;
    int capacity() const { return document()->maximumBlockCount(); }
    void setCapacity(int lines) { document()->setMaximumBlockCount(lines); }

    // The caret, in UTF-16 code units of logText().
    qsizetype caretPosition() const;
    qsizetype logLength() const;
    bool hasSelection() const { return textCursor().hasSelection(); }
    // Puts the caret after the last character, with nothing selected, and
    // scrolls it into view.
    void moveCaretToEnd();
};

}  // namespace eventlog
