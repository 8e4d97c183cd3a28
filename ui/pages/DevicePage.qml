import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import "../dialogs" as Dialogs
import QtQuick.Layouts 1.3
import Qt.labs.settings 1.0
import "../controls"
import "../fonts"

// The connected dashboard: page menu, engine and display selectors and
// "Apply changes" above four sub-pages (maintenance dashboard, display
// layout, splash screen, board configuration). The pages hold the edits; the
// controller gets them when the user applies.
MaterialPane {
    id: page

    signal ialert(string msg)

    property alias maint: maint
    property alias lcd1: lcd1
    property alias cfgPage: cfgPage
    property alias picPane: picPane
    property alias subPage: stack.currentIndex

    // The engine selector takes a third of the page: keep the page's own
    // size out of its content's.
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

    function boardInit(config) {
        cfgPage.set(config);
    }

    // A layout profile holds what the display layout and board settings pages edit.
    function saveLayout(url) {
        if (runner.saveLayout(url, engineEdit.currentText, lcd1.assembleParams(), cfgPage.get()))
            ialert(qsTr("Layout saved"));
    }

    // Fills the pages as if the user had made the choices; nothing is written before
    // "Apply changes". A refused profile changes nothing (the controller says why).
    function loadLayout(url) {
        return fillFromLayout(runner.loadLayout(url),
                              qsTr("Layout loaded: \"Apply changes\" writes it"));
    }

    // What the dashboard held before an earlier write, loaded like a profile.
    function loadHistoryEntry(path) {
        return fillFromLayout(runner.loadHistoryEntry(path),
                              qsTr("Earlier settings loaded: \"Apply changes\" writes them"));
    }

    function fillFromLayout(layout, message) {
        if (layout.config === undefined)
            return false;
        var idx = engineEdit.find(layout.engine);
        if (idx >= 0)
            engineEdit.currentIndex = idx;
        lcd1.setup(layout.config);
        // A board record the page does not understand is never written: leave it so.
        if (layout.board.version !== undefined && cfgPage.valid)
            cfgPage.set(layout.board);
        stack.currentIndex = 1;
        ialert(message);
        return true;
    }

    function apply() {
        switch (stack.currentIndex) {
        case 1:
        case 3:
            // Never blind: what the write changes is asked first.
            var config = lcd1.assembleParams();
            var board = cfgPage.get();
            var diff = runner.configDifference(config, board);
            if (!diff.ok) {
                ialert(diff.error);
                break;
            }
            applyConfirm.ask(qsTr("Apply changes"),
                             qsTr("These changes will be written to the dashboard:"), diff.lines,
                             function () { runner.updateConfig(config, board); });
            break;
        case 2:
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

                MaterialMenu {
                    id: selMenu
                    objectName: "selMenu"
                    y: selTool.height

                    MenuItem {
                        objectName: "dashboardMenu"
                        text: qsTr("Dashboard")
                        onTriggered: stack.currentIndex = 0
                    }
                    MenuItem {
                        objectName: "mainScreenMenu"
                        text: qsTr("Main Screen")
                        onTriggered: stack.currentIndex = 1
                    }
                    MenuItem {
                        objectName: "splashScreenMenu"
                        text: qsTr("Splash Screen")
                        onTriggered: stack.currentIndex = 2
                    }
                    MenuItem {
                        objectName: "boardConfigMenu"
                        text: qsTr("Board Config")
                        onTriggered: stack.currentIndex = 3
                    }
                    MenuSeparator {}
                    MenuItem {
                        objectName: "resetMaintMenu"
                        text: qsTr("Reset Maintenance")
                        onTriggered: resetConfirm.open()
                    }
                    MenuSeparator {}
                    MenuItem {
                        objectName: "saveLayoutMenu"
                        text: qsTr("Save layout...")
                        onTriggered: page.openLayoutDialog(saveLayoutDialog)
                    }
                    MenuItem {
                        objectName: "loadLayoutMenu"
                        text: qsTr("Load layout...")
                        onTriggered: page.openLayoutDialog(loadLayoutDialog)
                    }
                    MenuItem {
                        objectName: "historyMenu"
                        text: qsTr("History...")
                        onTriggered: historyDialog.open()
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
                    if (currentText !== "")
                        runner.setEngineByName(currentText, lcd1.assembleParams());
                }
            }

            Label {
                text: qsTr("Display")
            }
            ComboBox {
                id: dispSelector
                objectName: "dispSelector"
                model: ["Single", "Double"]
                enabled: false
                onCurrentIndexChanged: {
                    // Positions that exist on both displays keep their values.
                    var kept = lcd1.assembleParams();
                    lcd1.displaySize = runner.positionsOf(currentIndex);
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

            Maintenance {
                id: maint
                objectName: "maint"
            }

            Pane {
                id: screenPane
                objectName: "screenPane"
                padding: 0
                background: Item {}

                SwipeView {
                    anchors.fill: parent
                    clip: true
                    // One page only; a swipe would fight the drags.
                    interactive: false

                    DisplayPage {
                        id: lcd1
                        objectName: "lcd1"
                    }
                }
            }

            PicturePage {
                id: picPane
                objectName: "picPane"
            }

            ConfigPage {
                id: cfgPage
                objectName: "cfgPage"
            }
        }
    }

    // The reset starts a new maintenance interval at the dashboard's current
    // odometer and engine time; it cannot be undone, so it is asked first. The
    // interface's own dialog, inside the window like the other questions (a
    // widget message box also reports its OK twice: two resets).
    MaterialDialog {
        id: resetConfirm
        objectName: "resetConfirm"
        title: qsTr("Reset Maintenance")
        modal: true
        standardButtons: Dialog.Ok | Dialog.Cancel
        parent: Overlay.overlay
        x: (parent.width - width) / 2
        y: Math.round(Math.min(parent.height / 6, (parent.height - height) / 2))
        width: Math.min(parent.width, parent.height) / 2
        onAccepted: runner.resetMaintenance()

        Label {
            objectName: "resetQuestion"
            width: resetConfirm.availableWidth
            text: qsTr("Start a new maintenance interval? The current odometer (%1 km) and engine time become the saved maintenance points.")
                  .arg(maint.odoCurrent)
            wrapMode: Text.Wrap
        }
    }

    DifferenceDialog {
        id: applyConfirm
        objectName: "applyConfirm"
    }

    // What the dashboard held before each write, newest first; the one chosen
    // fills the pages like a loaded profile.
    MaterialDialog {
        id: historyDialog
        objectName: "historyDialog"
        title: qsTr("History")
        modal: true
        parent: Overlay.overlay
        x: Math.round((parent.width - width) / 2)
        y: Math.round(Math.min(parent.height / 6, (parent.height - height) / 2))
        width: Math.min(parent.width - 20, Math.max(Math.round(2 * Math.min(parent.width, parent.height) / 3), 560))
        standardButtons: entries.length > 0 ? (Dialog.Ok | Dialog.Cancel) : Dialog.Close

        property var entries: []

        onAboutToShow: {
            entries = runner.historyList();
            historyList.currentIndex = entries.length > 0 ? 0 : -1;
        }
        onAccepted: {
            var entry = entries[historyList.currentIndex];
            if (entry)
                page.loadHistoryEntry(entry.path);
        }

        ColumnLayout {
            width: parent.width
            spacing: 8

            Label {
                text: historyDialog.entries.length > 0
                      ? qsTr("What the dashboard held before each write. The one chosen is loaded into the pages; \"Apply changes\" writes it.")
                      : qsTr("No write has been made from this computer yet.")
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }

            ListView {
                id: historyList
                objectName: "historyList"
                Layout.fillWidth: true
                Layout.preferredHeight: Math.min(contentHeight, Math.round(page.height * 0.5))
                clip: true
                model: historyDialog.entries
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: MaterialScrollBar {}
                delegate: ItemDelegate {
                    width: historyList.width - 12
                    text: modelData.text
                    highlighted: ListView.isCurrentItem
                    onClicked: historyList.currentIndex = index
                    onDoubleClicked: {
                        historyList.currentIndex = index;
                        historyDialog.accept();
                    }
                    contentItem: Label {
                        text: parent.text
                        wrapMode: Text.Wrap
                        color: modelData.outcome === "written" ? Material.foreground : Material.color(Material.Red)
                    }
                }
            }
        }
    }

    // The folder of the layout saved or loaded last, kept between runs.
    Settings {
        id: layoutPlace
        category: "Layouts"
        property string folder: ""
    }

    function folderOf(url) {
        var text = url.toString();
        return text.substring(0, text.lastIndexOf("/"));
    }

    // "layout1" is saved as "layout1.json"; a name with an extension keeps it.
    function withJsonSuffix(url) {
        var text = url.toString();
        var name = text.substring(text.lastIndexOf("/") + 1);
        return name.lastIndexOf(".") > 0 ? text : text + ".json";
    }

    // From the save dialog. The dialog asked about replacing the name it was
    // given, not about the one with ".json" added: that is asked here.
    function saveLayoutAs(url) {
        var target = withJsonSuffix(url);
        layoutPlace.folder = folderOf(target);
        if (target !== url.toString() && runner.isUrlReadable(target)) {
            replaceConfirm.target = target;
            replaceConfirm.open();
            return;
        }
        saveLayout(target);
    }

    // A new dialog each time, in the folder used last: none shows the name
    // of the file chosen before.
    function openLayoutDialog(loader) {
        loader.active = false;
        loader.active = true;
        // Set once it is open too: the widget dialog takes its folder only then.
        var folder = layoutPlace.folder !== "" ? layoutPlace.folder : loader.item.shortcuts.documents;
        loader.item.folder = folder;
        loader.item.open();
        loader.item.folder = folder;
    }

    MaterialDialog {
        id: replaceConfirm
        objectName: "replaceConfirm"
        property string target: ""
        title: qsTr("Save layout")
        modal: true
        standardButtons: Dialog.Ok | Dialog.Cancel
        parent: Overlay.overlay
        x: (parent.width - width) / 2
        y: Math.round(Math.min(parent.height / 6, (parent.height - height) / 2))
        width: Math.min(parent.width, parent.height) / 2
        onAccepted: page.saveLayout(target)

        Label {
            width: replaceConfirm.availableWidth
            text: qsTr("%1 already exists. Replace it?")
                  .arg(decodeURIComponent(replaceConfirm.target.replace(/^.*\//, "")))
            wrapMode: Text.Wrap
        }
    }

    Loader {
        id: saveLayoutDialog
        objectName: "saveLayoutDialog"
        active: false
        sourceComponent: Dialogs.FileDialog {
            title: qsTr("Save layout")
            selectExisting: false
            defaultSuffix: "json"
            nameFilters: [qsTr("Layout profiles (*.json)"), qsTr("All files (*)")]
            onAccepted: page.saveLayoutAs(fileUrl)
        }
    }

    Loader {
        id: loadLayoutDialog
        objectName: "loadLayoutDialog"
        active: false
        sourceComponent: Dialogs.FileDialog {
            title: qsTr("Load layout")
            nameFilters: [qsTr("Layout profiles (*.json)"), qsTr("All files (*)")]
            onAccepted: {
                layoutPlace.folder = page.folderOf(fileUrl);
                page.loadLayout(fileUrl);
            }
        }
    }
}
