import QtQuick

// The one large filled button: 220 × 42 whatever the title, no hover effect, no shortcut.
Item {
    id: root
    required property string title
    signal clicked

    implicitWidth: 220
    implicitHeight: 42
    width: 220
    height: 42

    Accessible.role: Accessible.Button
    Accessible.name: title
    Accessible.onPressAction: root.clicked()

    Rectangle {
        objectName: "primaryButtonFill"
        anchors.fill: parent
        radius: 12
        antialiasing: true
        color: UninstallerTheme.brandGreen
    }

    Text {
        anchors.centerIn: parent
        width: parent.width - 24
        horizontalAlignment: Text.AlignHCenter
        elide: Text.ElideRight
        text: root.title
        color: UninstallerTheme.textOnBrand
        font.family: UninstallerTheme.fontFamily
        font.pixelSize: 16
        font.weight: Font.Normal
    }

    MouseArea {
        anchors.fill: parent
        onClicked: root.clicked()
    }
}
