#include "service/Workspace.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>

namespace {

QUrl folderOf(const QUrl& fileUrl) {
    return QUrl::fromLocalFile(QFileInfo(fileUrl.toLocalFile()).absolutePath());
}

} // namespace

void DesktopWorkspace::open(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

void DesktopWorkspace::revealFile(const QUrl& fileUrl) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(folderOf(fileUrl));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{fileUrl.toString()} << QString();

    // Asynchronous, so that a slow or absent file manager never freezes the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [fileUrl](QDBusPendingCallWatcher* finished) {
                         if (finished->isError()) {
                             QDesktopServices::openUrl(folderOf(fileUrl));
                         }
                         finished->deleteLater();
                     });
}
