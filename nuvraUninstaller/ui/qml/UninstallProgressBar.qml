import QtQuick
import NuvraUi

// The run's progress inside the control's place: a brand-green fill over a 30 % track, grown with
// a critically damped spring (SwiftUI's spring(response: 0.5, dampingFraction: 1.0)). Assistive
// technology reads the fraction itself as the bar's value (0 to 1).
AccessibleProgressItem {
    id: root
    required property real fraction
    value: fraction

    width: 220
    height: 42

    Accessible.role: Accessible.ProgressBar
    Accessible.name: label.text
    Accessible.description: Math.round(root.fraction * 100) + " %"

    // Quick clips only to rectangles: the track is a rounded shape, and the fill is a rounded
    // bar of full width shown through a rectangular window as wide as the progress.
    Rectangle {
        anchors.fill: parent
        radius: 12
        antialiasing: true
        color: UninstallerTheme.brandGreen
        opacity: 0.3
    }
    Item {
        id: fill
        objectName: "progressFill"
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        width: root.width * root.fraction
        clip: true
        Behavior on width {
            SpringAnimation {
                spring: 2.073
                damping: 0.331
                mass: 1
                epsilon: 0.25
            }
        }
        Rectangle {
            width: root.width
            height: root.height
            radius: 12
            antialiasing: true
            color: UninstallerTheme.brandGreen
        }
    }

    Text {
        id: label
        anchors.centerIn: parent
        text: qsTr("Uninstalling…")
        color: UninstallerTheme.textOnBrand
        font.family: UninstallerTheme.fontFamily
        font.pixelSize: 16
        font.weight: Font.Normal
    }
}
