#include <QLabel>
#include <QTest>

#include "frm_about.h"
#include "modal_dialogs.h"
#include "test_window.h"

using testing::TestWindow;

namespace {
int visibleAboutWindows() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        count += qobject_cast<shell::frmAbout*>(widget) && widget->isVisible();
    }
    return count;
}
}  // namespace

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    // Loaded hidden at start-up, one at a time, unloaded when closed and
    // loaded afresh by the next About, left alone by Exit.
    void lifecycle() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        QPointer<shell::frmAbout> first = t.window().aboutWindow();
        QVERIFY(first && !first->isVisible());
        t.choose("mnuAbout");
        t.choose("mnuAbout");
        QCOMPARE(t.window().aboutWindow(), first.data());
        QCOMPARE(visibleAboutWindows(), 1);
        QVERIFY(!first->parentWidget() && !first->isModal());  // the main window stays usable
        QVERIFY(first->close());
        QVERIFY(!t.window().aboutWindow());
        QTRY_VERIFY(first.isNull());
        t.choose("mnuAbout");
        QVERIFY(t.window().aboutWindow() && t.window().aboutWindow()->isVisible());
        t.choose("mnuExit");
        QCOMPARE(t.exitRequests(), 1);
        QPointer<shell::frmAbout> second = t.window().aboutWindow();
        QVERIFY(second->isVisible());
        QVERIFY(t.window().close());  // the main window's close unloads it
        QVERIFY(second.isNull());
    }

    // Every item where the layout puts it, in twips, and its text whole.
    void layout() {
        shell::frmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Quavel Logger"));
        QCOMPARE(about.size(), QSize(about.twips(5430), about.twips(3285)));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY(!(about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(about.windowIcon().availableSizes().contains(QSize(16, 16)));
        auto twips = [&](int l, int t, int w, int h) {
            return QRect(about.twips(l), about.twips(t), about.twips(w), about.twips(h));
        };
        const struct {
            const char* name;
            QRect rect;
            const char* text;
            bool bold;
        } items[] = {
            {"Label1", twips(1200, 1080, 2655, 255), "Quavel Logger for MSN 4.x-6.0", true},
            {"Label3", twips(1440, 1320, 1935, 255), "Version 1.0 (May 28,2002)", false},
            {"Label2", twips(1320, 1560, 2535, 255), "", false},
            {"Label4", twips(960, 1800, 3375, 255), "Homepage: https://", false},
            {"Label5", twips(120, 2280, 5175, 1095), "", false},
        };
        for (const auto& item : items) {
            auto* label = about.findChild<QLabel*>(QString::fromLatin1(item.name));
            QVERIFY2(label, item.name);
            QCOMPARE(label->geometry(), item.rect);
            QVERIFY(!label->text().isEmpty() && label->text().startsWith(QString::fromUtf8(item.text)));
            QCOMPARE(label->font().bold(), item.bold);
            const QFontMetrics metrics(label->font());
            const QRect needed = metrics.boundingRect(QRect(QPoint(), label->size()),
                                                      label->wordWrap() ? Qt::TextWordWrap : 0, label->text());
            QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(), item.name);
        }
        auto* image = about.findChild<QLabel*>(QStringLiteral("Image1"));
        QCOMPARE(image->geometry(), twips(360, 0, 4695, 975));
        QCOMPARE(image->pixmap().size(), QSize(313, 65));
        auto* line = about.findChild<QFrame*>(QStringLiteral("Line1"));
        QCOMPARE(line->frameShape(), QFrame::HLine);
        QCOMPARE(line->geometry().topLeft(), QPoint(about.twips(120), about.twips(2160)));
        QCOMPARE(line->geometry().right() + 1, about.twips(5280));
    }

    void helpMessage() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        testing::SeenMessageBox seen;
        testing::answerNextMessageBox(seen, QMessageBox::Ok);
        t.choose("mnuHelped");
        QVERIFY(seen.seen && seen.modal);
        QCOMPARE(seen.title, QStringLiteral("Quavel Logger Help"));
        QCOMPARE(seen.text, QStringLiteral("Need help with Quavel Logger?  Add ") + shell::supportAddress() +
                                QStringLiteral(" to your list!"));
        QCOMPARE(seen.icon, QMessageBox::Information);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(t.logLines().size(), 1);  // nothing else happens
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
