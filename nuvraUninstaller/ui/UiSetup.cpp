#include "ui/UiSetup.h"

#include "ui/AccessibleProgressItem.h"
#include "ui/UninstallerViewModel.h"

#include <QFontDatabase>
#include <QQuickView>
#include <QUrl>

namespace UiSetup {

void prepareApplication() {
    // Static faces: a variable font would register only its "Regular" instance.
    for (const char* face : {":/NuvraUi/fonts/Inter-Light.otf", ":/NuvraUi/fonts/Inter-Regular.otf",
                             ":/NuvraUi/fonts/Inter-SemiBold.otf"}) {
        QFontDatabase::addApplicationFont(QString::fromLatin1(face));
    }
    AccessibleProgressItem::installAccessibility();
}

bool loadView(QQuickView& view, UninstallerViewModel& model, const QString& appIconPath) {
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.setColor(QColor(247, 247, 247));
    view.setInitialProperties(
        {{QStringLiteral("model"), QVariant::fromValue(&model)},
         {QStringLiteral("appIconSource"),
          appIconPath.isEmpty() ? QUrl() : QUrl::fromLocalFile(appIconPath)}});
    view.setSource(QUrl(QStringLiteral("qrc:/NuvraUi/UninstallerView.qml")));
    return view.status() == QQuickView::Ready && view.rootObject() != nullptr;
}

} // namespace UiSetup
