// A slider with the look of the camera's own: a blue track left of a white knob, grey right.
// `slid` is the user moving it; `released` is the finger let go.
import QtQuick
import QtQuick.Controls

Slider {
    id: slider

    signal slid(real value)
    signal released()
    // The range a screen reader reads: Qt 6.4 looks for it under these names.
    property real minimumValue: from
    property real maximumValue: to
    // A screen reader's steps, a tenth of the range each, come through as a finger's slide (Qt
    // 6.4's own do nothing).
    Accessible.onIncreaseAction: slideForScript(Math.min(to, value + (to - from) / 10))
    Accessible.onDecreaseAction: slideForScript(Math.max(from, value - (to - from) / 10))

    padding: 0
    live: true
    focusPolicy: Qt.NoFocus
    onMoved: slid(value)
    onPressedChanged: if (!pressed) released()

    // Glides to a value set by the screen (animated) or jumps there.
    function setValueAnimated(target, animated) {
        glide.stop()
        if (animated) {
            glide.to = target
            glide.start()
        } else {
            value = target
        }
    }
    // Scripted control: as a finger moving it there and letting go.
    function slideForScript(target) {
        if (!enabled)
            return false
        value = target
        moved()
        released()
        return true
    }
    NumberAnimation { id: glide; target: slider; property: "value"; duration: 200 }

    background: Item {
        readonly property real knob: 28
        Rectangle {
            x: parent.knob / 2
            y: (slider.height - 4) / 2
            width: slider.visualPosition * (slider.width - parent.knob)
            height: 4
            radius: 2
            color: "#2f7fef"
        }
        Rectangle {
            x: parent.knob / 2 + slider.visualPosition * (slider.width - parent.knob)
            y: (slider.height - 4) / 2
            width: (1 - slider.visualPosition) * (slider.width - parent.knob)
            height: 4
            radius: 2
            color: "#b8b8b8"
        }
    }
    handle: Rectangle {
        x: slider.visualPosition * (slider.width - width)
        y: (slider.height - height) / 2
        width: 28
        height: 28
        radius: 14
        color: "white"
        border.width: 1
        border.color: Qt.rgba(0, 0, 0, slider.pressed ? 110 / 255 : 60 / 255)
    }
}
