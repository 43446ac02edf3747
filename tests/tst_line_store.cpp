#include <QRandomGenerator>
#include <QTest>

#include "eventlog/line_store.h"

using eventlog::LineStore;
using namespace Qt::StringLiterals;

class TestLineStore : public QObject {
    Q_OBJECT

private slots:
    // The store against a model, the plain joined text: every position's
    // line and every range's text, before and after old lines are dropped,
    // across chunks, ranges that start or end inside a line break included;
    // lines of Latin-1 (kept a byte a character) and of other text (kept as
    // UTF-16) mixed in any order.
    void agreesWithTheJoinedText_data() {
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<int>("maxUnits");
        QTest::addColumn<int>("longLine");
        QTest::addColumn<QString>("letters");
        QTest::newRow("nothing dropped") << 1000 << 1'000'000 << 0 << u"ab\u00ff"_s;
        QTest::newRow("lines dropped") << 5 << 1'000'000 << 0 << u"ab"_s;
        QTest::newRow("units dropped, across chunks") << 1000 << 100'000 << 70'000 << u"ab"_s;
        QTest::newRow("both kinds") << 1000 << 1'000'000 << 0 << u"a\u00e9\u0101\U0001F600"_s;
        QTest::newRow("both kinds, dropped across chunks") << 1000 << 100'000 << 70'000 << u"\u00e9b\u0101c"_s;
    }
    void agreesWithTheJoinedText() {
        QFETCH(int, maxLines);
        QFETCH(int, maxUnits);
        QFETCH(int, longLine);
        QFETCH(QString, letters);
        LineStore store(maxLines, maxUnits);
        QStringList model;
        QRandomGenerator random(42);
        for (int i = 0; i < 40; ++i) {
            const int length = longLine && i % 10 == 5 ? longLine : int(random.bounded(4));
            QString line;
            for (int k = 0; k < length; ++k) {
                line += letters.at((i * 7 + k) % letters.size());
            }
            model << line;
            QString dropped, modelDropped;
            store.append(model.last(), &dropped);
            while (model.size() > 1 && (model.size() > maxLines || model.join(QString()).size() > maxUnits)) {
                modelDropped += model.takeFirst() + QStringLiteral("\r\n");
            }
            QCOMPARE(dropped, modelDropped);
            const QString text = model.join(QStringLiteral("\r\n"));
            QCOMPARE(store.lineCount(), model.size());
            QCOMPARE(store.textLength(), text.size());
            QCOMPARE(store.text(-1, text.size() + 1), text);
            for (int k = 0; k < model.size(); ++k) {
                QCOMPARE(store.line(k), model[k]);
                QCOMPARE(store.linePart(k, 1, 3), model[k].mid(1, 2));
            }
            for (int from = 0; from <= text.size(); from += 1 + int(text.size() / 200)) {
                // A line break belongs to the line before it.
                QCOMPARE(store.lineAt(from), text.left(from).count(QStringLiteral("\r\n")));
                for (int to = from; to <= std::min<int>(text.size(), from + 9); ++to) {
                    QCOMPARE(store.text(from, to), text.mid(from, to - from));
                }
            }
        }
        store.clear();
        store.append(u"again");
        QCOMPARE(store.text(0, store.textLength()), QStringLiteral("again"));
    }
};

QTEST_APPLESS_MAIN(TestLineStore)
#include "tst_line_store.moc"
