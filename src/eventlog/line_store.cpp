#include "eventlog/line_store.h"

#include <algorithm>

namespace eventlog {

LineStore::LineStore(qsizetype maxLines, qsizetype maxUnits)
    : maxLines_(std::max<qsizetype>(1, maxLines)), maxUnits_(std::max<qsizetype>(1, maxUnits)) {}

void LineStore::setLimits(qsizetype maxLines, qsizetype maxUnits) {
    maxLines_ = std::max<qsizetype>(1, maxLines);
    maxUnits_ = std::max<qsizetype>(1, maxUnits);
    enforceLimits();
}

void LineStore::append(QStringView line, QString* dropped) {
    const bool fits = !chunks_.empty() &&
                      chunks_.back().text.size() + line.size() <= chunks_.back().text.capacity();
    if (!fits) {
        Chunk chunk;
        chunk.text.reserve(std::max(kChunkUnits, line.size()));
        chunk.firstLine = droppedLines_ + lineCount_;
        chunk.textBase = droppedText_ + textLength() + (lineCount_ > 0 ? 2 : 0);
        chunks_.push_back(std::move(chunk));
    }
    Chunk& chunk = chunks_.back();
    chunk.text.append(line);
    chunk.ends.push_back(static_cast<std::uint32_t>(chunk.text.size()));
    ++lineCount_;
    unitCount_ += line.size();
    enforceLimits(dropped);
}

void LineStore::enforceLimits(QString* dropped) {
    while (lineCount_ > 1 && (lineCount_ > maxLines_ || unitCount_ > maxUnits_)) {
        dropOldestLine(dropped);
    }
}

void LineStore::dropOldestLine(QString* dropped) {
    if (dropped) {
        *dropped += line(0);
        *dropped += QStringLiteral("\r\n");
    }
    const Chunk& oldest = chunks_.front();
    const auto k = static_cast<std::size_t>(droppedLines_ - oldest.firstLine);
    const qsizetype begin = k == 0 ? 0 : oldest.ends[k - 1];
    unitCount_ -= oldest.ends[k] - begin;
    --lineCount_;
    ++droppedLines_;
    if (k + 1 == oldest.ends.size()) {
        // Its last line is gone: the chunk's memory goes back.
        chunks_.pop_front();
        droppedText_ = chunks_.front().textBase;
    } else {
        droppedText_ = oldest.textBase + oldest.ends[k] + 2 * static_cast<qsizetype>(k + 1);
    }
}

void LineStore::clear() {
    chunks_.clear();
    lineCount_ = 0;
    unitCount_ = 0;
    droppedLines_ = 0;
    droppedText_ = 0;
}

qsizetype LineStore::textLength() const {
    if (chunks_.empty()) {
        return 0;
    }
    const Chunk& last = chunks_.back();
    const qsizetype linesInLast = static_cast<qsizetype>(last.ends.size());
    return last.textBase - droppedText_ + last.text.size() + 2 * (linesInLast - 1);
}

const LineStore::Chunk& LineStore::chunkOf(qsizetype absoluteLine) const {
    auto after =
        std::upper_bound(chunks_.begin(), chunks_.end(), absoluteLine,
                         [](qsizetype line, const Chunk& chunk) { return line < chunk.firstLine; });
    return *(after - 1);
}

QStringView LineStore::line(qsizetype index) const {
    const Chunk& chunk = chunkOf(droppedLines_ + index);
    const auto k = static_cast<std::size_t>(droppedLines_ + index - chunk.firstLine);
    const qsizetype begin = k == 0 ? 0 : chunk.ends[k - 1];
    return QStringView(chunk.text).mid(begin, chunk.ends[k] - begin);
}

qsizetype LineStore::lineStart(qsizetype index) const {
    const Chunk& chunk = chunkOf(droppedLines_ + index);
    const auto k = static_cast<std::size_t>(droppedLines_ + index - chunk.firstLine);
    const qsizetype begin = k == 0 ? 0 : chunk.ends[k - 1];
    return chunk.textBase - droppedText_ + begin + 2 * static_cast<qsizetype>(k);
}

qsizetype LineStore::lineAt(qsizetype position) const {
    if (lineCount_ == 0) {
        return 0;
    }
    const qsizetype absolute = droppedText_ + std::clamp<qsizetype>(position, 0, textLength());
    auto after =
        std::upper_bound(chunks_.begin(), chunks_.end(), absolute,
                         [](qsizetype pos, const Chunk& chunk) { return pos < chunk.textBase; });
    const Chunk& chunk = *(after - 1);
    // Within the chunk, line k covers [begin_k + 2k, end_k + 2k + 2).
    std::size_t low = 0;
    std::size_t high = chunk.ends.size() - 1;
    const qsizetype offset = absolute - chunk.textBase;
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (offset <
            static_cast<qsizetype>(chunk.ends[mid]) + 2 * static_cast<qsizetype>(mid) + 2) {
            high = mid;
        } else {
            low = mid + 1;
        }
    }
    return chunk.firstLine - droppedLines_ + static_cast<qsizetype>(low);
}

QString LineStore::text(qsizetype from, qsizetype to, QStringView separator) const {
    QString result;
    from = std::clamp<qsizetype>(from, 0, textLength());
    to = std::clamp<qsizetype>(to, from, textLength());
    if (from == to) {
        return result;
    }
    const qsizetype first = lineAt(from);
    const qsizetype last = lineAt(to);
    for (qsizetype i = first; i <= last; ++i) {
        const qsizetype start = lineStart(i);
        const QStringView body = line(i);
        const qsizetype begin = std::max<qsizetype>(from - start, 0);
        const qsizetype end = std::min<qsizetype>(to - start, body.size());
        if (begin < end) {
            result += body.mid(begin, end - begin);
        }
        // The line break after this line, as far as the range covers it; a
        // separator other than the log's own stands for the whole break.
        const qsizetype breakStart = start + body.size();
        const qsizetype coveredFrom = std::max(from, breakStart);
        const qsizetype coveredTo = std::min(to, breakStart + 2);
        if (i < lineCount_ - 1 && coveredFrom < coveredTo) {
            result += separator == QStringView(u"\r\n")
                          ? separator.mid(coveredFrom - breakStart, coveredTo - coveredFrom)
                          : separator;
        }
    }
    return result;
}

qsizetype LineStore::memoryUsed() const {
    qsizetype bytes = 0;
    for (const Chunk& chunk : chunks_) {
        bytes += chunk.text.capacity() * 2 + static_cast<qsizetype>(chunk.ends.capacity() * 4) +
                 static_cast<qsizetype>(sizeof(Chunk));
    }
    return bytes;
}

}  // namespace eventlog
