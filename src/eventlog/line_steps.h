#pragma once

#include <QString>
#include <QStringView>
#include <QTextLayout>

#include <optional>

namespace eventlog {

// Caret steps within one line's text, as Qt's text boxes take them: by
// character (a whole grapheme cluster) and by word, where spaces end words
// and runs of punctuation are words of their own. Of a line cut short only
// the part shown is read: the hidden rest is one step, so that a key costs
// the same on a huge line.
class LineSteps {
public:
    // text is the line's start, at least as much of it as is shown; length
    // is the whole line's.
    LineSteps(QStringView text, qsizetype length);

    qsizetype nextCharacter(qsizetype column) const;
    qsizetype previousCharacter(qsizetype column) const;
    // Past the word and the spaces after it.
    qsizetype nextWord(qsizetype column) const;
    // Back to the start of this or the previous word.
    qsizetype previousWord(qsizetype column) const;
    // The word around column, as a double-click takes it: its start (none
    // at the line's start, nor at its end after a space or punctuation),
    // then its end from there (column itself where there is no word).
    std::optional<qsizetype> wordStart(qsizetype column) const;
    qsizetype wordEnd(qsizetype column) const;

private:
    bool isSpace(qsizetype column) const;
    bool isSeparator(qsizetype column) const;

    QString text_;
    qsizetype length_;
    QTextLayout layout_;
};

}  // namespace eventlog
