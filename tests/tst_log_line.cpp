#include <QTest>

#include "eventlog/log_line.h"
#include "eventlog/text_case.h"
#include "eventlog/time_format.h"

namespace {
const QTime kTime(15, 4, 5);
}

class TestLogLine : public QObject {
    Q_OBJECT

private slots:
    void composition_data() {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("eventText");
        QTest::addColumn<QString>("written");
        const struct {
            const char* row;
            const char* email;
            const char* text;
            const char* written;  // after "[3:04:05 PM] "
        } rows[] = {
            {"contact away", "bob@example.com", "Changed status to: Away", "<bob@example.com> Changed Status To: Away"},
            {"capitals in the sign-in name", "Bob.SMITH@Example.COM", "Opened window",
             "<bob.smith@example.com> Opened Window"},
            {"empty sign-in name", "", "Opened window", "<> Opened Window"},
            {"empty event text", "a@b.c", "", "<a@b.c> "},
            {"be right back", "x@y", "Changed status to: Be Right Back", "<x@y> Changed Status To: Be Right Back"},
            {"capitals in a name", "x@y", "Name changed to: hAPPY dAYS", "<x@y> Name Changed To: Happy Days"},
            {"punctuation belongs to words", "x@y", "Status Changed to: Unkown/Error6",
             "<x@y> Status Changed To: Unkown/error6"},
            {"brackets and quotes", "x@y", "Changed name to: (BUSY)-mary o'neil",
             "<x@y> Changed Name To: (busy)-mary O'neil"},
            {"tab separates words", "x@y", "a\tb", "<x@y> A\tB"},
            {"forged line stays one line", "m@x", "x\r\n[3:04:05 PM] <boss@x> quit",
             "<m@x> X  [3:04:05 Pm] <boss@x> Quit"},
            {"non-latin letters", "ÉLODIE@EXAMPLE.FR", "Changed name to: ÉLODIE ΣΟΦΙΑ",
             "<élodie@example.fr> Changed Name To: Élodie Σοφια"},
            {"letters beyond the BMP", "x@y", "Changed name to: 𐐀𐐀 𐐨𐐨", "<x@y> Changed Name To: 𐐀𐐨 𐐀𐐨"},
            {"digraph title case", "x@y", "Changed name to: ǄEMAL", "<x@y> Changed Name To: ǅemal"},
        };
        for (const auto& r : rows) {
            QTest::newRow(r.row) << QString::fromUtf8(r.email) << QString::fromUtf8(r.text)
                                 << QStringLiteral("[3:04:05 PM] ") + QString::fromUtf8(r.written);
        }
    }
    void composition() {
        QFETCH(QString, email);
        QFETCH(QString, eventText);
        QFETCH(QString, written);
        const eventlog::LogLineFormat format(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(format.compose(kTime, email, eventText), written);
    }

    // Lines come many to a second; each still shows its own second, the
    // clock going back included.
    void timeFollowsTheClock() {
        const eventlog::LogLineFormat format(QLocale(QLocale::English, QLocale::UnitedStates));
        QStringList shown;
        for (const int ms : {0, 999, 1000, 2001, 500}) {
            shown << format.compose(QTime(23, 59, 58).addMSecs(ms), QString(), QString()).section(u']', 0, 0);
        }
        QCOMPARE(shown, (QStringList{QStringLiteral("[11:59:58 PM"), QStringLiteral("[11:59:58 PM"),
                                     QStringLiteral("[11:59:59 PM"), QStringLiteral("[12:00:00 AM"),
                                     QStringLiteral("[11:59:58 PM")}));
    }

    // The locale's own mappings, applied twice giving what once gave: inputs
    // the fuzz target once found otherwise.
    void localeCase_data() {
        QTest::addColumn<QString>("localeName");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("proper");
        const struct {
            const char* row;
            const char* locale;
            const char* text;
            const char* lower;
            const char* proper;
        } rows[] = {
            {"Turkish dotted and dotless i", "tr_TR", "İSTANBUL IRMAK ıi", "istanbul ırmak ıi", "İstanbul Irmak Ii"},
            {"English I", "en_US", "IRMAK", "irmak", "Irmak"},
            {"Lithuanian i and j under accents", "lt_LT", "ĮÌ J\u0303", "įi\u0307\u0300 j\u0307\u0303",
             "Įi\u0307\u0300 J\u0303"},
            {"Lithuanian accented capital I", "lt_LT", "ít Íx I\u0301y", "ít i\u0307\u0301x i\u0307\u0301y",
             "Ít Íx Íy"},
            {"Lithuanian dotless i under a grave", "lt_LT", "\u0131\u0300i x", "\u0131\u0300i x", "\u00CCi X"},
            {"Greek final sigma", "el_GR", "ΟΔΥΣΣΕΥΣ Σ", "οδυσσευς σ", "Οδυσσευς Σ"},
        };
        for (const auto& r : rows) {
            QTest::newRow(r.row) << QString::fromLatin1(r.locale) << QString::fromUtf8(r.text)
                                 << QString::fromUtf8(r.lower) << QString::fromUtf8(r.proper);
        }
    }
    void localeCase() {
        QFETCH(QString, localeName);
        QFETCH(QString, text);
        QFETCH(QString, lower);
        QFETCH(QString, proper);
        const QLocale locale(localeName);
        QCOMPARE(eventlog::lowerCase(text, locale), lower);
        const QString once = eventlog::properCase(text, locale);
        QCOMPARE(once, proper);
        QCOMPARE(eventlog::properCase(once, locale), once);
    }

    // The locale's time with seconds, without its zone, whatever framed it.
    void timeOfDay_data() {
        QTest::addColumn<QString>("localeName");
        QTest::addColumn<QString>("shown");
        const struct {
            const char* row;
            const char* locale;
            const char* shown;
        } rows[] = {
            {"US English", "en_US", "3:04:05 PM"},
            {"German", "de_DE", "15:04:05"},
            {"Japanese", "ja_JP", "15時04分05秒"},
            {"Chinese, zone first", "zh_CN", "15:04:05"},
            {"Persian, zone in brackets", "fa_IR", "۱۵:۰۴:۰۵"},
            {"Albanian, zone after a comma", "sq_AL", "3:04:05 E PASDITES"},
            {"Bulgarian, quoted literal kept", "bg_BG", "15:04:05 ч."},
        };
        for (const auto& r : rows) {
            QTest::newRow(r.row) << QString::fromLatin1(r.locale) << QString::fromUtf8(r.shown);
        }
    }
    void timeOfDay() {
        QFETCH(QString, localeName);
        QFETCH(QString, shown);
        QCOMPARE(eventlog::formatTimeOfDay(kTime, QLocale(localeName)), shown);
    }
};

QTEST_APPLESS_MAIN(TestLogLine)
#include "tst_log_line.moc"
