import QtQuick

// An underlined link with a small up-right arrow, for actions that leave the application. Only the
// underline reacts to the pointer; text and arrow stay textPrimary.
Item {
    id: root
    required property string title
    signal clicked
    property bool hovering: mouse.containsMouse

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight + 3

    Accessible.role: Accessible.Link
    Accessible.name: title
    Accessible.onPressAction: root.clicked()

    Row {
        id: row
        spacing: 3
        Text {
            id: label
            objectName: "linkText"
            text: root.title
            color: UninstallerTheme.textPrimary
            font.family: UninstallerTheme.fontFamily
            font.pixelSize: 13
            font.weight: Font.Light
        }
        Image {
            objectName: "linkArrow"
            // Sits on the text's first baseline, like a glyph of an 11-point font.
            y: label.baselineOffset - height + 1
            width: 9
            height: 9
            sourceSize: Qt.size(9, 9)
            source: "qrc:/NuvraUi/icons/arrow.up.right.svg"
            Accessible.ignored: true
        }
    }

    LinkUnderline {
        objectName: "linkUnderline"
        label: label
        color: UninstallerTheme.ink
        opacity: root.hovering ? 1.0 : 0.32
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
