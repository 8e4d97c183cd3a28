import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import QtQuick.Layouts 1.3
import "../controls"

// The display layout: the dashboard's display positions on the left, the
// catalogue entries offered for the selected engine on the right. Entries are
// dragged onto positions; assembleParams() gives the layout as the controller
// writes it, setup() shows a layout the controller read.
Pane {
    id: pane

    property int displaySize: 6
    // The update-checking edition writes the layout edits to the debug log.
    property bool traceEdits: false

    // One entry per position, in position order.
    function assembleParams() {
        var params = [];
        for (var i = 0; i < displaySize; ++i) {
            var slot = rep.itemAt(i);
            if (traceEdits)
                console.debug("Assembling param " + i + " from " + slot);
            if (!slot || slot.empty)
                params.push({
                                "active": false
                            });
            else
                params.push({
                                "active": true,
                                "descr": slot.descr,
                                "hid": slot.hid
                            });
        }
        return params;
    }

    function setup(config) {
        for (var i = 0; i < displaySize; ++i) {
            var slot = rep.itemAt(i);
            if (!slot)
                continue;
            if (config && i < config.length && config[i] && config[i].active)
                slot.setupItem(config[i]);
            else
                slot.resetItem();
        }
    }

    // Shows the long description of row `idx` of the parameter list.
    function describe(idx) {
        var hash = runner.paramListModel().hash(idx);
        detailsField.text = runner.describeParam(hash, false);
    }

    padding: 4
    background: Item {}

    RowLayout {
        anchors.fill: parent
        spacing: 2

        Rectangle {
            Layout.fillHeight: true
            Layout.preferredWidth: (pane.availableWidth - 2) / 2
            color: "white"
            border.width: 1
            border.color: "red"

            Column {
                id: list
                objectName: "slotList"
                anchors.fill: parent
                padding: 3
                spacing: 4

                // Rounded down: rounding up would push the last position
                // past the frame by up to half a pixel per position.
                readonly property int slotHeight: Math.max(
                                                      1, Math.floor((height - 2 * padding - (pane.displaySize - 1) * spacing)
                                                                    / pane.displaySize))

                Repeater {
                    id: rep
                    objectName: "slotRepeater"
                    model: pane.displaySize

                    delegate: Item {
                        id: delegateItem
                        objectName: "slot" + index

                        property alias empty: slot.empty
                        property alias hid: slot.hid
                        property alias descr: slot.paramDescr

                        function setupItem(cfg) {
                            slot.hid = Number(cfg.hid);
                            slot.paramDescr = cfg.descr !== undefined ? String(cfg.descr) : "";
                            slot.empty = false;
                        }

                        function resetItem() {
                            slot.paramDescr = "";
                            slot.hid = 0;
                            slot.empty = true;
                        }

                        width: list.width - 2 * list.padding
                        height: list.slotHeight

                        DisplayItem {
                            id: slot
                            anchors.fill: parent
                            dragItemIndex: selector.dragItemIndex
                            traceEdits: pane.traceEdits
                        }
                    }
                }
            }
        }

        ColumnLayout {
            Layout.fillHeight: true
            Layout.preferredWidth: (pane.availableWidth - 2) / 2
            spacing: 4

            Label {
                text: qsTr("Available parameters:")
            }

            ListView {
                id: selector
                objectName: "selector"
                Layout.fillWidth: true
                Layout.fillHeight: true
                spacing: 4
                clip: true
                model: runner ? runner.paramListModel() : null // runner goes first at exit

                property int dragItemIndex: -1

                ScrollBar.vertical: MaterialScrollBar {
                    id: selectorBar
                }

                delegate: Item {
                    id: entrySpot
                    // The scroll bar runs beside the entries, not over them.
                    width: selector.width - selectorBar.width - 2
                    height: 32

                    MouseArea {
                        id: dragArea
                        objectName: "paramEntry" + index
                        anchors.fill: parent
                        drag.target: entry

                        onPressed: function (mouse) {
                            selector.dragItemIndex = index;
                            // The entry lands where the pointer is, wherever it was grabbed.
                            entry.Drag.hotSpot.x = mouse.x;
                            entry.Drag.hotSpot.y = mouse.y;
                        }
                        onClicked: {
                            if (pane.traceEdits)
                                console.debug("Clicked index " + index + ", hash "
                                              + runner.paramListModel().hash(index));
                            pane.describe(index);
                        }
                        onReleased: {
                            if (drag.active)
                                entry.Drag.drop();
                            selector.dragItemIndex = -1;
                        }

                        Rectangle {
                            id: entry

                            property int idx: index

                            width: dragArea.width
                            height: dragArea.height
                            anchors.verticalCenter: parent.verticalCenter
                            anchors.horizontalCenter: parent.horizontalCenter
                            radius: 4
                            color: "#a0dcdcdc"
                            border.width: 1
                            border.color: Material.primary

                            Label {
                                anchors.fill: parent
                                anchors.leftMargin: 8
                                text: name
                                elide: Text.ElideRight
                                verticalAlignment: Text.AlignVCenter
                            }

                            Drag.active: dragArea.drag.active
                            Drag.keys: ["param-list"]
                            Drag.source: entry

                            // While dragged the entry floats above the page
                            // and falls back into the list afterwards.
                            states: State {
                                when: dragArea.drag.active
                                ParentChange {
                                    target: entry
                                    parent: pane
                                }
                                AnchorChanges {
                                    target: entry
                                    anchors.verticalCenter: undefined
                                    anchors.horizontalCenter: undefined
                                }
                                PropertyChanges {
                                    target: entry
                                    z: 100
                                    opacity: 0.85
                                }
                            }
                        }
                    }
                }
            }

            ScrollView {
                Layout.fillWidth: true
                Layout.preferredHeight: Math.max(100, pane.availableHeight / 3)
                Layout.minimumHeight: 100
                clip: true

                Label {
                    id: detailsField
                    objectName: "detailsField"
                    width: selector.width
                    text: qsTr("Select a parameter")
                    textFormat: Text.RichText
                    wrapMode: Text.WordWrap
                }
            }
        }
    }
}
