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

    color: Qt.rgba(0, 0, 0, 100 / 255)
    // Swallows every touch outside the box.
    MouseArea { anchors.fill: parent }

    Rectangle {
        id: box
        objectName: "alertView"
        width: 270
        height: 16 + title.height + (alert.message === "" ? 0 : message.height + 6) + 16 + 44
        anchors.centerIn: parent
        radius: 12
        color: Qt.rgba(246 / 255, 246 / 255, 246 / 255, 1)
        Accessible.role: Accessible.AlertMessage
        Accessible.name: alert.title
        Accessible.description: alert.message

        Text {
            id: title
            x: 16; y: 16
            width: box.width - 32
            text: alert.title
            font.bold: true
            font.pixelSize: 17
            horizontalAlignment: Text.AlignHCenter
        }
        Text {
            id: message
            x: 16; y: title.y + title.height + 6
            width: box.width - 32
            text: alert.message
            font.pixelSize: 13
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
        }
        Rectangle { // the line above the button
            y: box.height - 44
            width: box.width
            height: 0.5
            color: Qt.rgba(0, 0, 0, 50 / 255)
        }
        AbstractButton {
            objectName: "alertButton"
            y: box.height - 44
            width: box.width
            height: 44
            text: alert.button === "" ? qsTr("OK") : alert.button
            focusPolicy: Qt.NoFocus
            Accessible.name: text
            Accessible.onPressAction: clicked()
            contentItem: Text {
                text: parent.text
                color: "#1f5fbf"
                font.bold: true
                font.pixelSize: 15
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                opacity: parent.pressed ? 0.6 : 1.0
            }
            onClicked: alert.dismissed()
        }
    }
}
