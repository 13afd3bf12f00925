#include "ui/UiSetup.h"

#include "ui/AccessibleProgressItem.h"
#include "ui/UninstallerViewModel.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QQuickView>
#include <QUrl>

namespace UiSetup {

void prepareApplication(const QString& fontFolder) {
    // Static faces: a variable font would register only its "Regular" instance. Read from the
    // bundle's files: faces built into the program cost their bytes twice, the program's pages
    // and Qt's copy of them.
    for (const char* face : {"Inter-Light.otf", "Inter-Regular.otf", "Inter-SemiBold.otf"}) {
        QFontDatabase::addApplicationFont(fontFolder + QLatin1Char('/') + QLatin1String(face));
    }
    // The default font too, so that no system face is loaded beside the view's own.
    QGuiApplication::setFont(QFont(QStringLiteral("Inter")));
    AccessibleProgressItem::installAccessibility();
}

bool loadView(QQuickView& view, UninstallerViewModel& model, const QString& appIconPath) {
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.setColor(QColor(247, 247, 247)); // the view's background: no item draws one
    view.setInitialProperties(
        {{QStringLiteral("model"), QVariant::fromValue(&model)},
         {QStringLiteral("appIconSource"),
          appIconPath.isEmpty() ? QUrl() : QUrl::fromLocalFile(appIconPath)}});
    view.setSource(QUrl(QStringLiteral("qrc:/NuvraUi/UninstallerView.qml")));
    return view.status() == QQuickView::Ready && view.rootObject() != nullptr;
}

} // namespace UiSetup
