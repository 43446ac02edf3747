#pragma once

#include <QWidget>

namespace shell {

// The About window: the banner, the product's name, version, rights notice,
// homepage and acknowledgements, laid out at fixed positions.
class AboutWindow : public QWidget {
    Q_OBJECT

public:
    explicit AboutWindow(QWidget* parent = nullptr);

    // Twips (1/1440 inch) to pixels on this window's screen.
    int twips(int value) const;

signals:
    // The user closed the window; its owner unloads it.
    void closedByUser();

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace shell
