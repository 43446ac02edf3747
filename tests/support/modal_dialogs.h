#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace testing {

// Answers the next modal message box once it is up: records what it shows,
// then presses the button given. Use before the call that opens the box.
struct SeenMessageBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool modal = false;
};

inline void answerNextMessageBox(SeenMessageBox& seen, QMessageBox::StandardButton press, int timeoutMs = 5000) {
    auto* timer = new QTimer(qApp);  // owned by the application, removed below
    auto started = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [&seen, press, timer, started, timeoutMs] {
        *started += 10;
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box) {
            seen = {true, box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->isModal()};
            box->button(press)->click();
        }
        if (box || *started > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

}  // namespace testing
