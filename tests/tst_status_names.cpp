#include <QTest>

#include "status_text.h"

class TestStatusText : public QObject {
    Q_OBJECT

private slots:
    void text_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        const struct {
            int status;
            const char* text;
        } rows[] = {
            {1, "Appear Offline"},
            {2, "Online"},
            {6, "Appear Offline"},
            {10, "Busy"},
            {14, "Be Right Back"},
            {18, "Idle"},
            {34, "Away"},
            {50, "On The Phone"},
            {66, "Out To Lunch"},
            {0, "Unkown/Error0"},
            {-1, "Unkown/Error-1"},
            {3, "Unkown/Error3"},
            {256, "Unkown/Error256"},
            {-32768, "Unkown/Error-32768"},
            {32767, "Unkown/Error32767"},
        };
        for (const auto& row : rows) {
            QTest::addRow("%d", row.status) << row.status << QString::fromLatin1(row.text);
        }
    }
    void text() {
        QFETCH(int, status);
        QFETCH(QString, text);
        QCOMPARE(eventlog::GetStatusText(static_cast<std::int16_t>(status)), text);
    }
};

QTEST_APPLESS_MAIN(TestStatusText)
#include "tst_status_text.moc"
