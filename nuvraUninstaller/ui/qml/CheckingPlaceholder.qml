import QtQuick

// Shown while the scan runs: looks like the button's place holder, reacts to nothing.
Rectangle {
    width: 220
    height: 42
    radius: 12
    antialiasing: true
    color: UninstallerTheme.cardFill
    Accessible.role: Accessible.StaticText
    Accessible.name: label.text

    Text {
        id: label
        anchors.centerIn: parent
        text: qsTr("Checking…")
        color: UninstallerTheme.textMuted
        font.family: UninstallerTheme.fontFamily
        font.pixelSize: 16
        font.weight: Font.Normal
    }
}
