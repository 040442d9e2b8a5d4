#include "AppIcon.h"

// The icons are compiled into a static library, where nothing would pull their
// registration in; naming the initialiser here does.
static void initIconResources()
{
    Q_INIT_RESOURCE(dovrane);
}

namespace dovrane {

QIcon appIcon()
{
    initIconResources();
    QIcon icon;
    for (const int size : {32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/dovrane-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap appIconPixmap32()
{
    initIconResources();
    return QPixmap(QStringLiteral(":/icons/dovrane-32.png"));
}

} // namespace dovrane
