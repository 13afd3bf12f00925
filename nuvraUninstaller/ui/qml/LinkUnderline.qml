import QtQuick

// An underline drawn in its own colour under a Text (a Text's own underline takes the text colour).
Rectangle {
    required property Text label
    FontMetrics {
        id: metrics
        font: label.font
    }
    x: label.x
    y: label.y + label.baselineOffset + Math.max(1, Math.round(metrics.underlinePosition))
    width: label.contentWidth
    height: 1
}
