import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import "dialogs" as Dialogs
import QtQuick.Layouts 1.3
import Qt.labs.settings 1.0
import CFGRunner 1.0
import "controls"
import "pages"
import "fonts"

// The main window: header with menu and connection indicator, the stack of
// connection / progress / device pages, the dialogs, and the one listener on
// the controller that turns its signals into page changes and messages.
ApplicationWindow {
    id: window
    objectName: "window"

    visible: true
    width: 800
    height: 600
    title: qsTr("Veltro KX4 Config")

    // The four entries that need a connected dashboard.
    function setDeviceMenus(on) {
        connAbortMenu.enabled = on;
        bkpMenu.enabled = on;
        dfuMenu.enabled = on;
        rstMenu.enabled = on;
    }

    Settings {
        id: settings
        // Declared first: when a key is missing from the store, Settings writes
        // back every property it has loaded so far, and a "language" still at
        // its default would overwrite the one chosen at start-up.
        property string language: "en"
        property string mod: "els27"
    }

    // "port" and "baud" are stored by the controller at every connect; the window only
    // reads them. Settings writes all its properties back when any of them changes, so
    // kept with "mod" they would put the previous port back over the one just stored.
    Settings {
        id: lastConnection
        property string port: ""
        property int baud: 0
    }

    ToastManager {
        id: toast
        objectName: "toast"
    }

    header: ToolBar {
        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 2
            anchors.rightMargin: 2
            spacing: 8

            MaterialToolButton {
                id: menuTool
                objectName: "menuTool"
                text: MaterialFont.icon.menu
                font.pointSize: 16
                onClicked: mainMenu.open()

                MaterialMenu {
                    id: mainMenu
                    objectName: "mainMenu"
                    x: 0
                    y: menuTool.height
                    transformOrigin: Menu.TopLeft

                    MenuItem {
                        id: connAbortMenu
                        objectName: "connAbortMenu"
                        text: qsTr("Disconnect")
                        enabled: false
                        onTriggered: runner.disconnectFromHost()
                    }
                    MenuSeparator {}
                    MaterialMenu {
                        id: bkpMenu
                        objectName: "bkpMenu"
                        title: qsTr("Backup")
                        enabled: false

                        MenuItem {
                            objectName: "expcfgMenu"
                            text: qsTr("Export device config")
                            onTriggered: runner.exportConfig(true)
                        }
                        MenuItem {
                            objectName: "impcfgMenu"
                            text: qsTr("Import device config")
                            onTriggered: importConfirm.open()
                        }
                        MenuSeparator {}
                        MenuItem {
                            objectName: "managecfgMenu"
                            text: qsTr("Manage backup storage")
                            onTriggered: runner.openConfigStorage()
                        }
                    }
                    MenuItem {
                        id: rstMenu
                        objectName: "rstMenu"
                        text: qsTr("Device restart")
                        enabled: false
                        onTriggered: rstConfirm.open()
                    }
                    MenuItem {
                        id: dfuMenu
                        objectName: "dfuMenu"
                        text: qsTr("Firmware update")
                        enabled: false
                        onTriggered: upgradeConfirm.open()
                    }
                    MenuSeparator {}
                    MenuItem {
                        objectName: "diagnosticsMenu"
                        text: qsTr("Save diagnostics...")
                        onTriggered: diagnosticsDialog.open()
                    }
                    MenuItem {
                        objectName: "aboutMenu"
                        text: qsTr("About")
                        onTriggered: aboutDialog.open()
                    }
                    MenuItem {
                        objectName: "quitMenu"
                        text: qsTr("Quit")
                        onTriggered: Qt.quit()
                    }
                }
            }

            Item {
                Layout.fillWidth: true
            }

            MaterialIndicator {
                id: connIndicator
                objectName: "connIndicator"
                font.pointSize: 16
                state: "none"

                states: [
                    State {
                        name: "connected"
                        PropertyChanges {
                            target: connIndicator
                            tooltip: qsTr("Connected")
                            color: Material.color(Material.Green)
                            text: MaterialFont.icon.wifi
                        }
                    },
                    State {
                        name: "connecting"
                        PropertyChanges {
                            target: connIndicator
                            tooltip: qsTr("Connecting")
                            color: Material.color(Material.Orange)
                            text: MaterialFont.icon.warning
                        }
                    },
                    State {
                        name: "none"
                        PropertyChanges {
                            target: connIndicator
                            tooltip: qsTr("Not connected")
                            color: Material.foreground
                            text: MaterialFont.icon.error
                        }
                    }
                ]
                // Blink while a connection is being set up.
                onStateChanged: state === "connecting" ? start() : stop()
            }
        }
    }

    Rectangle {
        id: backgroundImage
        anchors.fill: parent
        gradient: Gradient {
            GradientStop {
                position: 0.0
                color: Material.primary
            }
            GradientStop {
                position: 0.1
                color: Material.background
            }
        }
    }

    StackLayout {
        id: stack
        objectName: "stack"
        anchors.fill: parent
        currentIndex: 0

        ConnectionPage {
            id: connectionPage
            objectName: "connectionPage"
            onStart: {
                connIndicator.state = "connecting";
                connectionPage.connecting = true;
                settings.mod = connectionPage.adv ? "els27" : "eml327";
                runner.connectToHost(connectionPage.getPort(), connectionPage.baud,
                                     connectionPage.adv);
            }
            onCheck: {
                connectionPage.checking = true;
                connectionPage.checking = runner.checkAdapter(connectionPage.getPort(),
                                                              connectionPage.baud,
                                                              connectionPage.adv);
            }
        }

        ProgressPage {
            id: progressPage
            objectName: "progressPage"
        }

        DevicePage {
            id: devPage
            objectName: "devPage"
            onIalert: function (msg) { toast.show(msg); }
        }
    }

    // When the running splash upload started (Date.now()), 0 when none runs.
    property double uploadStarted: 0

    // A splash upload over a fast link is over in a fraction of a second: the
    // progress page stays, its bar full, until it has been seen.
    Timer {
        id: uploadShown
        interval: 800
        onTriggered: {
            if (runner && runner.getState() === CFGRunner.Idle && stack.currentIndex === 1)
                stack.currentIndex = 2;
        }
    }

    // Discovery of a dashboard with an empty parameter table (or one that
    // answers with version 0xFF) ends in Idle without a stateChanged: nothing
    // else would take the user off the progress page.
    Timer {
        interval: 250
        repeat: true
        running: stack.currentIndex === 1 && !uploadShown.running
        onTriggered: {
            if (runner && runner.getState() === CFGRunner.Idle)
                stack.currentIndex = 2;
        }
    }

    Connections {
        target: runner

        function onAdapterChecked(result) {
            connectionPage.checking = false;
            adapterCheckDialog.show(result.text);
        }

        function onConnectedToHost() {
            connIndicator.state = "connected";
            connectionPage.connecting = false;
            stack.currentIndex = 1;
            window.setDeviceMenus(true);
        }

        // A connection attempt that reached no dashboard: say why, back to the
        // connection page (disconnectedFromHost follows).
        function onConnectionFailed(reason) {
            toast.show(reason, 6000);
            connIndicator.state = "none";
            connectionPage.connecting = false;
            stack.currentIndex = 0;
            window.setDeviceMenus(false);
        }

        function onDisconnectedFromHost() {
            window.uploadStarted = 0;
            uploadShown.stop();
            connIndicator.state = "none";
            connectionPage.connecting = false;
            stack.currentIndex = 0;
            window.setDeviceMenus(false);
        }

        function onStateChanged(current) {
            switch (current) {
            case CFGRunner.NotConnected:
                progressPage.busy = true;
                progressPage.text = qsTr("Disconnecting");
                break;
            case CFGRunner.Connecting:
                stack.currentIndex = 1;
                progressPage.busy = true;
                progressPage.text = qsTr("Connecting");
                break;
            case CFGRunner.Idle:
                // Idle after Uploading: every chunk was acknowledged (a failure
                // ends the session instead).
                if (window.uploadStarted > 0) {
                    var shownFor = Date.now() - window.uploadStarted;
                    window.uploadStarted = 0;
                    progressPage.value = 1;
                    toast.show(qsTr("Splash screen uploaded"));
                    if (shownFor < uploadShown.interval) {
                        uploadShown.restart();
                        break;
                    }
                }
                stack.currentIndex = 2;
                break;
            case CFGRunner.Reading:
                stack.currentIndex = 1;
                progressPage.busy = false;
                progressPage.text = qsTr("Reading data");
                break;
            case CFGRunner.Exporting:
                stack.currentIndex = 1;
                progressPage.busy = false;
                progressPage.text = qsTr("Exporting data");
                break;
            case CFGRunner.Importing:
                stack.currentIndex = 1;
                progressPage.busy = false;
                progressPage.text = qsTr("Importing data");
                break;
            case CFGRunner.Writing:
            case CFGRunner.GenWrite:
                stack.currentIndex = 1;
                progressPage.busy = false;
                progressPage.text = qsTr("Writing data");
                break;
            case CFGRunner.Uploading:
                window.uploadStarted = Date.now();
                stack.currentIndex = 1;
                progressPage.busy = false;
                progressPage.text = qsTr("Uploading splash screen");
                break;
            case CFGRunner.Rebooting:
                stack.currentIndex = 1;
                progressPage.busy = true;
                progressPage.text = qsTr("Rebooting");
                bkpMenu.enabled = false;
                dfuMenu.enabled = false;
                rstMenu.enabled = false;
                break;
            }
        }

        function onProgress(value) {
            progressPage.value = value;
        }

        function onTimeLeftChanged(ms) {
            progressPage.timeLeftMs = ms;
        }

        function onDeviceConfig(config) {
            devPage.init(config);
        }

        function onBoardConfig(config) {
            console.debug("Board cfg: " + JSON.stringify(config));
            devPage.boardInit(config);
            if (config.engidx !== undefined)
                devPage.selectEngine(runner.engineForBoard(config));
            if (config.warnodo !== undefined)
                devPage.maint.odoLimit = config.warnodo;
            if (config.warntime !== undefined)
                devPage.maint.timeLimit = Math.round(config.warntime / 60);
        }

        function onDeviceInfo(info) {
            // The line rate the link reached (raised when the adapter agreed to it).
            const rate = runner.lineRate();
            toast.show("Connected to\nFW " + info.version + "\nConfig: " + info.count
                       + (rate > 0 ? "\n" + rate + " bit/s" : ""));
            devPage.selectDisplay(info.disp);
        }

        function onDeviceParam(kind, value) {
            switch (kind) {
            case CFGRunner.PP_ODO_Saved:
                devPage.maint.odoSaved = value;
                break;
            case CFGRunner.PP_ODO_Current:
                devPage.maint.odoCurrent = value;
                break;
            case CFGRunner.PP_TIM_Saved:
                devPage.maint.timeSaved = Math.round(value / 60);
                break;
            case CFGRunner.PP_TIM_Current:
                devPage.maint.timeCurrent = Math.round(value / 3600);
                break;
            }
        }

        // Longer messages (a file name, a reason) stay long enough to be read.
        function onAlert(msg) {
            toast.show(msg, Math.max(1500, 60 * msg.length));
        }

        function onParamsUpdated() {
            devPage.setup(runner.engines());
        }

        function onDeviceDiscovered(info) {
            devLabel.text = info;
        }
    }

    MaterialDialog {
        id: importConfirm
        objectName: "importConfirm"
        title: qsTr("Import Config")
        modal: true
        x: (window.width - width) / 2
        y: Math.round(Math.min(window.height / 6, (window.height - height) / 2))
        // Wide enough for an entry's date, dashboard and file.
        width: Math.min(window.width - 20, Math.max(Math.min(window.width, window.height) / 2, 620))
        parent: Overlay.overlay

        property var saved: []

        // "2026-12-08 14:05, FW 3, double display (0001)": when the backup was
        // made, for which dashboard, and the file it is in.
        function describe(entry) {
            var info = entry.info || {};
            var board;
            if (info.version === undefined)
                board = qsTr("unknown dashboard");
            else
                board = qsTr("FW %1, %2").arg(info.version)
                        .arg(info.disp === 1 ? qsTr("double display") : qsTr("single display"));
            return entry.created + ", " + board + " (" + entry.name + ")";
        }

        onAboutToShow: {
            saved = runner.listSavedConfigs();
            var labels = [];
            for (var i = 0; i < saved.length; ++i)
                labels.push(describe(saved[i]));
            savedCfgCombo.model = labels.length > 0 ? labels : [qsTr("Not found")];
            standardButtons = labels.length > 0 ? (Dialog.Ok | Dialog.Cancel) : Dialog.Cancel;
        }
        onAccepted: {
            var entry = saved[savedCfgCombo.currentIndex];
            if (!entry)
                return;
            // Never blind: where the backup comes from and what it changes, first.
            var name = entry.name;
            var withCounters = wodoCheck.checked;
            var diff = runner.importDifference(name, withCounters);
            if (!diff.ok) {
                toast.show(diff.error, Math.max(1500, 60 * diff.error.length));
                return;
            }
            // A backup of what the dashboard holds now, offered checked when it is quick
            // (or when its time is not known: keeping the memory is the safe side).
            var backupMs = runner.backupTimeMs();
            var offer = {
                text: qsTr("Back up the dashboard first"),
                checked: backupMs <= 0 || backupMs < 30000,
                note: backupMs > 0
                      ? qsTr("About %1 with this adapter").arg(progressPage.durationText(backupMs))
                      : qsTr("The time it takes is not known yet")
            };
            importDifference.ask(qsTr("Import Config"),
                                 qsTr("The import writes the whole configuration memory:"),
                                 diff.lines,
                                 function (backupFirst) {
                                     runner.importConfig(name, withCounters, backupFirst);
                                 },
                                 offer);
        }

        ColumnLayout {
            anchors.fill: parent
            ComboBox {
                id: savedCfgCombo
                objectName: "savedCfgCombo"
                Layout.fillWidth: true
            }
            CheckBox {
                id: wodoCheck
                objectName: "wodoCheck"
                text: qsTr("Retore Maintenance Point")
                checked: true
                // Narrower than its text in short windows: shortened, not
                // pushing the dialog's content past its edges.
                Layout.fillWidth: true
            }
        }
    }

    AdapterCheckDialog {
        id: adapterCheckDialog
        objectName: "adapterCheckDialog"
    }

    DifferenceDialog {
        id: importDifference
        objectName: "importDifference"
    }

    MaterialDialog {
        id: rstConfirm
        objectName: "rstConfirm"
        title: qsTr("Device restart")
        modal: true
        standardButtons: Dialog.Ok | Dialog.Cancel
        x: (window.width - width) / 2
        y: Math.round(Math.min(window.height / 6, (window.height - height) / 2))
        width: Math.min(window.width, window.height) / 2
        parent: Overlay.overlay
        onAccepted: runner.mcuReset()

        Label {
            anchors.fill: parent
            text: qsTr("Are you sure you want to restart the device?")
            wrapMode: Text.Wrap
        }
    }

    // Inside the window like the other questions (a widget message box stood
    // past its edge, and reported its OK twice).
    MaterialDialog {
        id: upgradeConfirm
        objectName: "upgradeConfirm"
        title: qsTr("Firmware Upgrade")
        modal: true
        standardButtons: Dialog.Ok | Dialog.Cancel
        x: (window.width - width) / 2
        y: Math.round(Math.min(window.height / 6, (window.height - height) / 2))
        width: Math.min(window.width, window.height) / 2
        parent: Overlay.overlay
        onAccepted: runner.toDFU()

        Label {
            objectName: "upgradeQuestion"
            width: upgradeConfirm.availableWidth
            textFormat: Text.StyledText
            text: qsTr("Are you sure you want to update the firmware?") + "<br>"
                  + qsTr("This is a potentially dangerous operation that may render the device inoperable.")
                  + "<br>" + qsTr("Please read the manual carefully before updating the firmware!")
            wrapMode: Text.Wrap
        }
    }

    // Where to save the diagnostics report (the traffic with the adapter and what the
    // program knows about it), for sending to whoever looks into a misbehaving adapter.
    Dialogs.FileDialog {
        id: diagnosticsDialog
        objectName: "diagnosticsDialog"
        title: qsTr("Save diagnostics")
        selectExisting: false
        folder: shortcuts.documents
        defaultSuffix: "txt"
        nameFilters: [qsTr("Text files (*.txt)"), qsTr("All files (*)")]
        onAccepted: {
            var path = fileUrl.toString();
            var error = runner.saveDiagnostics(path);
            toast.show(error !== "" ? error
                                    : qsTr("Diagnostics saved to %1")
                                      .arg(decodeURIComponent(path.replace(/^.*\//, ""))));
        }
    }

    MaterialDialog {
        id: aboutDialog
        objectName: "aboutDialog"
        title: qsTr("About")
        modal: true
        standardButtons: Dialog.Ok
        x: (window.width - width) / 2
        y: Math.round(Math.min(window.height / 6, (window.height - height) / 2))
        width: 2 * Math.min(window.width, window.height) / 3
        parent: Overlay.overlay

        Column {
            id: aboutColumn
            width: parent.width
            spacing: 20

            GridLayout {
                id: aboutGrid
                width: parent.width
                columns: 2

                Image {
                    objectName: "aboutLogo"
                    source: "qrc:/logo.ico"
                    fillMode: Image.PreserveAspectFit
                    Layout.rowSpan: 2
                    Layout.preferredWidth: aboutGrid.width / 2
                    Layout.preferredHeight: aboutGrid.width / 2
                    Layout.maximumHeight: 160
                }
                Label {
                    objectName: "aboutVersion"
                    text: qsTr("Veltro KX4 Config ") + (runner ? runner.version : "")
                    font.pointSize: 12
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
                Label {
                    text: "© 2026 Veltro"
                    font.pointSize: 12
                    wrapMode: Text.WrapAnywhere
                    Layout.fillWidth: true
                }
            }

            GroupBox {
                title: qsTr("3rd party software") + ":"
                width: parent.width

                Label {
                    objectName: "aboutCredits"
                    width: parent.width
                    wrapMode: Text.Wrap
                    textFormat: Text.RichText
                    text: "<ul>"
                          + "<li><a href=\"https://github.com/jossef/material-design-icons-iconfont\">Material Icons</a></li>"
                          + "<li><a href=\"https://stackoverflow.com/search?q=qml+toast+manager\">Toast messages in QML</a></li>"
                          + "<li><a href=\"https://www.qt.io\">Qt Framework " + QT_VERSION_STR + "</a></li>"
                          + "</ul>"
                    onLinkActivated: Qt.openUrlExternally(link)
                }
            }
        }
    }

    MaterialDialog {
        id: langDialog
        objectName: "langDialog"
        title: qsTr("Language")
        modal: true
        standardButtons: Dialog.Ok | Dialog.Cancel
        x: Math.round((window.width - width) / 2)
        y: Math.round(Math.min(window.height / 6, (window.height - height) / 2))
        width: Math.min(window.width, Math.max(Math.round(window.width / 2), 300))
        parent: Overlay.overlay

        onAboutToShow: langCombo.currentIndex = settings.language === "ru" ? 1 : 0
        onAccepted: {
            var lang = langComboModel.get(langCombo.currentIndex).value;
            if (lang !== settings.language) {
                settings.language = lang;
                toast.show(qsTr("Restart the app to apply changes"));
            }
        }

        ComboBox {
            id: langCombo
            objectName: "langCombo"
            width: langDialog.availableWidth
            textRole: "text"
            model: ListModel {
                id: langComboModel
                ListElement {
                    text: qsTr("English")
                    value: "en"
                }
                ListElement {
                    text: qsTr("Russian")
                    value: "ru"
                }
            }
        }
    }

    MaterialDialog {
        id: deviceDialog
        objectName: "deviceDialog"
        title: qsTr("Device Info")
        modal: true
        standardButtons: Dialog.Ok
        x: Math.round((window.width - width) / 2)
        y: Math.round(Math.min(window.height / 6, (window.height - height) / 2))
        width: Math.round(Math.min(window.width, Math.max(2 * window.width / 3, 400)))
        parent: Overlay.overlay

        Label {
            id: devLabel
            width: deviceDialog.availableWidth
            font.pointSize: 18
            textFormat: Text.RichText
            wrapMode: Text.Wrap
        }
    }

    Component.onCompleted: {
        connectionPage.setPort(lastConnection.port);
        connectionPage.baud = lastConnection.baud;
        connectionPage.adv = (settings.mod === "els27");
        runner.loadDefaultConfig();
    }
}
