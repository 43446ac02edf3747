#include <QTest>

#include "log_line.h"
#include "text_case.h"
#include "time_format.h"

namespace {
const QTime kTime(15, 4, 5);
QLocale locale(const char* name) {
    return QLocale(QString::fromLatin1(name));
}
}  // namespace

class TestLogLine : public QObject {
    Q_OBJECT

private slots:
    void composition_data() {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("eventText");
        QTest::addColumn<QString>("line");
        QTest::newRow("contact away")
            << QStringLiteral("bob@example.com") << QStringLiteral("Changed status to: Away")
            << QStringLiteral("[3:04:05 PM] <bob@example.com> Changed Status To: Away");
        QTest::newRow("capitals in the sign-in name")
            << QStringLiteral("Bob.SMITH@Example.COM") << QStringLiteral("Opened window")
            << QStringLiteral("[3:04:05 PM] <bob.smith@example.com> Opened Window");
        QTest::newRow("empty sign-in name") << QString() << QStringLiteral("Opened window")
                                            << QStringLiteral("[3:04:05 PM] <> Opened Window");
        QTest::newRow("empty event text")
            << QStringLiteral("a@b.c") << QString() << QStringLiteral("[3:04:05 PM] <a@b.c> ");
        QTest::newRow("proper case: be right back")
            << QStringLiteral("x@y") << QStringLiteral("Changed status to: Be Right Back")
            << QStringLiteral("[3:04:05 PM] <x@y> Changed Status To: Be Right Back");
        QTest::newRow("proper case: capitals in a name")
            << QStringLiteral("x@y") << QStringLiteral("Name changed to: hAPPY dAYS")
            << QStringLiteral("[3:04:05 PM] <x@y> Name Changed To: Happy Days");
        QTest::newRow("proper case: punctuation belongs to words")
            << QStringLiteral("x@y") << QStringLiteral("Status Changed to: Unkown/Error6")
            << QStringLiteral("[3:04:05 PM] <x@y> Status Changed To: Unkown/error6");
        QTest::newRow("proper case: brackets and dashes")
            << QStringLiteral("x@y") << QStringLiteral("Changed name to: (BUSY)-mary o'neil")
            << QStringLiteral("[3:04:05 PM] <x@y> Changed Name To: (busy)-mary O'neil");
        QTest::newRow("proper case: tab separates words")
            << QStringLiteral("x@y") << QStringLiteral("a\tb")
            << QStringLiteral("[3:04:05 PM] <x@y> A\tB");
        QTest::newRow("forged line becomes one line")
            << QStringLiteral("mallory@example.com")
            << QStringLiteral("Changed name to: x\r\n[3:04:05 PM] <boss@example.com> quit")
            << QStringLiteral(
                   "[3:04:05 PM] <mallory@example.com> Changed Name To: X  "
                   "[3:04:05 Pm] <boss@example.com> Quit");
        QTest::newRow("line break in the sign-in name")
            << QStringLiteral("a@b\nc") << QStringLiteral("Opened window")
            << QStringLiteral("[3:04:05 PM] <a@b c> Opened Window");
        QTest::newRow("bidi override in a name")
            << QStringLiteral("x@y")
            << QStringLiteral("Changed name to: ") + QChar(0x202E) + QStringLiteral("abc")
            << QStringLiteral("[3:04:05 PM] <x@y> Changed Name To: ") +
                   QChar(QChar::ReplacementCharacter) + QStringLiteral("abc");
        QTest::newRow("non-latin letters")
            << QStringLiteral("ÉLODIE@EXAMPLE.FR")
            << QStringLiteral("Changed name to: ÉLODIE ΣΟΦΙΑ")
            << QStringLiteral("[3:04:05 PM] <élodie@example.fr> Changed Name To: Élodie Σοφια");
        QTest::newRow("letters beyond the BMP")
            << QStringLiteral("x@y") << QStringLiteral("Changed name to: 𐐀𐐀 𐐨𐐨")
            << QStringLiteral("[3:04:05 PM] <x@y> Changed Name To: 𐐀𐐨 𐐀𐐨");
        QTest::newRow("digraph title case")
            << QStringLiteral("x@y") << QStringLiteral("Changed name to: ǄEMAL")
            << QStringLiteral("[3:04:05 PM] <x@y> Changed Name To: ǅemal");
    }
    void composition() {
        QFETCH(QString, email);
        QFETCH(QString, eventText);
        QFETCH(QString, line);
        const eventlog::LogLineFormat format(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(format.compose(kTime, email, eventText), line);
    }

    void callersStringsUnchanged() {
        const eventlog::LogLineFormat format(QLocale(QLocale::English, QLocale::UnitedStates));
        const QString email = QStringLiteral("A@B");
        const QString text = QStringLiteral("Opened window");
        format.compose(kTime, email, text);
        QCOMPARE(email, QStringLiteral("A@B"));
        QCOMPARE(text, QStringLiteral("Opened window"));
    }

    void lowerCaseFollowsLocale() {
        QCOMPARE(eventlog::lowerCase(QStringLiteral("IRMAK@X"), locale("tr_TR")),
                 QStringLiteral("ırmak@x"));
        QCOMPARE(eventlog::lowerCase(QStringLiteral("IRMAK@X"), locale("en_US")),
                 QStringLiteral("irmak@x"));
    }

    // Proper case applied twice gives what it gave once, in every locale:
    // inputs the fuzz target once found otherwise.
    void properCaseIsStable_data() {
        QTest::addColumn<QString>("localeName");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("proper");
        QTest::newRow("Lithuanian i and j under accents")
            << QStringLiteral("lt_LT") << QStringLiteral("ĮÌ J\u0303")
            << QStringLiteral("Įi\u0307\u0300 J\u0303");
        QTest::newRow("Lithuanian accented capital I")
            << QStringLiteral("lt_LT") << QStringLiteral("ít Íx I\u0301y")
            << QStringLiteral("Ít Íx Íy");
        QTest::newRow("Lithuanian dotless i under a grave")
            << QStringLiteral("lt_LT") << QStringLiteral("\u0131\u0300i x")
            << QStringLiteral("\u00CCi X");
        QTest::newRow("Turkish dotted and dotless i")
            << QStringLiteral("tr_TR") << QStringLiteral("İSTANBUL ıi")
            << QStringLiteral("İstanbul Ii");
        QTest::newRow("Greek final sigma")
            << QStringLiteral("el_GR") << QStringLiteral("ΟΔΥΣΣΕΥΣ Σ")
            << QStringLiteral("Οδυσσευς Σ");
    }
    void properCaseIsStable() {
        QFETCH(QString, localeName);
        QFETCH(QString, text);
        QFETCH(QString, proper);
        const QLocale locale(localeName);
        const QString once = eventlog::properCase(text, locale);
        QCOMPARE(once, proper);
        QCOMPARE(eventlog::properCase(once, locale), once);
    }

    void timeOfDay_data() {
        QTest::addColumn<QString>("localeName");
        QTest::addColumn<QString>("shown");
        QTest::newRow("US English") << QStringLiteral("en_US") << QStringLiteral("3:04:05 PM");
        QTest::newRow("German") << QStringLiteral("de_DE") << QStringLiteral("15:04:05");
        QTest::newRow("Japanese") << QStringLiteral("ja_JP") << QStringLiteral("15時04分05秒");
        QTest::newRow("Chinese, zone first")
            << QStringLiteral("zh_CN") << QStringLiteral("15:04:05");
        QTest::newRow("Persian, zone in brackets")
            << QStringLiteral("fa_IR") << QStringLiteral("۱۵:۰۴:۰۵");
        QTest::newRow("Albanian, zone after a comma")
            << QStringLiteral("sq_AL") << QStringLiteral("3:04:05 E PASDITES");
        QTest::newRow("Bulgarian, quoted literal kept")
            << QStringLiteral("bg_BG") << QStringLiteral("15:04:05 ч.");
    }
    void timeOfDay() {
        QFETCH(QString, localeName);
        QFETCH(QString, shown);
        QCOMPARE(eventlog::formatTimeOfDay(kTime, QLocale(localeName)), shown);
    }

    void shortDate() {
        QCOMPARE(eventlog::formatShortDate(QDate(2026, 12, 6), locale("en_US")),
                 QStringLiteral("12/6/26"));
        QCOMPARE(eventlog::formatShortDate(QDate(2026, 12, 6), locale("de_DE")),
                 QStringLiteral("06.12.26"));
    }
};

QTEST_APPLESS_MAIN(TestLogLine)
#include "tst_log_line.moc"
