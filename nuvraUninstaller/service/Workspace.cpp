#include "service/Workspace.h"

#include "FileManagerReveal.h"

#include <QDesktopServices>

void DesktopWorkspace::open(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

void DesktopWorkspace::revealFile(const QUrl& fileUrl) {
    FileManagerReveal::reveal(fileUrl.toLocalFile().toStdString());
}
