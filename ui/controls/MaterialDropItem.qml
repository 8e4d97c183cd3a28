import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4

// Takes dropped or pasted text (a file URL or plain text), turns it into bytes
// through q_dropHandler and shows what it got. Its content can be dragged out
// again as plain text.
Rectangle {
    id: item

    property var udata
    property string display: ""

    signal dropped
    signal clicked

    function reset() {
        udata = undefined;
        display = "";
    }

    function processText(text) {
        // A file too large to take leaves no content, only the reason.
        var refused = q_dropHandler.refusal(text);
        udata = refused === "" ? q_dropHandler.processInput(text) : undefined;
        display = refused === "" ? q_dropHandler.repr(udata) : refused;
    }

    implicitWidth: 200
    implicitHeight: 40
    radius: 2
    color: dropArea.containsDrag ? Material.accent : Qt.darker(Material.background, 1.05)
    border.width: 1
    border.color: Material.primary

    Label {
        id: label
        anchors.fill: parent
        anchors.margins: 4
        text: item.display !== "" ? item.display : qsTr("Drop a file/text here")
        opacity: item.display !== "" ? 1 : 0.5
        elide: Text.ElideMiddle
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter

        Drag.active: mouseArea.drag.active
        Drag.dragType: Drag.Automatic
        Drag.supportedActions: Qt.CopyAction | Qt.MoveAction
        Drag.mimeData: {
            "text/plain": item.display
        }
        Drag.onDragFinished: {
            if (dropAction === Qt.MoveAction)
                item.display = "";
        }
    }

    MouseArea {
        id: mouseArea
        anchors.fill: parent
        drag.target: item.display !== "" ? label : null
        onClicked: item.clicked()
    }

    DropArea {
        id: dropArea
        anchors.fill: parent
        keys: ["text/plain"]
        onDropped: function (drop) {
            if (!drop.hasText || !(drop.proposedAction === Qt.MoveAction
                                   || drop.proposedAction === Qt.CopyAction))
                return;
            item.processText(drop.text);
            drop.acceptProposedAction();
            item.dropped();
        }
    }
}
