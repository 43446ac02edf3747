#include <QTest>

#include "display_text.h"

class TestDisplayText : public QObject {
    Q_OBJECT

private slots:
    void rendering_data() {
        QTest::addColumn<QString>("clientText");
        QTest::addColumn<QString>("shown");
        const QString fffd(QChar::ReplacementCharacter);
        QTest::newRow("plain") << QStringLiteral("Sunny (at work) - ok")
                               << QStringLiteral("Sunny (at work) - ok");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("tab kept") << QStringLiteral("a\tb") << QStringLiteral("a\tb");
        QTest::newRow("forged line CR LF")
            << QStringLiteral("Bob\r\n[3:04:05 PM] <boss@example.com> Changed Status To: Away")
            << QStringLiteral("Bob  [3:04:05 PM] <boss@example.com> Changed Status To: Away");
        QTest::newRow("LF") << QStringLiteral("a\nb") << QStringLiteral("a b");
        QTest::newRow("VT FF") << QStringLiteral("a\vb\fc") << QStringLiteral("a b c");
        QTest::newRow("NEL") << QStringLiteral("a") + QChar(0x85) + u'b' << QStringLiteral("a b");
        QTest::newRow("line and paragraph separators")
            << QStringLiteral("a") + QChar(0x2028) + u'b' + QChar(0x2029) << QStringLiteral("a b ");
        QTest::newRow("NUL") << QString(QChar(0)) + u'x' << fffd + u'x';
        QTest::newRow("escape") << QStringLiteral("\x1b[31mred")
                                << fffd + QStringLiteral("[31mred");
        QTest::newRow("DEL and C1") << QString(QChar(0x7F)) + QChar(0x9B) << fffd + fffd;
        QTest::newRow("right-to-left override")
            << QStringLiteral("evil") + QChar(0x202E) + QStringLiteral("gpj.exe")
            << QStringLiteral("evil") + fffd + QStringLiteral("gpj.exe");
        QTest::newRow("embeddings and isolates")
            << QString(QChar(0x202A)) + QChar(0x202B) + QChar(0x202C) + QChar(0x202D) +
                   QChar(0x2066) + QChar(0x2067) + QChar(0x2068) + QChar(0x2069)
            << QString(8, QChar::ReplacementCharacter);
        QTest::newRow("right-to-left text kept")
            << QStringLiteral("שלום") << QStringLiteral("שלום");
        QTest::newRow("lone high surrogate") << QString(QChar(0xD800)) + u'a' << fffd + u'a';
        QTest::newRow("lone low surrogate at end")
            << QStringLiteral("a") + QChar(0xDC00) << QStringLiteral("a") + fffd;
        QTest::newRow("reversed pair") << QString(QChar(0xDC00)) + QChar(0xD800) << fffd + fffd;
        QTest::newRow("emoji pair kept") << QStringLiteral("hi 😀") << QStringLiteral("hi 😀");
    }
    void rendering() {
        QFETCH(QString, clientText);
        QFETCH(QString, shown);
        QCOMPARE(eventlog::displayText(clientText), shown);
    }
};

QTEST_APPLESS_MAIN(TestDisplayText)
#include "tst_display_text.moc"
