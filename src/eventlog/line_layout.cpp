#include "eventlog/line_layout.h"

#include <QPainter>
#include <QTextOption>
#include <QtMath>

#include <algorithm>

#include "eventlog/log_line.h"

namespace eventlog {

namespace {

constexpr QChar kFirstStrongIsolate(0x2068);
constexpr QChar kPopIsolate(0x2069);

// Whether the line holds any right-to-left text; most do not, and are laid
// out as they are.
bool holdsRightToLeft(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = text.at(i).unicode();
        // Below Hebrew everything reads left to right or takes its direction
        // from around it.
        if (c < 0x0590) {
            continue;
        }
        char32_t code = c;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, text.at(++i).unicode());
        }
        switch (QChar::direction(code)) {
            case QChar::DirR:
            case QChar::DirAL:
            case QChar::DirAN: return true;
            default: break;
        }
    }
    return false;
}

}  // namespace

LineLayout::LineLayout(QStringView text, qsizetype length, const QFont& font,
                       const QPaintDevice* device, qreal width)
    : layout_(QString(), font, device),
      length_(length),
      shownLength_(std::min({text.size(), length, kLongestShownLine})) {
    const QStringView kept = text.left(shownLength_);
    QString shownText;
    if (holdsRightToLeft(kept)) {
        for (const LinePiece& piece : outsidePieces(kept)) {
            marks_.push_back({piece.start, false});
            marks_.push_back({piece.end, true});
        }
        shownText.reserve(kept.size() + qsizetype(marks_.size()) + 1);
        qsizetype from = 0;
        for (const Mark& mark : marks_) {
            shownText.append(kept.mid(from, mark.column - from));
            shownText.append(mark.closes ? kPopIsolate : kFirstStrongIsolate);
            from = mark.column;
        }
        shownText.append(kept.mid(from));
    } else {
        shownText = kept.toString();
    }
    if (shownLength_ < length_) {
        shownText.append(QChar(0x2026));
    }
    layout_.setText(shownText);

    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTextDirection(Qt::LeftToRight);
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    layout_.setTextOption(option);
    layout_.setCacheEnabled(true);
    layout_.beginLayout();
    for (QTextLine row = layout_.createLine(); row.isValid(); row = layout_.createLine()) {
        row.setLeadingIncluded(true);
        row.setLineWidth(width);
        row.setPosition(QPointF(0, height_));
        height_ += row.height();
        if (row.leading() < 0) {
            height_ += qCeil(row.leading());
        }
    }
    layout_.endLayout();
}

int LineLayout::shown(qsizetype column) const {
    if (column > shownLength_) {
        // Past where the line is cut short: after the mark that says so.
        return static_cast<int>(layout_.text().size());
    }
    column = std::max<qsizetype>(column, 0);
    qsizetype index = column;
    for (const Mark& mark : marks_) {
        if (mark.column < column || (mark.column == column && mark.closes)) {
            ++index;
        }
    }
    return static_cast<int>(index);
}

qsizetype LineLayout::columnOf(int shownIndex) const {
    qsizetype column = shownIndex;
    for (std::size_t k = 0; k < marks_.size(); ++k) {
        const qsizetype markIndex = marks_[k].column + qsizetype(k);
        if (markIndex < shownIndex) {
            --column;
        }
    }
    // After the mark that says the line was cut short: its end.
    return column > shownLength_ ? length_ : column;
}

int LineLayout::rowOf(qsizetype column) const {
    const QTextLine row = layout_.lineForTextPosition(shown(column));
    return row.isValid() ? row.lineNumber() : std::max(0, rowCount() - 1);
}

qreal LineLayout::rowBottom(int row) const {
    const QTextLine line = layout_.lineAt(row);
    return line.y() + line.height();
}

qsizetype LineLayout::rowStart(int row) const {
    return columnOf(layout_.lineAt(row).textStart());
}

qsizetype LineLayout::rowEnd(int row) const {
    const QTextLine line = layout_.lineAt(row);
    return columnOf(line.textStart() + line.textLength());
}

qreal LineLayout::xOf(qsizetype column) const {
    const int index = shown(column);
    const QTextLine row = layout_.lineForTextPosition(index);
    return row.isValid() ? row.cursorToX(index) : 0;
}

qsizetype LineLayout::columnAt(int row, qreal x) const {
    return columnOf(layout_.lineAt(row).xToCursor(x));
}

qsizetype LineLayout::columnAt(QPointF point) const {
    // Rows above the point count to their end, rows below to their start.
    qsizetype column = 0;
    for (int i = 0; i < rowCount(); ++i) {
        const QTextLine row = layout_.lineAt(i);
        if (row.y() > point.y()) {
            column = std::min(column, rowStart(i));
        } else if (row.y() + row.height() <= point.y()) {
            column = std::max(column, rowEnd(i));
        } else {
            return columnAt(i, point.x());
        }
    }
    return column;
}

void LineLayout::draw(QPainter* painter, QPointF origin, qsizetype selectedFrom,
                      qsizetype selectedTo, const QTextCharFormat& selected) const {
    QList<QTextLayout::FormatRange> selections;
    if (selectedFrom < selectedTo) {
        const int from = shown(selectedFrom);
        // A selection running past the line takes the cut-short mark too.
        const int to = selectedTo > shownLength_ ? int(layout_.text().size()) : shown(selectedTo);
        selections.append({from, to - from, selected});
    }
    layout_.draw(painter, origin, selections);
}

void LineLayout::drawCaret(QPainter* painter, QPointF origin, qsizetype column) const {
    layout_.drawCursor(painter, origin, shown(column));
}

}  // namespace eventlog
