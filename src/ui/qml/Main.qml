// The camera screen: the live picture full screen, the scope square in its middle, and the
// controls where a thumb reaches them, laid out for whatever window it is given.
import QtQuick
import QtQuick.Controls
import Lumivue

Rectangle {
    id: root

    // The tablet's larger controls where the window has room for them; the phone's otherwise.
    readonly property bool tablet: controller.tablet && width >= 540 && height >= 700
    // The device turn the individual controls and the panel follow, clockwise degrees.
    readonly property real turn: ({ 2: 180, 3: 90, 4: -90 })[controller.deviceOrientation] || 0
    // Where the bottom bar begins, and the room the scope leaves above and below it.
    readonly property real barHeight: tablet ? 120 : 84
    readonly property real reserve: tablet ? 212 : 140
    // The scope's side: the device class's, as far as the window leaves room clear of the control
    // column at the right and of the panel, the sliders and the bottom bar.
    readonly property real columnRoom: tablet ? 2 * (16 + 44 + 4) : 2 * (8 + 30 + 4)
    readonly property int scopeSide: Math.max(64, Math.floor(Math.min(controller.tablet ? 600 : 200, width - columnRoom, height - 2 * reserve)))

    color: "black"
    onWidthChanged: controller.setViewSize(width, height, scopeSide)
    onHeightChanged: controller.setViewSize(width, height, scopeSide)
    Component.onCompleted: {
        controller.setViewSize(width, height, scopeSide)
        controller.attachItems(preview, scopeImage, scopeGrid)
    }

    Rectangle {
        id: previewView
        objectName: "previewView"
        anchors.fill: parent
        color: "black"
        clip: true
        Accessible.role: Accessible.Graphic
        Accessible.name: qsTr("Camera picture")

        CameraPreviewItem {
            id: preview
            anchors.fill: parent
        }
        PictureItem {
            id: scopeImage
            objectName: "scopeImage"
            width: controller.scopeSize
            height: width
            anchors.centerIn: parent
            smooth: false
        }
        PictureItem {
            id: scopeGrid
            objectName: "scopeGrid"
            width: controller.scopeSize
            height: width
            anchors.centerIn: parent
        }
    }

    Item {
        id: controllScreenView
        objectName: "controllScreenView"
        anchors.fill: parent

        Item {
            id: controllHUDView
            objectName: "controllHUDView"
            // As wide as the widest option button opened, beside the left margin of 8.
            readonly property real panelWidth: Math.max(bEnlight.expandedWidth, bColorSpace.expandedWidth,
                                                        controller.tablet ? 0 : bPreset.expandedWidth) + 8
            readonly property real panelHeight: controller.tablet ? 88 : 128
            width: panelWidth
            height: panelHeight
            // Turned about its centre, then moved so the rectangle it covers starts at (8, 8).
            rotation: root.turn
            x: 8 + ((root.turn % 180 !== 0 ? panelHeight : panelWidth) - panelWidth) / 2
            y: 8 + ((root.turn % 180 !== 0 ? panelWidth : panelHeight) - panelHeight) / 2
            visible: !controller.sideControlsHidden
            Behavior on rotation { RotationAnimation { duration: 500; direction: RotationAnimation.Shortest } }
            Behavior on x { NumberAnimation { duration: 500 } }
            Behavior on y { NumberAnimation { duration: 500 } }

            OptionButton {
                id: bEnlight
                objectName: "bEnlight"
                x: 8; y: 8
                title: qsTr("Enlight")
                items: [qsTr("Auto"), qsTr("Manual"), qsTr("Off")]
                onChosen: (index) => controller.enlightChange(index)
            }
            OptionButton {
                id: bColorSpace
                objectName: "bColorSpace"
                x: 8; y: 48
                title: qsTr("Color")
                items: [qsTr("RGB"), qsTr("GREEN"), qsTr("B&W")]
                onChosen: (index) => controller.colorSpaceChange(index)
            }
            OptionButton {
                id: bPreset
                objectName: "bPreset"
                x: 8; y: 88
                visible: !controller.tablet
                title: qsTr("Preset")
                items: [qsTr("Low"), qsTr("Med"), qsTr("High"), qsTr("Photo")]
                selectedItem: 3
                buttonWidth: 40
                onChosen: (index) => controller.presetChange(index)
            }
        }

        // The torch, camera and night-mode switches: a column at the top right.
        readonly property real sideSize: root.tablet ? 44 : 30
        readonly property real sideRight: root.tablet ? 16 : 8
        readonly property real sideTop: root.tablet ? 16 : 10
        readonly property real sideStep: root.tablet ? 60 : 40
        SymbolButton {
            id: torchButton
            objectName: "torchButton"
            x: root.width - width - controllScreenView.sideRight
            y: controllScreenView.sideTop
            width: controllScreenView.sideSize; height: width
            cornerRadius: Math.min(15, width / 2)
            art: "torch"
            text: qsTr("Torch")
            visible: !controller.torchHidden
            onClicked: controller.changeScopeTorch()
        }
        SymbolButton {
            id: cameraButton
            objectName: "cameraButton"
            x: torchButton.x
            y: controllScreenView.sideTop + controllScreenView.sideStep
            width: controllScreenView.sideSize; height: width
            cornerRadius: Math.min(15, width / 2)
            art: "cameraSwitch"
            text: qsTr("Switch camera")
            turn: root.turn
            visible: !controller.cameraButtonHidden
            onClicked: controller.changeCamera()
        }
        SymbolButton {
            id: denoiseButton
            objectName: "denoiseButton"
            x: torchButton.x
            y: controllScreenView.sideTop + 2 * controllScreenView.sideStep
            width: controllScreenView.sideSize; height: width
            cornerRadius: Math.min(15, width / 2)
            art: controller.nightMode ? "nightMode-on" : "nightMode-off"
            text: qsTr("Night mode")
            turn: root.turn
            visible: !controller.sideControlsHidden
            selected: controller.nightMode
            // Checkable for screen readers (the control overrides Accessible.checked with its
            // own), always showing the screen's state; their toggle comes through as a tap.
            checkable: true
            Binding on checked { value: controller.nightMode }
            Accessible.onToggleAction: if (enabled) clicked()
            onClicked: controller.changeNightMode()
        }

        SymbolButton {
            id: timerButton
            objectName: "timerButton"
            x: torchButton.x
            y: controllScreenView.sideTop + 3 * controllScreenView.sideStep
            width: controllScreenView.sideSize; height: width
            cornerRadius: Math.min(15, width / 2)
            art: "selfTimer-" + controller.timerSeconds
            text: qsTr("Self-timer")
            Accessible.description: controller.timerSeconds > 0 ? qsTr("%1 s").arg(controller.timerSeconds) : qsTr("Off")
            turn: root.turn
            visible: !controller.sideControlsHidden
            onClicked: controller.changeTimer()
        }
        SymbolButton {
            id: captureModeButton
            objectName: "captureModeButton"
            x: torchButton.x
            y: controllScreenView.sideTop + 4 * controllScreenView.sideStep
            width: controllScreenView.sideSize; height: width
            cornerRadius: Math.min(15, width / 2)
            art: controller.videoMode ? "captureMode-video" : "captureMode-photo"
            text: qsTr("Photo or video")
            Accessible.description: controller.videoMode ? qsTr("Video") : qsTr("Photo")
            turn: root.turn
            visible: !controller.sideControlsHidden
            enabled: !controller.recording
            onClicked: controller.changeCaptureMode()
        }

        // While recording: a red dot and the time recorded, above the scope.
        Row {
            id: recordingView
            objectName: "recordingView"
            anchors.horizontalCenter: parent.horizontalCenter
            // Turned a quarter about its centre it stands upright: kept below the window's top.
            y: controllScreenView.sideTop + (root.turn % 180 !== 0 ? (width - height) / 2 : 0)
            spacing: 6
            rotation: root.turn
            visible: controller.recording
            Accessible.role: Accessible.StaticText
            Accessible.name: qsTr("Recording, %1").arg(recordingTime.text)
            Rectangle {
                width: root.tablet ? 16 : 12; height: width; radius: width / 2
                anchors.verticalCenter: parent.verticalCenter
                color: "#e82626"
            }
            Text {
                id: recordingTime
                text: {
                    const s = controller.recordingSeconds
                    const two = (n) => (n < 10 ? "0" : "") + n
                    return (s >= 3600 ? Math.floor(s / 3600) + ":" : "") + two(Math.floor(s / 60) % 60) + ":" + two(s % 60)
                }
                color: "white"
                style: Text.Outline
                styleColor: Qt.rgba(0, 0, 0, 0.6)
                font.bold: true
                font.pixelSize: root.tablet ? 22 : 16
            }
        }

        // The two sliders between the scope and the bottom bar.
        readonly property real sliderHeight: root.tablet ? 28 : 20
        readonly property real captionWidth: root.tablet ? 56 : 44
        readonly property real sliderLeft: root.tablet ? Math.max(8, (root.width - 520) / 2) + 60 : 56
        readonly property real sliderRight: root.tablet ? Math.max(8, (root.width - 520) / 2) : 16
        Text {
            id: levelCaption
            objectName: "levelCaption"
            x: controllScreenView.sliderLeft - width - (root.tablet ? 4 : 2)
            y: sliderNVLevel.y
            width: controllScreenView.captionWidth
            height: controllScreenView.sliderHeight
            text: qsTr("LEVEL")
            color: Qt.rgba(1, 1, 1, 210 / 255)
            font.bold: true
            font.pixelSize: root.tablet ? 14 : 10
            horizontalAlignment: Text.AlignRight
            verticalAlignment: Text.AlignVCenter
            visible: sliderNVLevel.visible
            Accessible.ignored: true
        }
        LevelSlider {
            id: sliderNVLevel
            objectName: "sliderNVLevel"
            x: controllScreenView.sliderLeft
            y: controllView.y - (root.tablet ? 78 : 50)
            width: root.width - x - controllScreenView.sliderRight
            height: controllScreenView.sliderHeight
            from: 0; to: 80; value: 1
            visible: !controller.levelSliderHidden
            Accessible.name: qsTr("Level")
            onSlid: (value) => controller.sliderNVAction(value)
            onReleased: controller.sliderNVFinish()
            Connections {
                target: controller
                function onLevelSliderSet(value, animated) { sliderNVLevel.setValueAnimated(value, animated) }
            }
        }
        Text {
            objectName: "zoomCaption"
            x: levelCaption.x
            y: sliderZoom.y
            width: controllScreenView.captionWidth
            height: controllScreenView.sliderHeight
            text: qsTr("ZOOM")
            color: levelCaption.color
            font: levelCaption.font
            horizontalAlignment: Text.AlignRight
            verticalAlignment: Text.AlignVCenter
            Accessible.ignored: true
        }
        LevelSlider {
            id: sliderZoom
            objectName: "sliderZoom"
            x: sliderNVLevel.x
            y: controllView.y - (root.tablet ? 40 : 26)
            width: sliderNVLevel.width
            height: controllScreenView.sliderHeight
            from: 0; to: 0.8; value: 0
            Accessible.name: qsTr("Zoom")
            onSlid: (value) => controller.sliderZoomAction(value)
        }

        Rectangle {
            id: controllView
            objectName: "controllView"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            height: root.barHeight
            color: Qt.rgba(0, 0, 0, 140 / 255)

            AbstractButton {
                id: captureButton
                objectName: "captureButton"
                readonly property real side: root.tablet ? 80 : 54
                x: root.tablet ? 48 : 18
                y: root.tablet ? 20 : 15
                width: side; height: side
                padding: 0
                focusPolicy: Qt.NoFocus
                text: qsTr("Photo album")
                Accessible.name: text
                Accessible.onPressAction: if (enabled) clicked()
                rotation: root.turn
                Behavior on rotation { RotationAnimation { duration: 500; direction: RotationAnimation.Shortest } }
                background: Rectangle {
                    radius: 8
                    color: Qt.rgba(30 / 255, 30 / 255, 34 / 255, 220 / 255)
                }
                // The frame over the picture, as a photo's mount.
                Rectangle {
                    anchors.fill: parent
                    z: 1
                    radius: 8
                    color: "transparent"
                    border.width: 1.5
                    border.color: Qt.rgba(1, 1, 1, 200 / 255)
                }
                contentItem: Item {
                    opacity: !captureButton.enabled ? 0.4 : captureButton.pressed ? 0.6 : 1.0
                    PictureItem {
                        anchors.fill: parent
                        visible: controller.hasThumbnail
                        image: { controller.thumbnail; return controller.thumbnailArtSized(width, height, 8) }
                    }
                    PictureItem {
                        anchors.fill: parent
                        visible: !controller.hasThumbnail
                        image: controller.buttonArt("albumPlaceholder", captureButton.side)
                    }
                }
                onClicked: controller.photoAlbum()
            }
            AbstractButton {
                id: takePictureButton
                objectName: "takePictureButton"
                readonly property real side: root.tablet ? 100 : 70
                x: (parent.width - side) / 2 + (root.tablet ? 5 : 0)
                y: root.tablet ? 10 : 7
                width: side; height: side
                padding: 0
                focusPolicy: Qt.NoFocus
                enabled: controller.shutterEnabled
                text: !controller.videoMode ? qsTr("Take photo")
                    : controller.recording ? qsTr("Stop recording") : qsTr("Start recording")
                Accessible.name: text
                Accessible.onPressAction: if (enabled) clicked()
                rotation: root.turn
                Behavior on rotation { RotationAnimation { duration: 500; direction: RotationAnimation.Shortest } }
                contentItem: PictureItem {
                    image: controller.buttonArt(!controller.videoMode ? "shutter"
                        : controller.recording ? "shutter-stop" : "shutter-video", takePictureButton.side)
                    opacity: !takePictureButton.enabled ? 0.4 : takePictureButton.pressed ? 0.6 : 1.0
                }
                onClicked: controller.takePicture()
            }
            SymbolButton {
                id: nvButton
                objectName: "NVButton"
                width: root.tablet ? 68 : 48
                height: width
                x: parent.width - width - (root.tablet ? 44 : 21)
                y: root.tablet ? 26 : 18
                art: "grid"
                text: qsTr("Show or hide the controls")
                turn: root.turn
                onClicked: controller.changeScopeGrid()
            }
        }
    }

    // The self-timer's countdown, large over the scope; a tap anywhere cancels it.
    MouseArea {
        anchors.fill: parent
        visible: controller.countdown > 0
        onClicked: controller.cancelCountdown()
        Text {
            objectName: "countdownView"
            anchors.centerIn: parent
            rotation: root.turn
            text: controller.countdown
            color: "white"
            style: Text.Outline
            styleColor: Qt.rgba(0, 0, 0, 0.6)
            font.bold: true
            font.pixelSize: Math.max(48, root.scopeSide / 2)
            Accessible.role: Accessible.StaticText
            Accessible.name: (controller.videoMode ? qsTr("Recording in %1 s; tap to cancel")
                                                   : qsTr("Photo in %1 s; tap to cancel")).arg(controller.countdown)
        }
    }

    // The photo viewer over the whole screen; the camera stops while it is open.
    Loader {
        id: viewer
        anchors.fill: parent
        active: controller.viewerPhoto !== ""
        source: "qrc:/lumivue/Viewer.qml"
        onLoaded: {
            item.albumDirectory = controller.albumDirectory
            item.photoUrl = controller.viewerPhoto
            item.deviceOrientation = Qt.binding(() => controller.deviceOrientation)
            item.done.connect(controller.closeViewer)
        }
    }

    Alert {
        anchors.fill: parent
        visible: controller.alertShown
        title: controller.alertTitle
        message: controller.alertMessage
        button: controller.alertButton
        onDismissed: controller.dismissAlert()
    }
}
