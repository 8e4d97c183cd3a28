import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.3

// The question before a write: what it changes on the dashboard, one line each,
// scrolling when there are many. With nothing to change it says so and offers
// only Close: nothing is written. OK runs the write it was asked for.
MaterialDialog {
    id: dialog

    // What the write changes, in the user's terms.
    property var lines: []
    // Said above the lines.
    property string heading: ""
    // Said instead when there are no lines.
    property string unchanged: qsTr("Nothing changes: the dashboard already holds this. Nothing is written.")
    property var action: null
    // A choice offered with the question, {"text", "checked", "note"} (null: none); the
    // action gets whether it was checked.
    property var offer: null
    readonly property bool offerChecked: offerCheck.checked

    modal: true
    parent: Overlay.overlay
    x: Math.round((parent.width - width) / 2)
    y: Math.round(Math.min(parent.height / 6, (parent.height - height) / 2))
    width: Math.min(parent.width - 20, Math.max(Math.round(2 * Math.min(parent.width, parent.height) / 3), 480))
    standardButtons: lines.length > 0 ? (Dialog.Ok | Dialog.Cancel) : Dialog.Close

    function ask(title, heading, lines, action, offer) {
        dialog.title = title;
        dialog.heading = heading;
        dialog.lines = lines;
        dialog.action = lines.length > 0 ? action : null;
        dialog.offer = offer || null;
        offerCheck.checked = dialog.offer !== null && !!dialog.offer.checked;
        open();
    }

    onAccepted: {
        var run = action;
        action = null;
        if (run)
            run(offerCheck.checked);
    }
    onRejected: action = null

    ColumnLayout {
        width: parent.width
        spacing: 8

        Label {
            objectName: "differenceHeading"
            text: dialog.lines.length > 0 ? dialog.heading : dialog.unchanged
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }

        ListView {
            id: list
            objectName: "differenceList"
            visible: dialog.lines.length > 0
            Layout.fillWidth: true
            // Long differences scroll inside the window.
            Layout.preferredHeight: Math.min(contentHeight, Math.round(dialog.parent.height * 0.45))
            clip: true
            spacing: 2
            model: dialog.lines
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: MaterialScrollBar {}
            delegate: Label {
                width: list.width - 12
                text: "\u2022 " + modelData
                wrapMode: Text.Wrap
            }
        }

        CheckBox {
            id: offerCheck
            objectName: "offerCheck"
            visible: dialog.offer !== null && dialog.lines.length > 0
            text: dialog.offer ? dialog.offer.text : ""
            Layout.fillWidth: true
        }
        Label {
            objectName: "offerNote"
            visible: offerCheck.visible && text !== ""
            text: dialog.offer && dialog.offer.note ? dialog.offer.note : ""
            wrapMode: Text.Wrap
            opacity: 0.7
            // Under the check box's text, not its box.
            leftPadding: offerCheck.indicator
                         ? offerCheck.leftPadding + offerCheck.indicator.width + offerCheck.spacing : 0
            Layout.fillWidth: true
        }
    }
}
