import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.3

// One position of the dashboard's display. A catalogue entry dragged from the
// parameter list ("param-list") fills it; the cross empties it again.
Item {
    id: item

    property bool empty: true
    property string paramDescr: ""
    property real hid: 0 // parameter hash: unsigned 32-bit, more than an int holds
    property int dragItemIndex: -1
    property bool traceEdits: false

    readonly property color idleColor: "#80ff0000"
    readonly property color hoverColor: "#ffff0000"

    signal add
    signal remove

    // Takes the catalogue entry in row `idx` of the controller's parameter list.
    function take(idx) {
        var model = runner.paramListModel();
        hid = model.hash(idx);
        paramDescr = runner.describeParam(hid);
        empty = false;
        add();
    }

    function clear() {
        empty = true;
        paramDescr = "";
        hid = 0;
        bgrect.color = idleColor;
        remove();
    }

    implicitHeight: 40

    Rectangle {
        id: bgrect
        objectName: "bgrect"
        anchors.fill: parent
        color: item.idleColor
        border.width: 1
        border.color: "black"

        Label {
            anchors.centerIn: parent
            visible: item.empty
            text: qsTr("Choose from the list")
        }

        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 6
            anchors.rightMargin: 2
            visible: !item.empty
            spacing: 4

            // Wrapped, and in low positions (13 on the double display) made
            // smaller until the whole description with its units fits.
            Label {
                objectName: "paramDescr"
                text: item.paramDescr
                wrapMode: Text.Wrap
                fontSizeMode: Text.Fit
                minimumPixelSize: 7
                elide: Text.ElideRight
                verticalAlignment: Text.AlignVCenter
                Layout.fillWidth: true
                Layout.fillHeight: true
            }

            // Tall slots get a button, low ones a small clickable cross.
            ToolButton {
                objectName: "removeButton"
                visible: item.height > 32
                text: "✖"
                Layout.preferredHeight: Math.min(item.height, 40)
                Layout.preferredWidth: Layout.preferredHeight
                onClicked: item.clear()
            }
            Text {
                objectName: "removeText"
                visible: item.height <= 32
                text: " ✖ "
                Layout.alignment: Qt.AlignVCenter

                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: item.clear()
                }
            }
        }
    }

    DropArea {
        anchors.fill: parent
        keys: ["param-list"]
        onEntered: bgrect.color = item.hoverColor
        onExited: bgrect.color = item.idleColor
        onDropped: function (drop) {
            bgrect.color = item.idleColor;
            var source = drop.source;
            if (!source || source.idx === undefined) {
                console.debug("Invalid drop: no IDX property");
                return;
            }
            if (item.traceEdits)
                console.debug("Dropped: " + source + ", " + source.idx + ", hash "
                              + runner.paramListModel().hash(source.idx));
            item.take(source.idx);
            drop.accept();
        }
    }
}
