#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <deque>
#include <vector>

namespace eventlog {

// The log's lines, kept compactly: their text back to back in large chunks,
// with one 32-bit end offset per line. A line whose characters all fit in
// Latin-1 (nearly every line: times, addresses, the event words) takes one
// byte a character, any other line UTF-16. Appending costs the same at any
// length, and a line never moves once stored.
//
// Positions are those of the log text: the lines joined by CR LF, with no
// break after the last. Memory is bounded: past maxLines lines or maxUnits
// UTF-16 code units the oldest lines are dropped (their memory goes back a
// chunk at a time), so the newest lines always stay.
class LineStore {
public:
    static constexpr qsizetype kDefaultMaxUnits = 192 * 1024 * 1024;

    explicit LineStore(qsizetype maxLines = 2'000'000, qsizetype maxUnits = kDefaultMaxUnits);

    // dropped, if given, gets the text of the lines dropped to make room,
    // each with the CR LF after it.
    void append(QStringView line, QString* dropped = nullptr);
    void clear();

    qsizetype lineCount() const { return lineCount_; }
    bool isEmpty() const { return lineCount_ == 0; }
    // Length of the log text, separators included.
    qsizetype textLength() const;
    qsizetype lineLength(qsizetype index) const;
    QString line(qsizetype index) const { return linePart(index, 0, lineLength(index)); }
    // Characters from..to of a line (clamped to it), without touching the
    // rest of a long line.
    QString linePart(qsizetype index, qsizetype from, qsizetype to) const;
    // Where line index starts in the log text.
    qsizetype lineStart(qsizetype index) const;
    // The line holding log-text position (a separator counts with the line
    // before it); position is clamped to the text.
    qsizetype lineAt(qsizetype position) const;
    // The log text from..to, lines joined by separator.
    QString text(qsizetype from, qsizetype to, QStringView separator = u"\r\n") const;

    // dropped as for append.
    void setLimits(qsizetype maxLines, qsizetype maxUnits, QString* dropped = nullptr);

private:
    // A line kept as UTF-16, and where its bytes start in its chunk.
    struct WideLine {
        std::uint32_t line;
        std::uint32_t byteStart;
    };
    struct Chunk {
        QByteArray bytes;                 // the lines back to back
        std::vector<std::uint32_t> ends;  // end of each line, in characters from the first
        std::vector<WideLine> wide;       // its UTF-16 lines, in order; usually none
        qsizetype firstLine = 0;          // absolute number of its first line
        qsizetype textBase = 0;           // absolute log position of its first line
    };
    // A line as stored: Latin-1 bytes or UTF-16 code units.
    struct Stored {
        const char* data;
        qsizetype length;
        bool wide;
    };
    static constexpr qsizetype kChunkBytes = 64 * 1024;

    const Chunk& chunkOf(qsizetype absoluteLine) const;
    Stored stored(qsizetype index) const;
    static void appendPart(QString& to, Stored line, qsizetype from, qsizetype end);
    void enforceLimits(QString* dropped = nullptr);
    void dropOldestLine(QString* dropped);

    std::deque<Chunk> chunks_;
    qsizetype lineCount_ = 0;
    qsizetype unitCount_ = 0;
    // Lines and log positions that were dropped from the front: absolute
    // numbers minus these are what callers see.
    qsizetype droppedLines_ = 0;
    qsizetype droppedText_ = 0;
    qsizetype maxLines_;
    qsizetype maxUnits_;
};

}  // namespace eventlog
