import QtQuick
import NuvraUi

// The only screen: icon, headline, subtitle, one control and at most one link, in a fixed column
// so the control sits at the same place in every phase. Everything shown comes from the model.
Item {
    id: root
    required property UninstallerViewModel model
    property url appIconSource

    width: 480
    height: 450

    // No background item: the window's own colour is the background (set where the view is
    // loaded), and a full-window rectangle would cost a shader of its own on the first frame.

    Column {
        id: column
        x: 40
        y: 44
        width: 400
        spacing: 0

        IconSlot {
            objectName: "iconSlot"
            anchors.horizontalCenter: parent.horizontalCenter
            kind: root.model.icon
            appIconSource: root.appIconSource
        }

        Item { width: 1; height: 16 }

        // The text block keeps its 130 height in every phase; a longer subtitle overflows
        // downwards under the controls instead of moving them.
        Item {
            objectName: "textBlock"
            width: 400
            height: 130
            Column {
                width: parent.width
                spacing: 6
                Text {
                    objectName: "headline"
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    text: root.model.headline
                    color: UninstallerTheme.textPrimary
                    font.family: UninstallerTheme.fontFamily
                    font.pixelSize: 25
                    font.weight: Font.DemiBold
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    objectName: "subtitle"
                    x: 20
                    width: parent.width - 40
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: root.model.subtitle
                    color: UninstallerTheme.textSecondary
                    font.family: UninstallerTheme.fontFamily
                    font.pixelSize: 13
                    font.weight: Font.Light
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }

        Item {
            objectName: "controlSlot"
            anchors.horizontalCenter: parent.horizontalCenter
            width: 220
            height: 42

            // Each control is created when its phase first needs it.
            Loader {
                active: root.model.control === "checking"
                sourceComponent: CheckingPlaceholder {
                    objectName: "checkingPlaceholder"
                }
            }
            Loader {
                active: root.model.control === "button"
                sourceComponent: PrimaryButton {
                    objectName: "primaryButton"
                    title: root.model.controlTitle
                    onClicked: root.model.activateControl()
                }
            }
            Loader {
                // A new bar for every run, so its fill starts empty instead of shrinking back.
                active: root.model.control === "progress"
                sourceComponent: UninstallProgressBar {
                    objectName: "progressBar"
                    fraction: root.model.progressFraction
                }
            }
        }

        Item { width: 1; height: 12 }

        Item {
            objectName: "linkRow"
            width: 400
            height: 30

            Loader {
                anchors.centerIn: parent
                active: root.model.link === "weak"
                sourceComponent: WeakActionLink {
                    objectName: "weakActionLink"
                    title: root.model.linkTitle
                    onClicked: root.model.activateLink()
                }
            }
            Loader {
                anchors.centerIn: parent
                active: root.model.link === "external"
                sourceComponent: InlineExternalLink {
                    objectName: "externalLink"
                    title: root.model.linkTitle
                    onClicked: root.model.activateLink()
                }
            }
        }
    }
}
