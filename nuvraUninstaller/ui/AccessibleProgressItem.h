#pragma once

#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

// The base of the progress bar: a fraction from 0 to 1 that assistive technology reads as a value
// (not only as a description), with a value-change event each time it moves. Qt Quick 6.4 gives
// items in the progress-bar role no value interface of their own.
class AccessibleProgressItem : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(double minimumValue READ minimumValue CONSTANT)
    Q_PROPERTY(double maximumValue READ maximumValue CONSTANT)

public:
    explicit AccessibleProgressItem(QQuickItem* parent = nullptr);

    double value() const { return value_; }
    void setValue(double value);
    static constexpr double minimumValue() { return 0; }
    static constexpr double maximumValue() { return 1; }

    // Makes the accessibility layer build this item's interface. Call once, before any window is
    // shown.
    static void installAccessibility();

signals:
    void valueChanged();

private:
    double value_ = 0;
};
