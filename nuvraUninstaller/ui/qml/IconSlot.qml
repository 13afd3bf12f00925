import QtQuick
import NuvraUi

// The 112 × 112 icon of the current screen: the application icon (clipped to a rounded square),
// or a 48-point success or warning mark.
Item {
    id: root
    required property string kind // "appIcon", "successMark", "warningMark"
    required property url appIconSource

    width: 112
    height: 112
    Accessible.role: Accessible.Graphic
    Accessible.name: kind === "warningMark" ? qsTr("Warning")
                   : kind === "successMark" ? qsTr("Success")
                   : qsTr("nuvra Uninstaller")

    RoundedImage {
        objectName: "appIcon"
        visible: root.kind === "appIcon"
        anchors.fill: parent
        radius: 24
        source: root.appIconSource
    }

    // The marks are decoded only for the screens that show them.
    Loader {
        anchors.centerIn: parent
        active: root.kind === "successMark"
        sourceComponent: Image {
            objectName: "successMark"
            width: 48
            height: 48
            sourceSize: Qt.size(48, 48)
            source: "qrc:/NuvraUi/icons/checkmark.circle.fill.svg"
        }
    }

    Loader {
        anchors.centerIn: parent
        active: root.kind === "warningMark"
        sourceComponent: Image {
            objectName: "warningMark"
            width: 54
            height: 48
            sourceSize: Qt.size(54, 48)
            source: "qrc:/NuvraUi/icons/exclamationmark.triangle.fill.svg"
        }
    }
}
