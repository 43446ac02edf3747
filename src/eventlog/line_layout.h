#pragma once

#include <QFont>
#include <QPointF>
#include <QString>
#include <QStringView>
#include <QTextCharFormat>
#include <QTextLayout>

#include <vector>

class QPaintDevice;
class QPainter;

namespace eventlog {

// One log line laid out for the screen, in rows no wider than asked, as
// Qt's plain text box lays out a paragraph: rows as high as their font with
// its leading, broken at word boundaries (anywhere if a word is too long).
//
// The line reads left to right whatever the locale, and the texts from
// outside in it (outsidePieces) each read in their own direction. For that
// the text laid out gets invisible isolate marks around those pieces, where
// the line holds right-to-left text at all; the marks are for the screen
// only, and every position here is a column of the line's own text.
class LineLayout {
public:
    // Longer lines are kept whole but shown cut short, so that one huge line
    // cannot stall drawing.
    static constexpr qsizetype kLongestShownLine = 4096;

    // text is the line's start, at least as much of it as is shown; length
    // is the whole line's.
    LineLayout(QStringView text, qsizetype length, const QFont& font, const QPaintDevice* device,
               qreal width);

    qreal height() const { return height_; }
    int rowCount() const { return layout_.lineCount(); }
    // The row holding the caret at column (at a row break, the later row).
    int rowOf(qsizetype column) const;
    qreal rowTop(int row) const { return layout_.lineAt(row).y(); }
    qreal rowBottom(int row) const;
    qsizetype rowStart(int row) const;
    // Past the row's last character, a space it was broken after included.
    qsizetype rowEnd(int row) const;
    // The caret's x at column, from the line's left edge.
    qreal xOf(qsizetype column) const;
    qsizetype columnAt(int row, qreal x) const;
    // The column for a point relative to the line's top left: above the
    // first row its start, below the last its end.
    qsizetype columnAt(QPointF point) const;

    void draw(QPainter* painter, QPointF origin, qsizetype selectedFrom, qsizetype selectedTo,
              const QTextCharFormat& selected) const;
    void drawCaret(QPainter* painter, QPointF origin, qsizetype column) const;

private:
    struct Mark {
        qsizetype column;  // the mark stands before this column's character
        bool closes;
    };

    // Column to index in the text laid out: a caret at a piece's edge stands
    // outside the piece.
    int shown(qsizetype column) const;
    qsizetype columnOf(int shownIndex) const;

    QTextLayout layout_;
    std::vector<Mark> marks_;
    qsizetype length_;
    qsizetype shownLength_;
    qreal height_ = 0;
};

}  // namespace eventlog
