import QtQuick
import QtQuick.Controls
import Lumivue

// The photo viewer over the whole window: one album photo, upright, zoomed from the scale that
// fits all of it to the one where a photo pixel covers a device pixel, and centred while smaller
// than the view. Pinch (touch) or the wheel (1.25× a notch, about the pointer) zooms, a drag pans.
// A photo that cannot be shown is said so in its place. A video plays in the same place
// (VideoPlayer.qml, loaded only for videos) with play/pause and a position bar; one that cannot
// be played is said so like a photo. Done clicks and emits `done`; the opener closes the viewer.
//
// The viewer turns with the device as a whole screen does: held sideways or upside down, its
// content is turned so the photo and Done stay upright, with the window's sides swapped; the zoom
// range is fitted to that shape again and a fitted photo fitted again, while a zoomed-in one keeps
// its zoom and the photo point at the centre of the view. Lying flat keeps the last turn.
Item {
    id: viewer

    property string albumDirectory
    property string photoUrl
    // 1 portrait, 2 upside down, 3 landscape left, 4 landscape right; others keep the last turn.
    property int deviceOrientation: 1
    signal done()

    // The orientation the content is turned for, and the photo's zoom in points per photo pixel.
    property int turn: 1
    property real zoom: 1
    // Whether the whole photo is shown: it stays so when the view changes shape.
    property bool fitted: true
    readonly property real maximumZoom: photo.pixelScale
    readonly property real minimumZoom: {
        const w = photo.photoSize.width, h = photo.photoSize.height;
        if (!(w > 0 && h > 0 && flick.width > 0 && flick.height > 0))
            return maximumZoom;
        return Math.min(maximumZoom, flick.width / w, flick.height / h);
    }
    property bool turnsAnimated: false

    component MessageText: Text {
        width: parent.width
        color: "white"
        font.family: "Liberation Sans"
        font.pixelSize: 17
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }

    function clampZoom(scale) {
        return Math.max(minimumZoom, Math.min(maximumZoom, scale));
    }

    // The photo point (unzoomed) shown at `p`, a point of the view.
    function photoPointAt(p) {
        return Qt.point((flick.contentX + p.x - picture.x) / zoom, (flick.contentY + p.y - picture.y) / zoom);
    }

    // Scrolls to (x, y) as near as the content's edges allow.
    function scrollTo(x, y) {
        flick.contentX = Math.max(0, Math.min(flick.contentWidth - flick.width, x));
        flick.contentY = Math.max(0, Math.min(flick.contentHeight - flick.height, y));
    }

    // Shows the photo point `point` at the view point `p`.
    function place(point, p) {
        scrollTo(point.x * zoom + picture.x - p.x, point.y * zoom + picture.y - p.y);
    }

    function zoomAt(scale, p) {
        if (!(photo.photoSize.width > 0))
            return;
        const point = photoPointAt(p);
        zoom = clampZoom(scale);
        fitted = zoom <= minimumZoom * 1.0001;
        place(point, p);
    }

    // Fitted again to the view's present shape; a zoomed-in photo keeps its zoom within the range.
    function relayout() {
        zoom = fitted ? minimumZoom : clampZoom(zoom);
        fitted = zoom <= minimumZoom * 1.0001;
        scrollTo(flick.contentX, flick.contentY);
        photo.zoomedTo(zoom);
    }

    function turnTo(orientation) {
        if (orientation < 1 || orientation > 4 || orientation === turn)
            return;
        const centre = Qt.point(flick.width / 2, flick.height / 2);
        const point = photoPointAt(centre); // before the sides swap
        turn = orientation; // the content's sides follow at once
        relayout();
        if (!fitted)
            place(point, Qt.point(flick.width / 2, flick.height / 2));
    }

    onDeviceOrientationChanged: turnTo(deviceOrientation)
    onZoomChanged: photo.zoomedTo(zoom)
    // A resize changes both sides one after the other: fitted once both have.
    onMinimumZoomChanged: Qt.callLater(relayout)
    Component.onCompleted: {
        turnTo(deviceOrientation); // opened while held sideways: no turn to watch
        turnsAnimated = true;
    }

    PhotoViewer {
        id: photo
        albumDirectory: viewer.albumDirectory
        imageUrl: viewer.photoUrl
        viewSize: Qt.size(viewer.width, viewer.height)
        onPhotoSizeChanged: {
            viewer.fitted = true;
            viewer.relayout();
        }
    }

    Rectangle {
        anchors.fill: parent
        color: "black"
    }

    Item {
        id: turned
        readonly property bool sideways: viewer.turn === 3 || viewer.turn === 4
        anchors.centerIn: parent
        width: sideways ? viewer.height : viewer.width
        height: sideways ? viewer.width : viewer.height
        rotation: [0, 0, 180, 90, -90][viewer.turn]
        Behavior on rotation {
            enabled: viewer.turnsAnimated
            RotationAnimation {
                duration: 300
                direction: RotationAnimation.Shortest
            }
        }

        Flickable {
            id: flick
            objectName: "viewImageScrollView"
            anchors.fill: parent
            visible: !photo.isVideo
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            contentWidth: Math.max(width, picture.width)
            contentHeight: Math.max(height, picture.height)
            Accessible.role: Accessible.Pane
            Accessible.name: qsTr("Photo viewer")

            PinchArea {
                width: flick.contentWidth
                height: flick.contentHeight
                property real startZoom: 1
                onPinchStarted: startZoom = viewer.zoom
                onPinchUpdated: pinch => viewer.zoomAt(startZoom * pinch.scale, mapToItem(flick, pinch.center))

                PictureItem {
                    id: picture
                    objectName: "viewImageImageView"
                    visible: photo.photoSize.width > 0
                    smooth: true
                    image: photo.image
                    width: photo.photoSize.width * viewer.zoom
                    height: photo.photoSize.height * viewer.zoom
                    x: Math.max(0, (flick.width - width) / 2)
                    y: Math.max(0, (flick.height - height) / 2)
                    Accessible.role: Accessible.Graphic
                    Accessible.name: qsTr("Photo")
                }

                MouseArea {
                    anchors.fill: parent
                    acceptedButtons: Qt.NoButton
                    onWheel: wheel => viewer.zoomAt(viewer.zoom * Math.pow(1.25, wheel.angleDelta.y / 120),
                                                    mapToItem(flick, wheel.x, wheel.y))
                }
            }
        }

        Loader {
            id: videoPlayer
            anchors.fill: parent
            active: photo.isVideo
            visible: photo.message === ""
            source: "qrc:/lumivue/VideoPlayer.qml"
            onLoaded: {
                item.model = photo;
                item.source = Qt.binding(() => photo.videoSource);
                item.failed.connect(photo.videoFailed);
            }
        }

        Column {
            anchors.centerIn: parent
            width: parent.width - 32
            spacing: 6
            visible: photo.message !== ""
            MessageText {
                objectName: "viewImageMessage"
                text: photo.message
            }
            MessageText {
                objectName: "viewImageMessageDetail"
                text: photo.messageDetail
            }
        }

        Button {
            id: doneButton
            objectName: "viewImageDoneButton"
            x: parent.width - 76
            y: 16
            width: 60
            height: 32
            text: qsTr("Done")
            Accessible.name: text
            font.family: "Liberation Sans"
            font.pixelSize: 15
            font.bold: true
            // A light outline keeps it readable over the black margins as well as over the photo.
            background: Rectangle {
                color: Qt.rgba(0, 0, 0, 140 / 255)
                radius: 8
                border.width: 1
                border.color: Qt.rgba(1, 1, 1, 200 / 255)
            }
            contentItem: Text {
                text: doneButton.text
                font: doneButton.font
                color: "white"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            onClicked: {
                photo.done();
                viewer.done();
            }
        }
    }
}
