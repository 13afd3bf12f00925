// Tells which of the window's screens a screenshot shows, by comparing it with reference renders
// of every screen (tests/ui/render_screens):
//   screen_match SCREENSHOT REFERENCE_FOLDER X Y
// X, Y: where the window's 480 × 450 content starts in the screenshot. Prints the screen's name
// ("ready", "done-residues", …) and its distance, or "unknown" and the best distance when no
// reference is close (no window yet, half drawn, covered). Exit status 2 on unusable input.
#include <QDir>
#include <QImage>
#include <QRect>
#include <QString>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

// The icon, the text block and the link row tell the screens apart, except "scanning" and
// "ready", which share them and differ only in the main control; the control region settles such
// ties. The control is left out of the rest because the progress bar's fill changes during a run.
const std::vector<QRect> identityRegions = {QRect(40, 44, 400, 258), QRect(100, 356, 280, 30)};
const std::vector<QRect> controlRegions = {QRect(130, 302, 220, 42)};

// Distances are root-mean-square differences of the colour channels, 0 (same) to 1. A window
// drawn by the X server differs from the offscreen render only in text antialiasing (about 0.01);
// the closest other screen differs by 0.025 and most by 0.07 and more.
constexpr double matchLimit = 0.02;
constexpr double tieMargin = 0.01;

struct Reference {
    QString name;
    QImage image;
    double identity = 0;
    double control = 0;
};

// Compared in 4 × 4 blocks: glyph edges antialiased a little differently by the X server and the
// offscreen renderer average out, while a different word or icon still changes whole blocks.
constexpr int block = 4;

QRgb blockAverage(const QImage& image, int left, int top) {
    int r = 0;
    int g = 0;
    int b = 0;
    for (int y = top; y < top + block; ++y) {
        for (int x = left; x < left + block; ++x) {
            const QRgb pixel = image.pixel(x, y);
            r += qRed(pixel);
            g += qGreen(pixel);
            b += qBlue(pixel);
        }
    }
    constexpr int n = block * block;
    return qRgb(r / n, g / n, b / n);
}

double distance(const QImage& shot, QPoint shotOrigin, const QImage& reference,
                const std::vector<QRect>& areas) {
    double sum = 0;
    int blocks = 0;
    for (const QRect& area : areas) {
        for (int y = area.top(); y + block <= area.bottom() + 1; y += block) {
            for (int x = area.left(); x + block <= area.right() + 1; x += block) {
                const QRgb a = blockAverage(shot, shotOrigin.x() + x, shotOrigin.y() + y);
                const QRgb b = blockAverage(reference, x, y);
                const int dr = qRed(a) - qRed(b);
                const int dg = qGreen(a) - qGreen(b);
                const int db = qBlue(a) - qBlue(b);
                sum += dr * dr + dg * dg + db * db;
                ++blocks;
            }
        }
    }
    return std::sqrt(sum / (3.0 * blocks)) / 255.0;
}

// "4-done@1x.png" → "done".
QString screenName(const QString& fileName) {
    QString name = fileName.section(QLatin1Char('@'), 0, 0);
    return name.section(QLatin1Char('-'), 1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: screen_match SCREENSHOT REFERENCE_FOLDER X Y\n");
        return 2;
    }
    const QImage shot =
        QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB32);
    const QPoint origin(QString::fromLocal8Bit(argv[3]).toInt(),
                        QString::fromLocal8Bit(argv[4]).toInt());
    if (shot.isNull() || !shot.rect().contains(QRect(origin, QSize(480, 450)))) {
        std::fprintf(stderr, "screen_match: %s does not hold a 480 × 450 window at %d,%d\n",
                     argv[1], origin.x(), origin.y());
        return 2;
    }

    std::vector<Reference> references;
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    for (const QString& file :
         folder.entryList({QStringLiteral("*@1x.png")}, QDir::Files, QDir::Name)) {
        Reference reference{screenName(file),
                            QImage(folder.filePath(file)).convertToFormat(QImage::Format_RGB32)};
        if (reference.image.size() != QSize(480, 450)) {
            continue;
        }
        reference.identity = distance(shot, origin, reference.image, identityRegions);
        reference.control = distance(shot, origin, reference.image, controlRegions);
        references.push_back(std::move(reference));
    }
    if (references.empty()) {
        std::fprintf(stderr, "screen_match: no 480 × 450 references in %s\n", argv[2]);
        return 2;
    }

    double bestIdentity = std::numeric_limits<double>::max();
    for (const Reference& reference : references) {
        bestIdentity = std::min(bestIdentity, reference.identity);
    }
    const Reference* best = nullptr;
    for (const Reference& reference : references) {
        if (reference.identity <= bestIdentity + tieMargin &&
            (!best || reference.control < best->control)) {
            best = &reference;
        }
    }
    // Every distance on standard error, for the test's log when a screen is not recognised.
    for (const Reference& reference : references) {
        std::fprintf(stderr, "%s %.4f/%.4f  ", qPrintable(reference.name), reference.identity,
                     reference.control);
    }
    std::fprintf(stderr, "\n");
    const bool matched = best->identity <= matchLimit;
    std::printf("%s %.4f\n", matched ? qPrintable(best->name) : "unknown", best->identity);
    return 0;
}
