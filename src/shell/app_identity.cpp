#include "shell/app_identity.h"

namespace shell {

QString productName() {
    return QStringLiteral("Quavel Logger");
}

QString productVersion() {
    return QStringLiteral(QUAVEL_VERSION);
}

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/assets/icon-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QString supportAddress() {
    return QStringLiteral("quavel-help@example.com");
}

QString homepageAddress() {
    return QStringLiteral("https://quavel.example.org/");
}

}  // namespace shell
