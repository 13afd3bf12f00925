import QtQuick

// A quiet underlined text action ("Show Log", "Clean up anyway"). Text and underline darken while
// the pointer is over it, fading over 0.12 s.
Item {
    id: root
    required property string title
    signal clicked
    property bool hovering: mouse.containsMouse

    implicitWidth: label.implicitWidth
    implicitHeight: label.implicitHeight + 3

    Accessible.role: Accessible.Link
    Accessible.name: title
    Accessible.onPressAction: root.clicked()

    Text {
        id: label
        objectName: "linkText"
        text: root.title
        color: UninstallerTheme.ink
        opacity: root.hovering ? 1.0 : 0.5
        font.family: UninstallerTheme.fontFamily
        font.pixelSize: 13
        font.weight: Font.Light
        Behavior on opacity {
            NumberAnimation {
                duration: UninstallerTheme.hoverFadeMs
                easing.type: Easing.BezierSpline
                easing.bezierCurve: UninstallerTheme.easeInOut
            }
        }
    }

    LinkUnderline {
        objectName: "linkUnderline"
        label: label
        color: UninstallerTheme.ink
        opacity: root.hovering ? 1.0 : 0.28
        Behavior on opacity {
            NumberAnimation {
                duration: UninstallerTheme.hoverFadeMs
                easing.type: Easing.BezierSpline
                easing.bezierCurve: UninstallerTheme.easeInOut
            }
        }
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        onClicked: root.clicked()
    }
}
