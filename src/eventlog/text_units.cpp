#include "eventlog/text_units.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace eventlog {

namespace {

// The line holding offset, with the CR LF after it, and where it starts.
struct LineText {
    QString text;
    qsizetype start = 0;
};

LineText lineWithBreak(const LineStore& lines, qsizetype offset) {
    const qsizetype index = lines.lineAt(offset);
    const qsizetype start = lines.lineStart(index);
    QString text = lines.line(index);
    if (index + 1 < lines.lineCount()) {
        text += QStringLiteral("\r\n");
    }
    return {text, start};
}

// The segment of that kind holding offset: from the last boundary at or
// before it to the next one after it.
TextSpan segmentAt(const LineText& line, qsizetype offset, QTextBoundaryFinder::BoundaryType type) {
    QTextBoundaryFinder finder(type, line.text);
    const qsizetype local = offset - line.start;
    finder.setPosition(local);
    const qsizetype start = finder.isAtBoundary() ? local : finder.toPreviousBoundary();
    finder.setPosition(local);
    const qsizetype end = finder.toNextBoundary();
    return {line.start + std::max<qsizetype>(start, 0),
            line.start + (end < 0 ? line.text.size() : end)};
}

}  // namespace

TextSpan unitAt(const LineStore& lines, qsizetype offset, TextUnit unit) {
    const qsizetype length = lines.textLength();
    offset = std::clamp<qsizetype>(offset, 0, length);
    if (lines.isEmpty() || unit == TextUnit::All) {
        return {0, length};
    }
    if (offset == length) {
        if (unit == TextUnit::Character || length == 0) {
            return {length, length};
        }
        offset = length - 1;  // what ends at the end
    }
    const LineText line = lineWithBreak(lines, offset);
    switch (unit) {
        case TextUnit::Character: return segmentAt(line, offset, QTextBoundaryFinder::Grapheme);
        case TextUnit::Word: return segmentAt(line, offset, QTextBoundaryFinder::Word);
        case TextUnit::Sentence: return segmentAt(line, offset, QTextBoundaryFinder::Sentence);
        default: return {line.start, line.start + line.text.size()};
    }
}

TextSpan unitBefore(const LineStore& lines, qsizetype offset, TextUnit unit) {
    const TextSpan at = unitAt(lines, offset, unit);
    if (at.start == 0 || unit == TextUnit::All) {
        return {0, 0};
    }
    return unitAt(lines, at.start - 1, unit);
}

TextSpan unitAfter(const LineStore& lines, qsizetype offset, TextUnit unit) {
    const qsizetype length = lines.textLength();
    const TextSpan at = unitAt(lines, offset, unit);
    if (at.end >= length || unit == TextUnit::All) {
        return {length, length};
    }
    return unitAt(lines, at.end, unit);
}

}  // namespace eventlog
