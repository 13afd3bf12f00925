// Renders the seven screens of the window to PNG files, offscreen:
//   render_screens <output folder> [app icon path in the bundle's resources, beside the fonts]
// Run with QT_SCALE_FACTOR=2 for the 2x images (scripts/render-screens.sh does both).
#include "ui/UiSetup.h"
#include "ui/UninstallerViewModel.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QQuickView>
#include <QTest>
#include <cstdio>

namespace {

struct NoActions final : ViewActions {
    void startUninstall() override {}
    void showLog() override {}
    void openDownloadPage() override {}
    void quit() override {}
};

struct Screen {
    const char* name;
    UninstallService::Phase phase;
    double progress;
};

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_screens <output folder> [app icon]\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString icon = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QDir().mkpath(outDir);
    // The faces lie beside the icon in the bundle's resources.
    UiSetup::prepareApplication(QFileInfo(icon).absolutePath());

    UninstallInventory inventory;
    const Screen screens[] = {
        {"1-scanning", UninstallService::Scanning{}, 0},
        {"2-ready", UninstallService::Ready{inventory}, 0},
        {"3-uninstalling", UninstallService::Uninstalling{}, 3.0 / 7.0},
        {"4-done", UninstallService::Done{}, 1},
        {"5-done-residues", UninstallService::Done{{"Temporary files (/tmp/nuvra)"}}, 1},
        {"6-nothing-found", UninstallService::NothingFound{}, 0},
        {"7-failed",
         UninstallService::Failed{"Remove nuvra apps", "Administrator access was not granted."},
         2.0 / 7.0},
    };
    const qreal scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                            ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                            : 1.0;
    int failures = 0;
    for (const Screen& screen : screens) {
        NoActions actions;
        UninstallerViewModel model(actions);
        model.setPhase(screen.phase);
        QQuickView view;
        if (!UiSetup::loadView(view, model, icon)) {
            std::fprintf(stderr, "%s: the view did not load\n", screen.name);
            ++failures;
            continue;
        }
        view.show();
        model.setProgressFraction(screen.progress);
        QTest::qWait(900); // let the progress spring settle
        const QImage image = view.grabWindow();
        const QString path = QStringLiteral("%1/%2@%3x.png")
                                 .arg(outDir, QString::fromLatin1(screen.name))
                                 .arg(scale);
        if (!image.save(path)) {
            ++failures;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return failures == 0 ? 0 : 1;
}
