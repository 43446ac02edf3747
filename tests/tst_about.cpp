#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "shell/about_window.h"
#include "shell/app_identity.h"
#include "support/test_window.h"

using testsupport::TestWindow;

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    // Loaded hidden at start-up, one at a time, unloaded when closed and
    // loaded afresh by the next About, left alone by Exit.
    void lifecycle() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        QPointer<shell::AboutWindow> first = t.window().aboutWindow();
        QVERIFY(first && !first->isVisible());
        t.choose("mnuAbout");
        t.choose("mnuAbout");
        QCOMPARE(t.window().aboutWindow(), first.data());      // the one About window
        QVERIFY(!first->parentWidget() && !first->isModal());  // the main window stays usable
        QVERIFY(first->close());
        QVERIFY(!t.window().aboutWindow());
        QTRY_VERIFY(first.isNull());
        t.choose("mnuAbout");
        QVERIFY(t.window().aboutWindow() && t.window().aboutWindow()->isVisible());
        t.choose("mnuExit");
        QCOMPARE(t.exitRequests(), 1);
        QPointer<shell::AboutWindow> second = t.window().aboutWindow();
        QVERIFY(second->isVisible());
        QVERIFY(t.window().close());  // the main window's close unloads it
        QVERIFY(second.isNull());
    }

    // Its texts show whole in their labels, at the platform's fonts.
    void textsFitTheirLabels() {
        shell::AboutWindow about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Quavel Logger"));
        const QList<QLabel*> labels = about.findChildren<QLabel*>();
        for (const QLabel* label : labels) {
            if (label->objectName() == QStringLiteral("Image1")) {
                QVERIFY(!label->pixmap().isNull());  // the picture was found
                continue;
            }
            const QRect needed = QFontMetrics(label->font())
                                     .boundingRect(QRect(QPoint(), label->size()),
                                                   label->wordWrap() ? Qt::TextWordWrap : 0, label->text());
            QVERIFY2(!label->text().isEmpty() && needed.width() <= label->width() && needed.height() <= label->height(),
                     qPrintable(label->objectName()));
        }
    }

    void helpMessage() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        // Answered with OK once it is up: it waits for the user.
        QString shown;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = QStringList{box->windowTitle(), box->text(), QString::number(box->icon()),
                                    QString::number(box->standardButtons())}
                            .join(u'|');
                // One line: the whole text fits the width it is given.
                for (const QLabel* label : box->findChildren<QLabel*>()) {
                    if (label->text() == box->text() &&
                        label->contentsRect().width() < label->fontMetrics().horizontalAdvance(box->text())) {
                        shown += QStringLiteral(" (wrapped)");
                    }
                }
                answer.stop();
                box->button(QMessageBox::Ok)->click();
            }
        });
        answer.start(10);
        t.choose("mnuHelped");
        // Up, and the choice already answered: nothing waits inside it.
        QVERIFY(t.window().findChild<QMessageBox*>(QStringLiteral("helpMessage")));
        QTRY_COMPARE(shown,
                     QStringLiteral("Quavel Logger Help|Need help with Quavel Logger?  Add %1 to your list!|%2|%3")
                         .arg(shell::supportAddress())
                         .arg(int(QMessageBox::Information))
                         .arg(int(QMessageBox::Ok)));
        QCOMPARE(t.logLines().size(), 1);  // nothing else happens
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
