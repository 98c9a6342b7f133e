#include "platform/DesktopOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

bool OpenWithDesktop(const QString& address) {
    return !address.isEmpty() && QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

}  // namespace platform
