#include "eventlog/line_store.h"

#include <algorithm>
#include <cstring>

namespace eventlog {

LineStore::LineStore(qsizetype maxLines, qsizetype maxUnits)
    : maxLines_(std::max<qsizetype>(1, maxLines)), maxUnits_(std::max<qsizetype>(1, maxUnits)) {}

void LineStore::setLimits(qsizetype maxLines, qsizetype maxUnits, QString* dropped) {
    maxLines_ = std::max<qsizetype>(1, maxLines);
    maxUnits_ = std::max<qsizetype>(1, maxUnits);
    enforceLimits(dropped);
}

void LineStore::append(QStringView line, QString* dropped) {
    const qsizetype size = line.size();
    const bool latin1 =
        std::all_of(line.begin(), line.end(), [](QChar c) { return c.unicode() < 0x100; });
    // UTF-16 starts on an even byte, so that it is read aligned.
    const auto bytesFor = [&](const Chunk& chunk) {
        return latin1 ? size : chunk.bytes.size() % 2 + 2 * size;
    };
    const bool fits = !chunks_.empty() && chunks_.back().bytes.size() + bytesFor(chunks_.back()) <=
                                              chunks_.back().bytes.capacity();
    if (!fits) {
        Chunk chunk;
        chunk.bytes.reserve(std::max(kChunkBytes, latin1 ? size : 2 * size));
        chunk.firstLine = droppedLines_ + lineCount_;
        chunk.textBase = droppedText_ + textLength() + (lineCount_ > 0 ? 2 : 0);
        chunks_.push_back(std::move(chunk));
    }
    Chunk& chunk = chunks_.back();
    qsizetype at = chunk.bytes.size();
    if (latin1) {
        chunk.bytes.resize(at + size);
        char* out = chunk.bytes.data() + at;
        for (qsizetype i = 0; i < size; ++i) {
            out[i] = static_cast<char>(line[i].unicode());
        }
    } else {
        at += at % 2;
        chunk.bytes.resize(at + 2 * size);
        std::memcpy(chunk.bytes.data() + at, line.utf16(), std::size_t(2 * size));
        chunk.wide.push_back(
            {static_cast<std::uint32_t>(chunk.ends.size()), static_cast<std::uint32_t>(at)});
    }
    const std::uint32_t begin = chunk.ends.empty() ? 0 : chunk.ends.back();
    chunk.ends.push_back(begin + static_cast<std::uint32_t>(size));
    ++lineCount_;
    unitCount_ += size;
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
    return last.textBase - droppedText_ + last.ends.back() + 2 * (linesInLast - 1);
}

const LineStore::Chunk& LineStore::chunkOf(qsizetype absoluteLine) const {
    auto after =
        std::upper_bound(chunks_.begin(), chunks_.end(), absoluteLine,
                         [](qsizetype line, const Chunk& chunk) { return line < chunk.firstLine; });
    return *(after - 1);
}

LineStore::Stored LineStore::stored(qsizetype index) const {
    const Chunk& chunk = chunkOf(droppedLines_ + index);
    const auto k = static_cast<std::uint32_t>(droppedLines_ + index - chunk.firstLine);
    const std::uint32_t begin = k == 0 ? 0 : chunk.ends[k - 1];
    const qsizetype length = chunk.ends[k] - begin;
    const auto after =
        std::lower_bound(chunk.wide.begin(), chunk.wide.end(), k,
                         [](const WideLine& wide, std::uint32_t line) { return wide.line < line; });
    if (after != chunk.wide.end() && after->line == k) {
        return {chunk.bytes.constData() + after->byteStart, length, true};
    }
    // Latin-1 lines lie one byte a character after the last UTF-16 line.
    qsizetype byte = begin;
    if (after != chunk.wide.begin()) {
        const WideLine& last = *(after - 1);
        const std::uint32_t lastBegin = last.line == 0 ? 0 : chunk.ends[last.line - 1];
        const std::uint32_t lastEnd = chunk.ends[last.line];
        byte = last.byteStart + 2 * qsizetype(lastEnd - lastBegin) + (begin - lastEnd);
    }
    return {chunk.bytes.constData() + byte, length, false};
}

void LineStore::appendPart(QString& to, Stored line, qsizetype from, qsizetype end) {
    if (line.wide) {
        to.append(QStringView(reinterpret_cast<const char16_t*>(line.data) + from, end - from));
    } else {
        to.append(QLatin1String(line.data + from, end - from));
    }
}

qsizetype LineStore::lineLength(qsizetype index) const {
    const Chunk& chunk = chunkOf(droppedLines_ + index);
    const auto k = static_cast<std::size_t>(droppedLines_ + index - chunk.firstLine);
    return chunk.ends[k] - (k == 0 ? 0 : chunk.ends[k - 1]);
}

QString LineStore::linePart(qsizetype index, qsizetype from, qsizetype to) const {
    const Stored line = stored(index);
    to = std::clamp<qsizetype>(to, 0, line.length);
    from = std::clamp<qsizetype>(from, 0, to);
    QString part;
    appendPart(part, line, from, to);
    return part;
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
    result.reserve(to - from);
    const qsizetype first = lineAt(from);
    const qsizetype last = lineAt(to);
    for (qsizetype i = first; i <= last; ++i) {
        const qsizetype start = lineStart(i);
        const Stored body = stored(i);
        const qsizetype begin = std::max<qsizetype>(from - start, 0);
        const qsizetype end = std::min<qsizetype>(to - start, body.length);
        if (begin < end) {
            appendPart(result, body, begin, end);
        }
        // The line break after this line, as far as the range covers it; a
        // separator other than the log's own stands for the whole break.
        const qsizetype breakStart = start + body.length;
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

}  // namespace eventlog
