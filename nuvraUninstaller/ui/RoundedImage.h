#pragma once

#include <QImage>
#include <QQuickPaintedItem>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

// An image stretched to the item's size and clipped to a rounded rectangle, antialiased. Quick's
// own clip is rectangular, and Qt 6.4 offers no mask effect without extra modules.
class RoundedImage : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QUrl source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY radiusChanged)
    Q_PROPERTY(bool loaded READ loaded NOTIFY loadedChanged)

public:
    explicit RoundedImage(QQuickItem* parent = nullptr);

    QUrl source() const { return source_; }
    void setSource(const QUrl& source);
    qreal radius() const { return radius_; }
    void setRadius(qreal radius);
    bool loaded() const { return !image_.isNull(); }

    void paint(QPainter* painter) override;

signals:
    void sourceChanged();
    void radiusChanged();
    void loadedChanged();

protected:
    void itemChange(ItemChange change, const ItemChangeData& value) override;
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;

private:
    void reload(bool sourceChanged = false);
    void decode(QSize pixels);

    QUrl source_;
    qreal radius_ = 0;
    QImage image_;
};
