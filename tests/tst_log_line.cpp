#include <QTest>

#include "eventlog/log_line.h"
#include "eventlog/text_case.h"

using namespace Qt::StringLiterals;

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
            {"capitals in the sign-in name", "Bob.SMITH@Example.COM", "Opened window",
             "<bob.smith@example.com> Opened Window"},
            {"punctuation belongs to words", "x@y", "Status Changed to: Unkown/Error6",
             "<x@y> Status Changed To: Unkown/error6"},
            {"brackets and quotes", "x@y", "Changed name to: (BUSY)-mary o'neil",
             "<x@y> Changed Name To: (busy)-mary O'neil"},
            {"forged line stays one line", "m@x", "x\r\n[3:04:05 PM] <boss@x> quit",
             "<m@x> X  [3:04:05 Pm] <boss@x> Quit"},
            {"non-latin letters", "ÉLODIE@EXAMPLE.FR", "Changed name to: ÉLODIE ΣΟΦΙΑ",
             "<élodie@example.fr> Changed Name To: Élodie Σοφια"},
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

    // The language's own mappings, the same on every system, stable when applied again.
    void localeCase_data() {
        QTest::addColumn<QString>("localeName");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("proper");
        QTest::newRow("Turkish dotted and dotless i")
            << u"tr_TR"_s << u"İSTANBUL IRMAK ıi"_s << u"istanbul ırmak ıi"_s << u"İstanbul Irmak Ii"_s;
        QTest::newRow("Turkish dotless i with a dot above") << u"tr_TR"_s << u"\u0131\u0307k \u0131\u032a\u0307"_s
                                                            << u"\u0131\u0307k \u0131\u032a\u0307"_s << u"İk İ\u032a"_s;
        QTest::newRow("Lithuanian accented capital I")
            << u"lt_LT"_s << u"ít Íx I\u0301y"_s << u"ít i\u0307\u0301x i\u0307\u0301y"_s << u"Ít Íx Íy"_s;
        QTest::newRow("Greek final sigma")
            << u"el_GR"_s << u"ΟΔΥΣΣΕΥΣ Σ ΑΣ. ΣΑΣ'Σ"_s << u"οδυσσευς σ ας. σασ'ς"_s << u"Οδυσσευς Σ Ας. Σασ'ς"_s;
    }
    void localeCase() {
        QFETCH(QString, localeName);
        QFETCH(QString, text);
        QFETCH(QString, lower);
        QFETCH(QString, proper);
        const QLocale locale(localeName);
        QCOMPARE(eventlog::lowerCase(text, locale), lower);
        QCOMPARE(eventlog::properCase(text, locale), proper);
        QCOMPARE(eventlog::properCase(proper, locale), proper);
    }

    // A line's time is the locale's, with seconds, without its zone, whatever
    // framed it.
    void timeOfDay_data() {
        QTest::addColumn<QString>("localeName");
        QTest::addColumn<QString>("shown");
        const struct {
            const char* row;
            const char* locale;
            const char* shown;
        } rows[] = {
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
        const eventlog::LogLineFormat format{QLocale(localeName)};
        QCOMPARE(format.compose(kTime, QString(), QString()).section(u']', 0, 0).mid(1), shown);
    }
};

QTEST_APPLESS_MAIN(TestLogLine)
#include "tst_log_line.moc"
