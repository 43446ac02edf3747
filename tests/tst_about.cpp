#include <QLabel>
#include <QTest>

#include "frm_about.h"
#include "modal_dialogs.h"
#include "test_window.h"

using testing::TestWindow;

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void loadedHiddenAtStartUp() {
        TestWindow t;
        QVERIFY(t.load());
        QVERIFY(t.window().aboutWindow());
        QVERIFY(!t.window().aboutWindow()->isVisible());
    }

    void aboutTwiceLeavesOneWindow() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        t.choose(QStringLiteral("mnuAbout"));
        shell::frmAbout* first = t.window().aboutWindow();
        t.choose(QStringLiteral("mnuAbout"));
        QCOMPARE(t.window().aboutWindow(), first);
        QVERIFY(first->isVisible());
        QVERIFY(!first->parentWidget());  // no owner: the main window stays usable
        QVERIFY(!first->isModal());
        int visibleAbouts = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            visibleAbouts += qobject_cast<shell::frmAbout*>(widget) && widget->isVisible();
        }
        QCOMPARE(visibleAbouts, 1);
    }

    void closedThenAboutShowsItAgain() {
        TestWindow t;
        QVERIFY(t.load());
        t.choose(QStringLiteral("mnuAbout"));
        QPointer<shell::frmAbout> first = t.window().aboutWindow();
        QVERIFY(first->close());
        QVERIFY(!t.window().aboutWindow());
        QTRY_VERIFY(first.isNull());  // unloaded
        t.choose(QStringLiteral("mnuAbout"));
        QVERIFY(t.window().aboutWindow());
        QVERIFY(t.window().aboutWindow()->isVisible());
    }

    void closingTheMainWindowUnloadsIt() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        t.choose(QStringLiteral("mnuAbout"));
        QPointer<shell::frmAbout> about = t.window().aboutWindow();
        QVERIFY(t.window().close());
        QVERIFY(about.isNull());
    }

    void exitLeavesItToTheProcessEnd() {
        TestWindow t;
        QVERIFY(t.load());
        t.choose(QStringLiteral("mnuAbout"));
        t.choose(QStringLiteral("mnuExit"));
        QCOMPARE(t.exitRequests(), 1);
        QVERIFY(t.window().aboutWindow());
        QVERIFY(t.window().aboutWindow()->isVisible());
    }

    void windowGeometry() {
        shell::frmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Quavel Logger"));
        QCOMPARE(about.size(), QSize(about.twips(5430), about.twips(3285)));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY(!(about.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(about.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!about.windowIcon().isNull());
        QVERIFY(about.windowIcon().availableSizes().contains(QSize(16, 16)));
    }

    void items_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twipsRect");
        QTest::addColumn<QString>("text");
        QTest::newRow("Image1") << QStringLiteral("Image1") << QRect(360, 0, 4695, 975)
                                << QString();
        QTest::newRow("Label1") << QStringLiteral("Label1") << QRect(1200, 1080, 2655, 255)
                                << QStringLiteral("Quavel Logger for MSN 4.x-6.0");
        QTest::newRow("Label3") << QStringLiteral("Label3") << QRect(1440, 1320, 1935, 255)
                                << QStringLiteral("Version 1.0 (May 28,2002)");
        QTest::newRow("Label2") << QStringLiteral("Label2") << QRect(1320, 1560, 2535, 255)
                                << QString();
        QTest::newRow("Label4") << QStringLiteral("Label4") << QRect(960, 1800, 3375, 255)
                                << QStringLiteral("Homepage: https://");
        QTest::newRow("Label5") << QStringLiteral("Label5") << QRect(120, 2280, 5175, 1095)
                                << QString();
    }
    void items() {
        QFETCH(QString, name);
        QFETCH(QRect, twipsRect);
        QFETCH(QString, text);
        shell::frmAbout about;
        auto* item = about.findChild<QLabel*>(name);
        QVERIFY(item);
        QCOMPARE(item->geometry(),
                 QRect(about.twips(twipsRect.x()), about.twips(twipsRect.y()),
                       about.twips(twipsRect.width()), about.twips(twipsRect.height())));
        if (name == QStringLiteral("Image1")) {
            QCOMPARE(item->pixmap().size(), QSize(313, 65));
            return;
        }
        QVERIFY(item->text().startsWith(text));
        QVERIFY(!item->text().isEmpty());
        // Nothing clipped: the text fits its label at the label's font.
        const QFontMetrics metrics(item->font());
        if (item->wordWrap()) {
            const QRect needed =
                metrics.boundingRect(QRect(QPoint(), item->size()), Qt::TextWordWrap, item->text());
            QVERIFY2(needed.height() <= item->height(),
                     qPrintable(QString::number(needed.height())));
        } else {
            QVERIFY2(metrics.horizontalAdvance(item->text()) <= item->width(),
                     qPrintable(QStringLiteral("%1 > %2")
                                    .arg(metrics.horizontalAdvance(item->text()))
                                    .arg(item->width())));
            QVERIFY(metrics.height() <= item->height());
        }
    }

    void titleIsBold() {
        shell::frmAbout about;
        QVERIFY(about.findChild<QLabel*>(QStringLiteral("Label1"))->font().bold());
        QVERIFY(!about.findChild<QLabel*>(QStringLiteral("Label3"))->font().bold());
    }

    void rule() {
        shell::frmAbout about;
        auto* line = about.findChild<QFrame*>(QStringLiteral("Line1"));
        QVERIFY(line);
        QCOMPARE(line->frameShape(), QFrame::HLine);
        QCOMPARE(line->geometry().top(), about.twips(2160));
        QCOMPARE(line->geometry().left(), about.twips(120));
        QCOMPARE(line->geometry().right() + 1, about.twips(5280));
    }

    void helpMessage() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        testing::SeenMessageBox seen;
        testing::answerNextMessageBox(seen, QMessageBox::Ok);
        t.choose(QStringLiteral("mnuHelped"));
        QVERIFY(seen.seen);
        QVERIFY(seen.modal);
        QCOMPARE(seen.title, QStringLiteral("Quavel Logger Help"));
        QCOMPARE(seen.text, QStringLiteral("Need help with Quavel Logger?  Add ") +
                                shell::supportAddress() + QStringLiteral(" to your list!"));
        QCOMPARE(seen.icon, QMessageBox::Information);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(t.logLines().size(), 1);  // nothing else happens
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
