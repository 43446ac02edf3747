#pragma once

#include <QString>

#include "eventlog/line_store.h"

namespace eventlog {

// The units a reader moves by in the log text: characters (grapheme
// clusters; a CR LF between lines is one), words (and the runs between
// them), sentences, lines (each with the CR LF after it) and the whole text.
// Each is found in the line around the offset, never in the whole text.
enum class TextUnit { Character, Word, Sentence, Line, All };

struct TextSpan {
    qsizetype start = 0;
    qsizetype end = 0;
    bool operator==(const TextSpan&) const = default;
};

// The unit holding offset. At the end of the text, the unit that ends there
// (none for a character: an empty span at the end). offset is within
// [0, textLength()].
TextSpan unitAt(const LineStore& lines, qsizetype offset, TextUnit unit);
// The unit before the one holding offset, and the one after it: empty spans
// at the start and at the end of the text when there is none.
TextSpan unitBefore(const LineStore& lines, qsizetype offset, TextUnit unit);
TextSpan unitAfter(const LineStore& lines, qsizetype offset, TextUnit unit);

}  // namespace eventlog
