#include "log_view.h"

#include <QFont>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace eventlog {

namespace {
const QString kLineBreak = QStringLiteral("\r\n");
}

LogView::LogView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setUndoRedoEnabled(false);
    setFont(QFont(QStringLiteral("Arial"), 9));
    setCapacity(kDefaultCapacity);
}

QString LogView::logText() const {
    // Lines never hold a line break of their own (client text is made
    // display-safe before it gets here), so every LF is a separator.
    QString text = toPlainText();
    text.replace(u'\n', kLineBreak);
    return text;
}

void LogView::setLogText(const QString& text) {
    QString plain = text;
    plain.replace(kLineBreak, QStringLiteral("\n"));
    setPlainText(plain);
}

void LogView::appendLine(const QString& line) {
    appendPlainText(line);
}

int LogView::lineCount() const {
    return document()->isEmpty() ? 0 : document()->blockCount();
}

qsizetype LogView::caretPosition() const {
    const QTextCursor cursor = textCursor();
    // Each separator before the caret is one character in the document and
    // two (CR LF) in the log text.
    return cursor.position() + cursor.blockNumber();
}

qsizetype LogView::logLength() const {
    if (document()->isEmpty()) {
        return 0;
    }
    return document()->characterCount() - 1 + document()->blockCount() - 1;
}

void LogView::moveCaretToEnd() {
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
}

}  // namespace eventlog
