#pragma once

#include <QString>

class QQuickView;
class UninstallerViewModel;

// What every window of the uninstaller needs, in the application and in the UI tests alike.
namespace UiSetup {

// The Inter faces from `fontFolder` (the bundle's resources) and the progress bar's accessibility.
// Call after the application object exists and before the first window.
void prepareApplication(const QString& fontFolder);

// Hosts UninstallerView in `view`, drawing `model`; `appIconPath` may be empty (no icon then).
// Returns false when the QML could not be loaded.
bool loadView(QQuickView& view, UninstallerViewModel& model, const QString& appIconPath);

} // namespace UiSetup
