import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import "dialogs" as Dialogs
import QtQuick.Layouts 1.3
import Qt.labs.settings 1.0
import CFGRunner 1.0
import ru.quorvel.Updater 1.0
import "controls"
import "pages"
import "fonts"

// The main window of the update-checking edition: header with menu and
// connection indicator, the stack of connection / progress / device pages, the
// dialogs, the listener on the controller, and the update checker whose news
// shows as a toast, in the about box and, on Linux, as an update offer.
ApplicationWindow {
    id: window
    objectName: "window"

    visible: true
    width: 800
    height: 600
    title: qsTr("Veltro KX4")

    // The entries that need a connected dashboard.
    function setDeviceMenus(on) {
        connAbortMenu.enabled = on;
        dfuMenu.enabled = on;
    }

    // What a newer version brings, as the about box shows it.
    function showUpdate(version, changelog) {
        if (Qt.platform.os === "android")
            return;
        toast.show(qsTr("New version %1 is available!").arg(version), 2000);
        updateText.text = "<p align=\"center\">"
                + qsTr("An update to <b>version %1</b> is available").arg(version) + "</p>"
                + changelog;
        if (Qt.platform.os === "linux") {
            updateDlg.version = version;
            updateDlg.open();
        }
    }

    Updater {
        id: updater
        objectName: "updater"
        onNewVersion: window.showUpdate(version, changelog)
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

                Menu {
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
                    MenuItem {
                        id: dfuMenu
                        objectName: "dfuMenu"
                        text: qsTr("Firmware update")
                        enabled: false
                        onTriggered: upgradeConfirm.open()
                    }
                    MenuSeparator {}
                    MenuItem {
                        objectName: "languageMenu"
                        text: qsTr("Language")
                        onTriggered: langDialog.open()
                    }
                    MenuItem {
                        objectName: "aboutMenu"
                        text: qsTr("About")
                        onTriggered: aboutDialog.open()
                    }
                    MenuSeparator {}
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
            offersCheck: false
            onStart: {
                connIndicator.state = "connecting";
                connectionPage.connecting = true;
                settings.mod = connectionPage.adv ? "els27" : "eml327";
                runner.connectToHost(connectionPage.getPort(), connectionPage.baud,
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

    Connections {
        target: runner

        function onConnectedToHost() {
            connIndicator.state = "connected";
            connectionPage.connecting = false;
            stack.currentIndex = 1;
            window.setDeviceMenus(true);
        }

        // A connection attempt that reached no dashboard (a port that cannot be
        // opened, a network adapter refusing or silent): say why, back to the
        // connection page (disconnectedFromHost follows).
        function onConnectionFailed(reason) {
            toast.show(reason, 6000);
            connIndicator.state = "none";
            connectionPage.connecting = false;
            stack.currentIndex = 0;
            window.setDeviceMenus(false);
        }

        function onDisconnectedFromHost() {
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
                stack.currentIndex = 2;
                break;
            case CFGRunner.Reading:
                stack.currentIndex = 1;
                progressPage.busy = false;
                progressPage.text = qsTr("Reading data");
                break;
            case CFGRunner.Writing:
                stack.currentIndex = 1;
                progressPage.busy = false;
                progressPage.text = qsTr("Writing data");
                break;
            case CFGRunner.Uploading:
                stack.currentIndex = 1;
                progressPage.busy = false;
                progressPage.text = qsTr("Uploading splash screen");
                break;
            case CFGRunner.Rebooting:
                stack.currentIndex = 1;
                progressPage.busy = true;
                progressPage.text = qsTr("Rebooting");
                dfuMenu.enabled = false;
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

        function onDeviceInfo(info) {
            // The line rate the link reached (raised when the adapter agreed to it).
            const rate = runner.lineRate();
            toast.show("Connected to\nFW " + info.version + "\nConfig: " + info.count
                       + (rate > 0 ? "\n" + rate + " bit/s" : ""));
            devPage.selectDisplay(info.disp);
        }

        function onAlert(msg) {
            toast.show(msg, 1500);
        }

        function onParamsUpdated() {
            devPage.setup(runner.engines());
        }

        function onDeviceDiscovered(info) {
            devLabel.text = info;
        }
    }

    Dialogs.MessageDialog {
        id: upgradeConfirm
        title: qsTr("Firmware Upgrade")
        modality: Qt.ApplicationModal
        icon: Dialogs.StandardIcon.Warning
        text: qsTr("Are you sure you want to update the firmware?") + "<br>"
              + qsTr("This is a potentially dangerous operation that may render the device inoperable.")
              + "<br>" + qsTr("Please read the manual carefully before updating the firmware!")
        standardButtons: Dialogs.StandardButton.Ok | Dialogs.StandardButton.Cancel
        onAccepted: runner.toDFU()
    }

    Dialogs.MessageDialog {
        id: updateDlg
        objectName: "updateDlg"

        property string version: ""

        title: qsTr("Update")
        modality: Qt.ApplicationModal
        text: "<p align=\"center\">" + qsTr("Update to %1?").arg(version) + "</p><br>"
              + qsTr("Application will restart itself once updated")
        standardButtons: Dialogs.StandardButton.No | Dialogs.StandardButton.Yes
        onYes: updater.doUpdate()
    }

    Dialog {
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
                    source: "qrc:/logo.ico"
                    fillMode: Image.PreserveAspectFit
                    Layout.rowSpan: 2
                    Layout.preferredWidth: aboutGrid.width / 2
                    Layout.preferredHeight: aboutGrid.width / 2
                    Layout.maximumHeight: 160
                }
                Label {
                    objectName: "aboutVersion"
                    text: qsTr("Veltro KX4 Config ") + runner.version
                    font.pointSize: 12
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
                Label {
                    objectName: "aboutDeveloper"
                    text: qsTr("Developed by Quorvel")
                    font.pointSize: 12
                    wrapMode: Text.Wrap
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

            Label {
                id: updateText
                objectName: "updateText"
                width: parent.width
                visible: Qt.platform.os !== "android"
                padding: text.length > 0 ? 6 : 0
                wrapMode: Text.WordWrap
                textFormat: Text.RichText
                horizontalAlignment: Text.AlignLeft
                background: Rectangle {
                    visible: updateText.text.length > 0
                    color: "transparent"
                    border.width: 1
                    border.color: Material.primary
                    radius: 2
                }
                onLinkActivated: {
                    if (link.indexOf("upd://") === 0)
                        updater.checkUpdate();
                    else
                        Qt.openUrlExternally(link);
                }

                MouseArea {
                    anchors.fill: parent
                    acceptedButtons: Qt.NoButton
                    cursorShape: parent.hoveredLink ? Qt.PointingHandCursor : Qt.ArrowCursor
                }
            }
        }
    }

    Dialog {
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
                    text: "English"
                    value: "en"
                }
                ListElement {
                    text: "Russian"
                    value: "ru"
                }
            }
        }
    }

    Dialog {
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
