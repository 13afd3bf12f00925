#include "ui/RoundedImage.h"

#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QQuickWindow>

RoundedImage::RoundedImage(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
}

void RoundedImage::setSource(const QUrl& source) {
    if (source == source_) {
        return;
    }
    source_ = source;
    reload(/*sourceChanged=*/true);
    emit sourceChanged();
}

void RoundedImage::setRadius(qreal radius) {
    if (radius == radius_) {
        return;
    }
    radius_ = radius;
    update();
    emit radiusChanged();
}

// Decodes once the item is in a window and has its size, at the pixel size it is shown at: a
// vector icon stays crisp at 2x, and is never rasterised at its natural size (1024 × 1024 for the
// application icon) only to be scaled down.
void RoundedImage::reload(bool sourceChanged) {
    const bool wasLoaded = loaded();
    if (sourceChanged) {
        image_ = QImage();
    }
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    decode(window() ? (size() * ratio).toSize() : QSize());
    if (loaded() != wasLoaded) {
        emit loadedChanged();
    }
}

void RoundedImage::decode(QSize pixels) {
    if (pixels.isEmpty()) {
        image_ = QImage();
        return;
    }
    if (!image_.isNull() && image_.size() == pixels) {
        return;
    }
    if (source_.isLocalFile() || source_.scheme() == QLatin1String("qrc")) {
        const QString path =
            source_.isLocalFile() ? source_.toLocalFile() : QLatin1Char(':') + source_.path();
        QImageReader reader(path);
        reader.setScaledSize(pixels);
        image_ = reader.read();
    }
    setTextureSize(pixels);
    update();
}

void RoundedImage::itemChange(ItemChange change, const ItemChangeData& value) {
    QQuickPaintedItem::itemChange(change, value);
    if (change == ItemSceneChange || change == ItemDevicePixelRatioHasChanged) {
        reload();
    }
}

void RoundedImage::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size()) {
        reload();
    }
}

void RoundedImage::paint(QPainter* painter) {
    if (image_.isNull()) {
        return;
    }
    const QRectF bounds(QPointF(0, 0), size());
    QPainterPath clip;
    clip.addRoundedRect(bounds, radius_, radius_);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->setClipPath(clip);
    painter->drawImage(bounds, image_);
}
