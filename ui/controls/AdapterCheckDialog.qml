import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.3

// The adapter check's report: one finding a row, its name beside it, scrolling
// inside the window when the window is small.
MaterialDialog {
    id: dialog

    // The report's lines, "Name: finding".
    property var lines: []

    function show(text) {
        dialog.lines = text.split("\n").filter(function (line) { return line !== ""; });
        open();
    }

    title: qsTr("Adapter test")
    modal: true
    parent: Overlay.overlay
    standardButtons: Dialog.Close
    x: Math.round((parent.width - width) / 2)
    y: Math.round(Math.max(0, (parent.height - height) / 2))
    width: Math.min(parent.width - 20, 720)

    ListView {
        id: list
        objectName: "adapterCheckList"
        width: parent.width
        // The dialog takes its height from here; a long report scrolls inside the window.
        implicitHeight: Math.min(contentHeight, Math.round(dialog.parent.height * 0.6))
        height: implicitHeight
        clip: true
        spacing: 6
        model: dialog.lines
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: MaterialScrollBar {}
        delegate: RowLayout {
            width: list.width - 12
            spacing: 12
            property int cut: modelData.indexOf(": ")
            Label {
                text: cut > 0 ? modelData.substring(0, cut) : ""
                font.bold: true
                wrapMode: Text.Wrap
                Layout.preferredWidth: Math.round(list.width * 0.3)
                Layout.alignment: Qt.AlignTop
            }
            Label {
                text: cut > 0 ? modelData.substring(cut + 2) : modelData
                wrapMode: Text.Wrap
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
            }
        }
    }
}
