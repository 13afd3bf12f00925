#include "ui/AccessibleProgressItem.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QQmlContext>
#include <QQmlProperty>
#include <QQuickWindow>

namespace {

// The item's interface: Qt Quick's usual one (name, description, place, parent) plus the value.
class ProgressAccessible final : public QAccessibleObject, public QAccessibleValueInterface {
public:
    explicit ProgressAccessible(AccessibleProgressItem* item) : QAccessibleObject(item) {}

    AccessibleProgressItem* item() const { return static_cast<AccessibleProgressItem*>(object()); }

    QAccessible::Role role() const override { return QAccessible::ProgressBar; }

    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = !item()->isVisible();
        return state;
    }

    // Name and description come from the QML Accessible properties, as for any other item.
    QString text(QAccessible::Text kind) const override {
        switch (kind) {
        case QAccessible::Name:
            return attached("Accessible.name");
        case QAccessible::Description:
            return attached("Accessible.description");
        default:
            return {};
        }
    }

    QRect rect() const override {
        const QQuickItem* bar = item();
        if (!bar->window() || !bar->isVisible()) {
            return {};
        }
        const QPointF topLeft = bar->mapToScene(QPointF(0, 0));
        return {bar->window()->mapToGlobal(topLeft.toPoint()),
                QSize(static_cast<int>(bar->width()), static_cast<int>(bar->height()))};
    }

    // The nearest ancestor that assistive technology sees, or the window for the view's root.
    QAccessibleInterface* parent() const override {
        QQuickWindow* window = item()->window();
        for (QQuickItem* up = item()->parentItem(); up; up = up->parentItem()) {
            if (window && (up == window->contentItem() || !up->parentItem())) {
                break;
            }
            if (QAccessibleInterface* found = QAccessible::queryAccessibleInterface(up)) {
                return found;
            }
        }
        return window ? QAccessible::queryAccessibleInterface(window) : nullptr;
    }
    // The label inside only repeats the name.
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleObject::interface_cast(type);
    }

    QVariant currentValue() const override { return item()->value(); }
    void setCurrentValue(const QVariant&) override {} // progress is not for the user to set
    QVariant maximumValue() const override { return AccessibleProgressItem::maximumValue(); }
    QVariant minimumValue() const override { return AccessibleProgressItem::minimumValue(); }
    QVariant minimumStepSize() const override { return 0.0; }

private:
    QString attached(const char* name) const {
        return QQmlProperty(object(), QString::fromLatin1(name), qmlContext(object()))
            .read()
            .toString();
    }
};

QAccessibleInterface* progressFactory(const QString&, QObject* object) {
    if (auto* item = qobject_cast<AccessibleProgressItem*>(object)) {
        return new ProgressAccessible(item);
    }
    return nullptr;
}

} // namespace

AccessibleProgressItem::AccessibleProgressItem(QQuickItem* parent) : QQuickItem(parent) {}

void AccessibleProgressItem::setValue(double value) {
    if (value == value_) {
        return;
    }
    value_ = value;
    emit valueChanged();
    // Qt Quick 6.4's Accessible attached object sends no value-change events of its own.
    QAccessibleValueChangeEvent event(this, value_);
    QAccessible::updateAccessibility(&event);
}

void AccessibleProgressItem::installAccessibility() {
    // Factories installed later are asked first, so this one comes before Qt Quick's own.
    QAccessible::installFactory(progressFactory);
}
