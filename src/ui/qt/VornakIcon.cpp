#include "ui/qt/VornakIcon.h"

#include <QFile>
#include <QString>

// Resources compiled into a static library are registered only when something refers to
// them; this function is that reference. It must sit outside any namespace.
static void RegisterIconResources() {
    Q_INIT_RESOURCE(vornak);
}

QIcon VornakIcon() {
    static const bool registered = (RegisterIconResources(), true);
    (void)registered;

    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString path = QStringLiteral(":/icons/vornak-%1.png").arg(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}
