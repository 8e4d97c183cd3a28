import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import QtQuick.Layouts 1.3
import "../controls"
import "../fonts"

// The connected dashboard: engine and display selectors above the sub-pages
// (maintenance, display layout, splash screen, board configuration).
// The sub-pages here only show what the dashboard reported; editing them
// arrives with the display, picture and board pages.
MaterialPane {
    id: page

    signal ialert(string msg)

    property alias maint: maint
    property var config: []
    property var board: ({})

    // The engine selector takes a third of the page: keep the page's own
    // size out of its content's.
    contentWidth: 600
    contentHeight: 400

    function setup(engines) {
        engineEdit.model = engines;
    }

    function selectEngine(idx) {
        engineEdit.currentIndex = (idx < engineEdit.count) ? idx : 0;
    }

    function selectDisplay(type) {
        dispSelector.currentIndex = (type === 1) ? 1 : 0;
    }

    function init(cfg) {
        config = cfg;
    }

    function boardInit(cfg) {
        board = cfg;
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        RowLayout {
            Layout.fillWidth: true
            spacing: 8

            MaterialToolButton {
                id: selTool
                objectName: "selTool"
                text: MaterialFont.icon.settings
                font.pointSize: 14
                onClicked: selMenu.open()

                Menu {
                    id: selMenu
                    y: selTool.height
                    MenuItem {
                        text: qsTr("Dashboard")
                        onTriggered: stack.currentIndex = 0
                    }
                    MenuItem {
                        text: qsTr("Main Screen")
                        onTriggered: stack.currentIndex = 1
                    }
                    MenuItem {
                        text: qsTr("Splash Screen")
                        onTriggered: stack.currentIndex = 2
                    }
                    MenuItem {
                        text: qsTr("Board Config")
                        onTriggered: stack.currentIndex = 3
                    }
                    MenuSeparator {}
                    MenuItem {
                        text: qsTr("Reset Maintenance")
                        onTriggered: runner.updateEeeprom(0, 0)
                    }
                }
            }
            Label {
                text: qsTr("Engine:")
            }
            ComboBox {
                id: engineEdit
                objectName: "engineEdit"
                Layout.preferredWidth: Math.round(page.width / 3)
                model: []
            }
            Label {
                text: qsTr("Display")
            }
            ComboBox {
                id: dispSelector
                objectName: "dispSelector"
                model: ["Single", "Double"]
                enabled: false
            }
            Item {
                Layout.fillWidth: true
            }
            MaterialToolButton {
                id: applyTool
                objectName: "applyTool"
                text: MaterialFont.icon.check
                font.pointSize: 14
                tooltip: qsTr("Apply changes")
                enabled: false
            }
        }

        StackLayout {
            id: stack
            objectName: "devStack"
            currentIndex: 0
            Layout.fillWidth: true
            Layout.fillHeight: true

            Item {
                id: maint
                objectName: "maint"
                property real odoSaved: 0
                property real odoCurrent: 0
                property real odoLimit: 7000
                property real timeSaved: 0
                property real timeCurrent: 0
                property real timeLimit: 500

                GridLayout {
                    anchors.centerIn: parent
                    columns: 2
                    columnSpacing: 20
                    Label {
                        text: qsTr("Odometer, km")
                        font.pointSize: 14
                    }
                    Label {
                        objectName: "odoText"
                        text: (maint.odoCurrent - maint.odoSaved) + " / " + maint.odoLimit
                        font.pointSize: 14
                    }
                    Label {
                        text: qsTr("Time, hours")
                        font.pointSize: 14
                    }
                    Label {
                        objectName: "timeText"
                        text: (maint.timeSaved + maint.timeCurrent) + " / " + maint.timeLimit
                        font.pointSize: 14
                    }
                }
            }

            ListView {
                objectName: "configList"
                clip: true
                spacing: 4
                model: page.config
                delegate: Label {
                    text: (index + 1) + ": " + (modelData.active ? modelData.descr : "—")
                }
            }

            Item {}

            Item {}
        }
    }
}
