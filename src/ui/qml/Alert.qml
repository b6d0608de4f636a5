// A modal one-button alert: the screen dims and nothing under it takes a touch until the button
// ("alertButton") is tapped.
import QtQuick
import QtQuick.Controls

Rectangle {
    id: alert

    property string title
    property string message
    property string button
    signal dismissed()

    color: Qt.rgba(0, 0, 0, 0.4)
    // Swallows every touch outside the box.
    MouseArea { anchors.fill: parent }

    Rectangle {
        id: box
        objectName: "alertView"
        width: Math.min(270, alert.width - 32)
        height: column.height + 16
        anchors.centerIn: parent
        radius: 12
        color: Qt.rgba(0.95, 0.95, 0.95, 0.96)
        Accessible.role: Accessible.AlertMessage
        Accessible.name: alert.title
        Accessible.description: alert.message

        Column {
            id: column
            x: 16; y: 16
            width: box.width - 32
            spacing: 8
            Text {
                width: parent.width
                text: alert.title
                font.bold: true
                font.pixelSize: 17
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
            }
            Text {
                width: parent.width
                text: alert.message
                font.pixelSize: 13
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
            }
            AbstractButton {
                objectName: "alertButton"
                width: parent.width
                height: 44
                text: alert.button
                focusPolicy: Qt.NoFocus
                Accessible.name: text
                Accessible.onPressAction: clicked()
                contentItem: Text {
                    text: alert.button
                    color: "#2f7fef"
                    font.pixelSize: 17
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                onClicked: alert.dismissed()
            }
        }
    }
}
