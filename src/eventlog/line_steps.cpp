#include "eventlog/line_steps.h"

#include <algorithm>

#include "eventlog/line_layout.h"

namespace eventlog {

LineSteps::LineSteps(QStringView text, qsizetype length)
    : text_(text.left(std::min(length, LineLayout::kLongestShownLine)).toString()),
      length_(length),
      layout_(text_) {}

bool LineSteps::isSpace(qsizetype column) const {
    return text_.at(column).isSpace();
}

bool LineSteps::isSeparator(qsizetype column) const {
    // Punctuation that makes words of its own.
    static constexpr QStringView kSeparators = u".,?!@#$:;-<>[](){}=/+%&^*'\"`~|\\";
    return kSeparators.contains(text_.at(column));
}

qsizetype LineSteps::nextCharacter(qsizetype column) const {
    return column >= text_.size()
               ? length_
               : layout_.nextCursorPosition(int(column), QTextLayout::SkipCharacters);
}

qsizetype LineSteps::previousCharacter(qsizetype column) const {
    return column > text_.size()
               ? text_.size()
               : layout_.previousCursorPosition(int(column), QTextLayout::SkipCharacters);
}

qsizetype LineSteps::nextWord(qsizetype column) const {
    return column >= text_.size() ? length_
                                  : layout_.nextCursorPosition(int(column), QTextLayout::SkipWords);
}

qsizetype LineSteps::previousWord(qsizetype column) const {
    return column > text_.size()
               ? text_.size()
               : layout_.previousCursorPosition(int(column), QTextLayout::SkipWords);
}

std::optional<qsizetype> LineSteps::wordStart(qsizetype column) const {
    const qsizetype length = text_.size();
    if (length < length_ && column >= length) {
        return length;  // the hidden rest of a cut line
    }
    if (column == 0 || (column == length && (isSpace(column - 1) || isSeparator(column - 1)))) {
        return std::nullopt;
    }
    return previousWord(column < length ? column + 1 : column);
}

qsizetype LineSteps::wordEnd(qsizetype column) const {
    const qsizetype length = text_.size();
    if (column >= length) {
        return length < length_ ? length_ : column;
    }
    if (isSeparator(column)) {
        do {
            ++column;
        } while (column < length && isSeparator(column));
    } else {
        while (column < length && !isSpace(column) && !isSeparator(column)) {
            ++column;
        }
    }
    return column;
}

}  // namespace eventlog
