import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import QtQuick.Layouts 1.3
import "../controls"
import "../fonts"
import "../pages"

// The connected dashboard in the update-checking edition: page menu, engine
// and display selectors and "Apply changes" above two sub-pages, the display
// layout and the splash screen. This edition has no maintenance dashboard and
// no board settings; the engine goes to the controller by name.
MaterialPane {
    id: page

    signal ialert(string msg)

    property alias lcd1: lcd1
    property alias picPane: picPane
    property alias subPage: stack.currentIndex

    contentWidth: 600
    contentHeight: 400

    function setup(engines) {
        engineEdit.model = engines;
    }

    function selectEngine(idx) {
        engineEdit.currentIndex = (idx >= 0 && idx < engineEdit.count) ? idx : 0;
    }

    function selectDisplay(type) {
        dispSelector.currentIndex = (type === 1) ? 1 : 0;
    }

    function init(config) {
        lcd1.setup(config);
    }

    function apply() {
        switch (stack.currentIndex) {
        case 0:
            runner.updateConfig(lcd1.assembleParams());
            break;
        case 1:
            if (runner.canUploadSplash())
                runner.uploadSplash();
            else
                ialert(qsTr("Splash is not ready"));
            break;
        }
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
                    objectName: "selMenu"
                    y: selTool.height

                    MenuItem {
                        objectName: "mainScreenMenu"
                        text: qsTr("Screen Menu")
                        onTriggered: stack.currentIndex = 0
                    }
                    MenuItem {
                        objectName: "splashScreenMenu"
                        text: qsTr("Picture Menu")
                        onTriggered: stack.currentIndex = 1
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
                onCurrentTextChanged: {
                    if (currentText === "")
                        return;
                    console.debug("Engine current index changed to " + currentIndex + ": "
                                  + currentText);
                    runner.setEngine(currentText, lcd1.assembleParams());
                }
            }

            Label {
                text: qsTr("Display")
            }
            ComboBox {
                id: dispSelector
                objectName: "dispSelector"
                model: ["Single", "Double"]
                onCurrentIndexChanged: {
                    // Positions that exist on both displays keep their values.
                    var kept = lcd1.assembleParams();
                    lcd1.displaySize = currentIndex === 1 ? 13 : 6;
                    lcd1.setup(kept);
                }
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
                onClicked: page.apply()
            }
        }

        StackLayout {
            id: stack
            objectName: "devStack"
            currentIndex: 0
            Layout.fillWidth: true
            Layout.fillHeight: true

            Pane {
                id: screenPane
                objectName: "screenPane"
                padding: 0
                background: Item {}

                SwipeView {
                    anchors.fill: parent
                    clip: true
                    interactive: false

                    DisplayPage {
                        id: lcd1
                        objectName: "lcd1"
                        traceEdits: true
                    }
                }
            }

            PicturePage {
                id: picPane
                objectName: "picPane"
            }
        }
    }
}
