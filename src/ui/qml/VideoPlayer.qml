// An album video in the viewer: fitted to the view, paused on its first frame until played, with
// a play/pause control and a position bar (elapsed and total time) over its foot. The player's
// error goes out through `failed`; the viewer says so in the video's place.
//
// A VideoOutput draws through the GPU's scene graph only: where Qt Quick draws in software (no
// usable GPU, headless) the frames go to the model's sink instead and are shown as pictures.
import QtQuick
import QtQuick.Controls
import QtMultimedia
import Lumivue

Item {
    id: playerView

    property url source
    property PhotoViewer model
    signal failed(string reason)

    readonly property bool drawnInSoftware: GraphicsInfo.api === GraphicsInfo.Software
    // Shown paused on the first frame once there is a video.
    onSourceChanged: Qt.callLater(player.pause)

    readonly property bool playing: player.playbackState === MediaPlayer.PlayingState

    function clock(ms) {
        const seconds = Math.floor(Math.max(0, ms) / 1000);
        const minutes = Math.floor(seconds / 60);
        return minutes + ":" + String(seconds % 60).padStart(2, "0");
    }

    MediaPlayer {
        id: player
        objectName: "videoPlayer"
        source: playerView.source
        videoOutput: playerView.drawnInSoftware ? (playerView.model ? playerView.model.videoSink : null) : output
        audioOutput: AudioOutput {}
        onErrorOccurred: (error, errorString) => playerView.failed(errorString)
        // Played to the end: back to the start, ready to play again.
        onMediaStatusChanged: if (mediaStatus === MediaPlayer.EndOfMedia) player.pause()
    }
    VideoOutput {
        id: output
        objectName: "videoOutput"
        anchors.fill: parent
        visible: !playerView.drawnInSoftware
        fillMode: VideoOutput.PreserveAspectFit
        Accessible.role: Accessible.Graphic
        Accessible.name: qsTr("Video")
    }
    PictureItem {
        objectName: "videoPicture"
        readonly property real fit: imageSize.width > 0 && imageSize.height > 0
            ? Math.min(parent.width / imageSize.width, parent.height / imageSize.height) : 0
        anchors.centerIn: parent
        width: imageSize.width * fit
        height: imageSize.height * fit
        visible: playerView.drawnInSoftware
        smooth: true
        image: playerView.model ? playerView.model.videoFrame : undefined
        Accessible.role: Accessible.Graphic
        Accessible.name: qsTr("Video")
    }

    Rectangle {
        id: bar
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: 64
        color: Qt.rgba(0, 0, 0, 140 / 255)

        Button {
            id: playPauseButton
            objectName: "playPauseButton"
            x: 12
            anchors.verticalCenter: parent.verticalCenter
            width: 44
            height: 44
            text: playerView.playing ? qsTr("Pause") : qsTr("Play")
            Accessible.name: text
            Accessible.onPressAction: clicked()
            focusPolicy: Qt.NoFocus
            background: Rectangle {
                radius: width / 2
                color: Qt.rgba(0, 0, 0, 115 / 255)
                border.width: 1
                border.color: Qt.rgba(1, 1, 1, 150 / 255)
            }
            contentItem: Item {
                opacity: playPauseButton.pressed ? 0.6 : 1
                // Two bars while playing, a triangle pointing right while paused.
                Row {
                    anchors.centerIn: parent
                    spacing: 5
                    visible: playerView.playing
                    Repeater {
                        model: 2
                        Rectangle { width: 5; height: 16; color: "white" }
                    }
                }
                Canvas {
                    anchors.centerIn: parent
                    width: 16
                    height: 18
                    visible: !playerView.playing
                    onPaint: {
                        const c = getContext("2d");
                        c.fillStyle = "white";
                        c.beginPath();
                        c.moveTo(2, 0);
                        c.lineTo(16, 9);
                        c.lineTo(2, 18);
                        c.closePath();
                        c.fill();
                    }
                }
            }
            onClicked: playerView.playing ? player.pause() : player.play()
        }

        LevelSlider {
            id: positionSlider
            objectName: "videoPositionSlider"
            anchors.left: playPauseButton.right
            anchors.right: time.left
            anchors.leftMargin: 16
            anchors.rightMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            height: 40
            from: 0
            to: Math.max(1, player.duration)
            enabled: player.seekable
            Accessible.name: qsTr("Position")
            Accessible.description: time.text
            Binding on value {
                when: !positionSlider.pressed
                value: player.position
                restoreMode: Binding.RestoreNone
            }
            onSlid: value => player.setPosition(value)
        }

        Text {
            id: time
            objectName: "videoTimeLabel"
            anchors.right: parent.right
            anchors.rightMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            color: "white"
            font.family: "Liberation Sans"
            font.pixelSize: 15
            text: qsTr("%1 / %2").arg(playerView.clock(player.position)).arg(playerView.clock(player.duration))
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
