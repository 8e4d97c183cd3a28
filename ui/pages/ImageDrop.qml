import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import "../fonts"

// The area the splash picture is dropped on. It shows the picture the
// controller accepted; a file the controller refuses changes nothing here.
Rectangle {
    id: item

    property string src: ""
    // Shown under the picture sign while the area is empty.
    property string hint: ""

    signal clicked
    // The controller refused a file (it has already said why).
    signal refused(string url)

    function reset() {
        src = "";
    }

    // The path a drop takes: the controller loads and converts the file; only
    // a picture it accepted is shown. Returns whether it was accepted.
    function load(url) {
        var text = url.toString();
        if (!runner.loadSplash(text)) {
            refused(text);
            return false;
        }
        // Dropping the same file again (perhaps edited meanwhile) reloads it.
        src = "";
        src = text;
        return true;
    }

    implicitWidth: 300
    implicitHeight: 200
    radius: 2
    border.width: 1
    border.color: Material.primary
    color: dropArea.containsDrag ? Material.accent : Qt.darker(Material.background, 1.05)

    // A faint picture sign and the hint while there is nothing to show.
    Column {
        anchors.centerIn: parent
        width: parent.width - 16
        visible: item.src === ""
        spacing: 4

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: MaterialFont.icon["image"]
            font.family: MaterialFont.fontName
            font.pixelSize: Math.max(8, Math.min(item.width, item.height) / 3)
            color: Material.primary
            opacity: dropArea.containsDrag ? 0.6 : 0.15
        }
        Label {
            objectName: "dropHint"
            width: parent.width
            text: item.hint
            visible: text !== ""
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
            color: Material.primary
        }
    }

    Image {
        id: picture
        objectName: "splashPicture"
        anchors.fill: parent
        anchors.margins: 1
        source: item.src
        fillMode: Image.PreserveAspectFit
        cache: false

        Drag.active: mouseArea.drag.active
        Drag.dragType: Drag.Automatic
        Drag.supportedActions: Qt.CopyAction
        Drag.mimeData: {
            "text/uri-list": item.src
        }
    }

    MouseArea {
        id: mouseArea
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        drag.target: item.src !== "" ? picture : null
        onClicked: item.clicked()
    }

    ToolTip.visible: item.src === "" && mouseArea.containsMouse
    ToolTip.text: qsTr("Drop an image here")

    DropArea {
        id: dropArea
        anchors.fill: parent
        onDropped: function (drop) {
            if (!drop.hasUrls || drop.urls.length === 0
                    || !(drop.proposedAction === Qt.MoveAction || drop.proposedAction === Qt.CopyAction))
                return;
            if (item.load(drop.urls[0]))
                drop.acceptProposedAction();
        }
    }
}
