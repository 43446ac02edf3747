#include <QTest>

#include "line_store.h"

using eventlog::LineStore;

class TestLineStore : public QObject {
    Q_OBJECT

private slots:
    // "ab\r\n\r\ncde": lines start at 0, 4 and 6; a separator belongs to the
    // line before it.
    void positionsAndRanges() {
        LineStore store;
        for (const char16_t* line : {u"ab", u"", u"cde"}) {
            store.append(line);
        }
        QCOMPARE(store.textLength(), qsizetype(9));
        QCOMPARE(store.lineStart(1), qsizetype(4));
        QCOMPARE(store.lineStart(2), qsizetype(6));
        const qsizetype lineAt[][2] = {{-5, 0}, {0, 0}, {2, 0}, {3, 0}, {4, 1}, {6, 2}, {9, 2}, {99, 2}};
        for (const auto& [position, line] : lineAt) {
            QCOMPARE(store.lineAt(position), line);
        }
        QCOMPARE(store.text(-3, 50), QStringLiteral("ab\r\n\r\ncde"));
        QCOMPARE(store.text(1, 7), QStringLiteral("b\r\n\r\nc"));
        QCOMPARE(store.text(7, 8), QStringLiteral("d"));
        QCOMPARE(store.text(5, 5), QString());
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
        store.clear();
        store.append(u"again");
        QCOMPARE(store.text(0, store.textLength()), QStringLiteral("again"));
    }
};

QTEST_APPLESS_MAIN(TestLineStore)
#include "tst_line_store.moc"
