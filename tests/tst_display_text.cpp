#include <QTest>

#include "eventlog/display_text.h"

class TestDisplayText : public QObject {
    Q_OBJECT

private slots:
    void rendering_data() {
        QTest::addColumn<QString>("clientText");
        QTest::addColumn<QString>("shown");
        const QString x(QChar::ReplacementCharacter);  // what hidden characters become
        const struct {
            const char* row;
            QString clientText;
            QString shown;
        } rows[] = {
            {"plain", QStringLiteral("Sunny (at work) - ok"), QStringLiteral("Sunny (at work) - ok")},
            {"tab kept", QStringLiteral("a\tb"), QStringLiteral("a\tb")},
            {"forged line", QStringLiteral("Bob\r\n[3:04:05 PM] <boss@x> Away"),
             QStringLiteral("Bob  [3:04:05 PM] <boss@x> Away")},
            {"VT FF NEL LS PS", QStringLiteral("a\vb\fc") + QChar(0x85) + QChar(0x2028) + QChar(0x2029),
             QStringLiteral("a b c   ")},
            {"NUL, escape, DEL, C1", QString(QChar(0)) + QStringLiteral("\x1b[") + QChar(0x7F) + QChar(0x9B),
             x + x + u'[' + x + x},
            {"bidi controls", QString(QChar(0x202A)) + QChar(0x202E) + QChar(0x2066) + QChar(0x2069), x + x + x + x},
            {"right-to-left text kept", QStringLiteral("שלום"), QStringLiteral("שלום")},
            {"lone and reversed surrogates", QString(QChar(0xD800)) + u'a' + QChar(0xDC00) + QChar(0xD800),
             x + u'a' + x + x},
            {"pair kept", QStringLiteral("hi 😀"), QStringLiteral("hi 😀")},
        };
        for (const auto& row : rows) {
            QTest::newRow(row.row) << row.clientText << row.shown;
        }
    }
    void rendering() {
        QFETCH(QString, clientText);
        QFETCH(QString, shown);
        QCOMPARE(eventlog::displayText(clientText), shown);
    }
};

QTEST_APPLESS_MAIN(TestDisplayText)
#include "tst_display_text.moc"
