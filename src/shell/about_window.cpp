#include "shell/about_window.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPixmap>

#include "shell/app_identity.h"

namespace shell {

namespace {

// The labels are sized for Arial's metrics: Arial where it is installed;
// Liberation Sans, which has its metrics, where it is not (Wine has no Arial
// of its own). These texts then fit their labels whole.
QFont windowFont(qreal pointSize, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

}  // namespace

namespace {
// Qt takes a plain widget for a filler, even as a window of its own; to a
// screen reader this one is a window.
QAccessibleInterface* aboutAsWindow(const QString& className, QObject* object) {
    if (className == QLatin1String("shell::AboutWindow") && object->isWidgetType()) {
        return new QAccessibleWidget(static_cast<QWidget*>(object),
                                     QAccessible::Window);  // owned by QAccessible's cache
    }
    return nullptr;
}
}  // namespace

int AboutWindow::twips(int value) const {
    // 15 twips to a pixel at 96 dpi.
    return qRound(value / 15.0 * logicalDpiY() / 96.0);
}

AboutWindow::AboutWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    static const bool accessible = [] {
        QAccessible::installFactory(aboutAsWindow);
        return true;
    }();
    Q_UNUSED(accessible);
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Quavel Logger"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(appIcon());
    setFixedSize(twips(5430), twips(3285));
    setFont(windowFont(8, false));

    auto place = [this](QWidget* item, const char* name, int left, int top, int width, int height) {
        item->setObjectName(QString::fromLatin1(name));
        item->setGeometry(twips(left), twips(top), twips(width), twips(height));
    };

    auto* image = new QLabel(this);
    image->setPixmap(QPixmap(QStringLiteral(":/assets/banner.jpg")));
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(image, "Image1", 360, 0, 4695, 975);

    auto label = [&](const char* name, const QString& text, int left, int top, int width,
                     int height) {
        auto* item = new QLabel(text, this);
        item->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        item->setTextFormat(Qt::PlainText);
        place(item, name, left, top, width, height);
        return item;
    };
    QLabel* title =
        label("Label1", productName() + QStringLiteral(" for MSN 4.x-6.0"), 1200, 1080, 2655, 255);
    title->setFont(windowFont(8.25, true));
    // Kept exactly: it is the version line users know.
    label("Label3", QStringLiteral("Version 1.0 (May 28,2002)"), 1440, 1320, 1935, 255);
    label("Label2", QStringLiteral("© 2026 Quavel Logger authors"), 1320, 1560, 2535, 255);
    label("Label4", QStringLiteral("Homepage: ") + homepageAddress(), 960, 1800, 3375, 255);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    place(rule, "Line1", 120, 2160, 5160, 30);

    QLabel* thanks = label(
        "Label5",
        QStringLiteral("Thanks to everyone who kept instant messaging friendly, to the makers of "
                       "the messenger clients that let a small tool listen in politely, and to "
                       "all who sent a bug report, a nickname idea or a kind word. Built with Qt; "
                       "the demo client's contacts are made up."),
        120, 2280, 5175, 1095);
    thanks->setWordWrap(true);
}

void AboutWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closedByUser();
}

}  // namespace shell
