#include "ApplicationIdentity.h"

#include "AppIcon.h"

#include <QApplication>

namespace dovrane {

void setApplicationIdentity()
{
    QApplication::setApplicationName(QStringLiteral("Dovrane"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(DOVRANE_VERSION_MAJOR)
                                            .arg(DOVRANE_VERSION_MINOR)
                                            .arg(DOVRANE_VERSION_PATCH));
    QApplication::setDesktopFileName(QStringLiteral("dovrane"));
    QApplication::setWindowIcon(appIcon());
}

} // namespace dovrane
