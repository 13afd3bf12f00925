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
    reload();
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

// Decodes at the pixel size it is shown at, so a vector icon stays crisp at 2x.
void RoundedImage::reload() {
    image_ = QImage();
    if (source_.isLocalFile() || source_.scheme() == QLatin1String("qrc")) {
        const QString path =
            source_.isLocalFile() ? source_.toLocalFile() : QLatin1Char(':') + source_.path();
        QImageReader reader(path);
        const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
        const QSize pixels = (size() * ratio).toSize();
        if (!pixels.isEmpty()) {
            reader.setScaledSize(pixels);
        }
        image_ = reader.read();
    }
    setTextureSize((size() * (window() ? window()->effectiveDevicePixelRatio() : 1.0)).toSize());
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
