#include <QTest>

#include "eventlog/text_units.h"

using eventlog::LineStore;
using eventlog::TextSpan;
using eventlog::TextUnit;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TextUnit)

namespace {

// Two lines and a third with a character outside the basic plane.
LineStore sampleLog() {
    LineStore lines;
    for (const QString& line :
         {u"[9:00] <bob> Changed Status To: Busy"_s, u"Hi there. Bye now."_s, u"a\U0001F600b"_s}) {
        lines.append(line);
    }
    return lines;
}

QString textOf(const LineStore& lines, TextSpan span) {
    return lines.text(span.start, span.end);
}

}  // namespace

class TestTextUnits : public QObject {
    Q_OBJECT

private slots:
    // What a reader gets at, before and after an offset, read against the
    // copied log text.
    void unitsAroundAnOffset_data() {
        QTest::addColumn<TextUnit>("unit");
        QTest::addColumn<int>("offset");  // -1: the end of the text
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("at");
        QTest::addColumn<QString>("after");
        QTest::newRow("character at 0") << TextUnit::Character << 0 << QString() << u"["_s << u"9"_s;
        QTest::newRow("character inside CR LF") << TextUnit::Character << 37 << u"y"_s << u"\r\n"_s << u"H"_s;
        QTest::newRow("character, a surrogate pair")
            << TextUnit::Character << 59 << u"a"_s << u"\U0001F600"_s << u"b"_s;
        QTest::newRow("character at the end") << TextUnit::Character << -1 << u"b"_s << QString() << QString();
        QTest::newRow("word in a line") << TextUnit::Word << 15 << u" "_s << u"Changed"_s << u" "_s;
        QTest::newRow("word at the end of a line") << TextUnit::Word << 34 << u" "_s << u"Busy"_s << u"\r\n"_s;
        QTest::newRow("word at the end") << TextUnit::Word << -1 << u"\U0001F600"_s << u"b"_s << QString();
        QTest::newRow("sentence") << TextUnit::Sentence << 48 << u"Hi there. "_s << u"Bye now.\r\n"_s
                                  << u"a\U0001F600b"_s;
        QTest::newRow("line at 0") << TextUnit::Line << 0 << QString() << u"[9:00] <bob> Changed Status To: Busy\r\n"_s
                                   << u"Hi there. Bye now.\r\n"_s;
        QTest::newRow("line at the end") << TextUnit::Line << -1 << u"Hi there. Bye now.\r\n"_s << u"a\U0001F600b"_s
                                         << QString();
    }
    void unitsAroundAnOffset() {
        QFETCH(TextUnit, unit);
        QFETCH(int, offset);
        QFETCH(QString, before);
        QFETCH(QString, at);
        QFETCH(QString, after);
        const LineStore lines = sampleLog();
        const qsizetype where = offset < 0 ? lines.textLength() : offset;
        QCOMPARE(textOf(lines, eventlog::unitBefore(lines, where, unit)), before);
        QCOMPARE(textOf(lines, eventlog::unitAt(lines, where, unit)), at);
        QCOMPARE(textOf(lines, eventlog::unitAfter(lines, where, unit)), after);
    }

    // Stepping unit after unit from the start covers the text exactly, each
    // unit holds the offsets inside it, and an empty log has none.
    void unitsTileTheText() {
        const LineStore lines = sampleLog();
        for (const TextUnit unit : {TextUnit::Character, TextUnit::Word, TextUnit::Sentence, TextUnit::Line}) {
            qsizetype position = 0;
            for (TextSpan span = eventlog::unitAt(lines, 0, unit); span.start < span.end;
                 span = eventlog::unitAfter(lines, position - 1, unit)) {
                QCOMPARE(span.start, position);
                for (qsizetype inside = span.start; inside < span.end; ++inside) {
                    QCOMPARE(eventlog::unitAt(lines, inside, unit), span);
                }
                position = span.end;
            }
            QCOMPARE(position, lines.textLength());
            QCOMPARE(eventlog::unitAt(LineStore(), 0, unit), TextSpan{});
        }
    }
};

QTEST_GUILESS_MAIN(TestTextUnits)
#include "tst_text_units.moc"
