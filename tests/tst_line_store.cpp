#include <QTest>

#include "line_store.h"

using eventlog::LineStore;

namespace {
LineStore storeOf(const QStringList& lines, qsizetype maxLines = 1'000'000,
                  qsizetype maxUnits = 1'000'000'000) {
    LineStore store(maxLines, maxUnits);
    for (const QString& line : lines) {
        store.append(line);
    }
    return store;
}
}  // namespace

class TestLineStore : public QObject {
    Q_OBJECT

private slots:
    void positions_data() {
        QTest::addColumn<qsizetype>("position");
        QTest::addColumn<qsizetype>("line");
        // "ab\r\n\r\ncde": lines start at 0, 4 and 6.
        QTest::newRow("start") << qsizetype(0) << qsizetype(0);
        QTest::newRow("end of first line") << qsizetype(2) << qsizetype(0);
        QTest::newRow("in its separator") << qsizetype(3) << qsizetype(0);
        QTest::newRow("empty line") << qsizetype(4) << qsizetype(1);
        QTest::newRow("last line") << qsizetype(6) << qsizetype(2);
        QTest::newRow("end of text") << qsizetype(9) << qsizetype(2);
        QTest::newRow("past the end") << qsizetype(99) << qsizetype(2);
        QTest::newRow("before the start") << qsizetype(-5) << qsizetype(0);
    }
    void positions() {
        QFETCH(qsizetype, position);
        QFETCH(qsizetype, line);
        const LineStore store = storeOf({QStringLiteral("ab"), QString(), QStringLiteral("cde")});
        QCOMPARE(store.textLength(), qsizetype(9));
        QCOMPARE(store.lineStart(0), qsizetype(0));
        QCOMPARE(store.lineStart(1), qsizetype(4));
        QCOMPARE(store.lineStart(2), qsizetype(6));
        QCOMPARE(store.lineAt(position), line);
    }

    void ranges_data() {
        QTest::addColumn<qsizetype>("from");
        QTest::addColumn<qsizetype>("to");
        QTest::addColumn<QString>("text");
        QTest::newRow("all") << qsizetype(0) << qsizetype(9) << QStringLiteral("ab\r\n\r\ncde");
        QTest::newRow("inside a line") << qsizetype(7) << qsizetype(8) << QStringLiteral("d");
        QTest::newRow("across lines")
            << qsizetype(1) << qsizetype(7) << QStringLiteral("b\r\n\r\nc");
        QTest::newRow("empty range") << qsizetype(5) << qsizetype(5) << QString();
        QTest::newRow("clamped") << qsizetype(-3) << qsizetype(50)
                                 << QStringLiteral("ab\r\n\r\ncde");
    }
    void ranges() {
        QFETCH(qsizetype, from);
        QFETCH(qsizetype, to);
        QFETCH(QString, text);
        const LineStore store = storeOf({QStringLiteral("ab"), QString(), QStringLiteral("cde")});
        QCOMPARE(store.text(from, to), text);
    }

    // Past its limits the store drops its oldest lines, across chunks too,
    // and the newest are always kept.
    void limits_data() {
        QTest::addColumn<int>("lineLength");
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<int>("maxUnits");
        QTest::addColumn<int>("kept");
        QTest::newRow("lines, one chunk") << 5 << 3 << 1'000'000 << 3;
        QTest::newRow("lines, a chunk each") << 40'000 << 3 << 100'000'000 << 3;
        QTest::newRow("units") << 30 << 1'000 << 100 << 3;
        QTest::newRow("one line over the unit limit stays") << 500 << 1'000 << 100 << 1;
    }
    void limits() {
        QFETCH(int, lineLength);
        QFETCH(int, maxLines);
        QFETCH(int, maxUnits);
        QFETCH(int, kept);
        LineStore store(maxLines, maxUnits);
        QStringList all;
        for (int i = 0; i < 7; ++i) {
            all << QString(lineLength - 1, QChar(u'a' + i)) + QString::number(i);
            store.append(all.last());
        }
        QCOMPARE(store.lineCount(), qsizetype(kept));
        QCOMPARE(store.text(0, store.textLength()), all.mid(7 - kept).join(QStringLiteral("\r\n")));
        QCOMPARE(store.lineStart(0), qsizetype(0));
        QCOMPARE(store.lineAt(store.textLength()), qsizetype(kept - 1));
        QCOMPARE(store.droppedLines(), qsizetype(7 - kept));
    }

    void clearStartsAfresh() {
        LineStore store = storeOf({QStringLiteral("a"), QStringLiteral("b")}, 1);
        store.clear();
        QVERIFY(store.isEmpty());
        QCOMPARE(store.textLength(), qsizetype(0));
        store.append(u"c");
        QCOMPARE(store.text(0, store.textLength()), QStringLiteral("c"));
    }

    void memoryIsCompact() {
        LineStore store;
        const QString line =
            QStringLiteral("[3:04:05 PM] <alex.moreau@example.com> Changed Status To: Away");
        for (int i = 0; i < 100'000; ++i) {
            store.append(line);
        }
        const qsizetype perLine = store.memoryUsed() / store.lineCount();
        QVERIFY2(perLine <= line.size() * 2 + 16, qPrintable(QString::number(perLine)));
    }
};

QTEST_APPLESS_MAIN(TestLineStore)
#include "tst_line_store.moc"
