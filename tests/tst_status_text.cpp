#include <QTest>

#include "status_text.h"

class TestStatusText : public QObject {
    Q_OBJECT

private slots:
    void text_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("offline") << 1 << QStringLiteral("Appear Offline");
        QTest::newRow("online") << 2 << QStringLiteral("Online");
        QTest::newRow("appear offline (what Offline sets)")
            << 6 << QStringLiteral("Appear Offline");
        QTest::newRow("busy") << 10 << QStringLiteral("Busy");
        QTest::newRow("be right back") << 14 << QStringLiteral("Be Right Back");
        QTest::newRow("idle") << 18 << QStringLiteral("Idle");
        QTest::newRow("away") << 34 << QStringLiteral("Away");
        QTest::newRow("on the phone") << 50 << QStringLiteral("On The Phone");
        QTest::newRow("out to lunch") << 66 << QStringLiteral("Out To Lunch");
        QTest::newRow("zero") << 0 << QStringLiteral("Unkown/Error0");
        QTest::newRow("negative") << -1 << QStringLiteral("Unkown/Error-1");
        QTest::newRow("between codes") << 3 << QStringLiteral("Unkown/Error3");
        QTest::newRow("past a byte") << 256 << QStringLiteral("Unkown/Error256");
        QTest::newRow("16-bit minimum") << -32768 << QStringLiteral("Unkown/Error-32768");
        QTest::newRow("16-bit maximum") << 32767 << QStringLiteral("Unkown/Error32767");
    }
    void text() {
        QFETCH(int, status);
        QFETCH(QString, text);
        QCOMPARE(eventlog::GetStatusText(static_cast<std::int16_t>(status)), text);
    }
};

QTEST_APPLESS_MAIN(TestStatusText)
#include "tst_status_text.moc"
