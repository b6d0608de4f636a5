// A compact multiple-choice control. Collapsed it shows its title and the chosen item; a tap
// opens it sideways into a row of every item (the chosen one in bold), and a tap on an item
// chooses it and collapses the row again; a tap on the title or the margins leaves it open.
// In points, with n items of width w: collapsed w + 64 wide, open n × w + 64, 32 high; the title
// at (8, 9, 44, 16); item i while open at (54 + i × w, −3, w, 39).
import QtQuick

Item {
    id: option

    property string title
    property var items: []
    property int selectedItem: 0
    property real buttonWidth: 50
    property bool expanded: false
    readonly property real expandedWidth: items.length * buttonWidth + 64
    // A choice by the user (not the starting one).
    signal chosen(int index)

    width: (expanded ? items.length : 1) * buttonWidth + 64
    height: 32
    Behavior on width { NumberAnimation { duration: 200 } }

    Accessible.role: Accessible.ComboBox
    Accessible.name: title
    Accessible.description: items[selectedItem] || ""
    Accessible.onPressAction: tapAt(20, 16)

    function tapAt(x, y) {
        if (!expanded) {
            expanded = true
            return
        }
        const index = Math.floor((x - 54) / buttonWidth)
        if (x < 54 || index < 0 || index >= items.length || y < -3 || y > 36)
            return // the title and the margins keep the row open
        choose(index)
    }
    function choose(index) {
        if (index < 0 || index >= items.length)
            return
        expanded = false
        if (index === selectedItem)
            return
        selectedItem = index
        chosen(index)
    }
    // Scripted control: taps the control open if needed, then taps the item.
    function chooseItemForScript(index) {
        if (index < 0 || index >= items.length || !enabled || !visible)
            return false
        if (!expanded)
            tapAt(20, 16)
        tapAt(54 + (index + 0.5) * buttonWidth, 16)
        return selectedItem === index
    }

    Rectangle {
        anchors.fill: parent
        radius: 15
        color: Qt.rgba(1, 1, 1, 0.5)
        border.width: 1
        border.color: "black"
    }
    Text {
        x: 8; y: 9; width: 44; height: 16
        text: option.title
        font.pixelSize: 14
        verticalAlignment: Text.AlignVCenter
    }
    Repeater {
        model: option.items
        delegate: Text {
            required property int index
            required property string modelData
            readonly property bool chosenOne: index === option.selectedItem
            x: option.expanded ? 54 + index * option.buttonWidth
                               : (index <= option.selectedItem ? 54 : 54 + option.buttonWidth)
            y: -3
            width: option.expanded || chosenOne ? option.buttonWidth : 0
            height: 39
            clip: true
            text: modelData
            font.pixelSize: 14
            font.bold: option.expanded && chosenOne
            color: option.expanded && !chosenOne ? Qt.rgba(0, 0, 0, 0.8) : "black"
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            Behavior on x { NumberAnimation { duration: 200 } }
            Behavior on width { NumberAnimation { duration: 200 } }
            Accessible.role: Accessible.Button
            Accessible.name: modelData
            Accessible.ignored: !option.expanded
            Accessible.onPressAction: option.choose(index)
        }
    }
    TapHandler {
        onTapped: (point) => option.tapAt(point.position.x, point.position.y)
    }
}
