pragma Singleton
import QtQuick

// The uninstaller's palette: sRGB, derived colours are ink at an opacity (never blended).
QtObject {
    readonly property color ink: Qt.rgba(20 / 255, 22 / 255, 26 / 255, 1.0)
    readonly property color brandGreen: Qt.rgba(178 / 255, 224 / 255, 11 / 255, 1.0)
    readonly property color danger: Qt.rgba(1.0, 59 / 255, 48 / 255, 1.0)
    readonly property color textPrimary: ink
    readonly property color textSecondary: Qt.rgba(ink.r, ink.g, ink.b, 0.72)
    readonly property color textMuted: Qt.rgba(ink.r, ink.g, ink.b, 0.5)
    readonly property color textOnBrand: ink
    readonly property color cardFill: Qt.rgba(ink.r, ink.g, ink.b, 0.015)
    readonly property color linkUnderlineResting: Qt.rgba(ink.r, ink.g, ink.b, 0.32)
    readonly property color weakUnderlineResting: Qt.rgba(ink.r, ink.g, ink.b, 0.28)

    // The platform's interface font stands in as Inter, bundled with the application.
    readonly property string fontFamily: "Inter"

    // SwiftUI's easeInOut, used by the links' hover fades.
    readonly property var easeInOut: [0.42, 0, 0.58, 1, 1, 1]
    readonly property int hoverFadeMs: 120
}
