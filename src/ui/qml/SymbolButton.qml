// A round translucent button with a white symbol (ButtonArt), turning in place with the device.
import QtQuick
import QtQuick.Controls
import Lumivue

AbstractButton {
    id: button

    property string art // ButtonArt's name
    property real turn: 0 // degrees, clockwise
    property real cornerRadius: width / 2
    // A toggle that is on shows a lighter face.
    property bool selected: false

    Accessible.name: text
    // Qt 6.4's buttons ignore a screen reader's press: it comes through as a tap.
    Accessible.onPressAction: if (enabled) clicked()
    focusPolicy: Qt.NoFocus
    rotation: turn
    Behavior on rotation { RotationAnimation { duration: 500; direction: RotationAnimation.Shortest } }

    background: Rectangle {
        radius: button.cornerRadius
        color: Qt.rgba(0, 0, 0, 115 / 255)
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 150 / 255)
        Rectangle {
            anchors.fill: parent
            radius: parent.radius
            color: Qt.rgba(1, 1, 1, 90 / 255)
            visible: button.selected
        }
    }
    contentItem: PictureItem {
        image: controller.buttonArt(button.art, button.width)
        opacity: !button.enabled ? 0.4 : button.pressed ? 0.6 : 1.0
    }
    padding: 0
}
