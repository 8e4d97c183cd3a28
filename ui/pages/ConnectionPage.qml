import QtQuick 2.14
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import QtQuick.Layouts 1.3
import "../controls"
import "../fonts"

// Port, baud rate and adapter kind; "Connect" reports the choice through
// start() and the main window talks to the controller. The port box lists the
// serial ports, then the network (Wi-Fi) adapters as HOST:PORT; the user may
// type another address.
MaterialPane {
    id: page

    signal start
    // "Test adapter": the main window runs the adapter check on the port chosen.
    signal check
    // The check runs: the page waits for it.
    property bool checking: false
    // Whether the window offers the check (the update-checking edition does not).
    property bool offersCheck: true
    onCheckingChanged: connIndicator.running = checking

    property alias baud: baudEdit.value
    property alias adv: advCheck.checked
    property alias connecting: connIndicator.running

    // Selects `port` when it is listed; otherwise the selection stays, except
    // that a network adapter's address is put in the box.
    function setPort(port) {
        var shown = port.replace(/^tcp:\/\//i, "");
        var idx = portEdit.find(shown, Qt.MatchExactly);
        if (idx >= 0)
            portEdit.currentIndex = idx;
        else if (runner.isNetworkPort(port))
            portEdit.editText = shown;
    }

    function ports() {
        return runner ? runner.availablePorts().concat(runner.networkPorts()) : [];
    }

    function update() {
        portEdit.model = ports();
    }

    // What the box holds: a serial port's name or a network adapter's address.
    function getPort() {
        return portEdit.editText.trim();
    }

    Rectangle {
        anchors.centerIn: grid
        width: grid.width + 12
        height: grid.height + 12
        radius: 8
        color: "transparent"
        border.width: 1
        border.color: Material.primary
    }

    GridLayout {
        id: grid
        objectName: "grid"
        anchors.centerIn: parent
        columns: 2
        rowSpacing: 8
        columnSpacing: 12

        Label {
            text: qsTr("Connection")
            font.pointSize: 16
            Layout.columnSpan: 2
            Layout.alignment: Qt.AlignHCenter
        }

        Label {
            text: qsTr("Serial Port:")
            font.pointSize: 16
            Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
        }
        ComboBox {
            id: portEdit
            objectName: "portEdit"
            font.pointSize: 16
            editable: true
            // runner goes before the window at exit
            model: page.ports()
            ToolTip.visible: hovered && !popup.visible
            ToolTip.delay: 800
            ToolTip.text: qsTr("A serial port, or the address of a Wi-Fi adapter as HOST:PORT")
            Layout.minimumWidth: 200
            // Device paths (pseudo-terminals, Bluetooth links) can be long:
            // widen to the longest name, up to most of the page.
            Layout.preferredWidth: Math.min(widestPort.advanceWidth + leftPadding + rightPadding
                                            + indicator.width, page.width * 0.6)
            Layout.fillWidth: true
            onCurrentIndexChanged: page.connecting = false
            // Choosing the entry that is already current changes no index, and the
            // box would keep what was typed over it: the entry chosen is the port.
            onActivated: editText = textAt(index)
        }

        Label {
            text: qsTr("Baud Rate:")
            font.pointSize: 14
            Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
        }
        MaterialSpin {
            id: baudEdit
            objectName: "baudEdit"
            font.pointSize: 14
            from: 0
            to: 5000000
            Layout.fillWidth: true
            // A network adapter has no line rate.
            enabled: !(runner && runner.isNetworkPort(portEdit.editText))
            // 0 asks the link to detect the adapter's rate.
            textFromValue: function (value, locale) {
                return value === 0 ? "Automatic" : Number(value).toLocaleString(locale, 'f', 0);
            }
            valueFromText: function (text, locale) {
                return text === "Automatic" ? 0 : Number.fromLocaleString(locale, text);
            }
            // From a text: the validator's QRegularExpression knows the spaces as
            // \x{00a0} and \x{202f}, not as JavaScript's \u00a0 and \u202f.
            validator: RegularExpressionValidator {
                regularExpression: new RegExp("Automatic|[0-9.,\\s\\x{00a0}\\x{202f}']*")
            }
        }

        RowLayout {
            Layout.columnSpan: 2
            Layout.alignment: Qt.AlignHCenter
            Label {
                text: "ELM327"
                font.pointSize: 14
                horizontalAlignment: Text.AlignRight
            }
            Switch {
                id: advCheck
                objectName: "advCheck"
            }
            Label {
                text: "ELS27"
                font.pointSize: 14
                horizontalAlignment: Text.AlignLeft
            }
        }

        RowLayout {
            Layout.columnSpan: 2
            Layout.fillWidth: true
            MaterialToolButton {
                objectName: "dfuUtilTool"
                text: MaterialFont.icon.launch
                tooltip: qsTr("Firmware update utility")
                onClicked: runner.lauchDFUUtil()
            }
            MaterialToolButton {
                objectName: "rescanTool"
                text: MaterialFont.icon.update
                tooltip: qsTr("Rescan ports")
                onClicked: page.update()
            }
            Item {
                Layout.fillWidth: true
            }
            MaterialButton {
                id: checkButton
                objectName: "checkButton"
                text: qsTr("Test adapter")
                micon: MaterialFont.icon.network_check
                visible: page.offersCheck
                enabled: page.getPort() !== "" && !page.checking
                Layout.alignment: Qt.AlignRight
                onClicked: page.check()
            }
            MaterialButton {
                id: connectButton
                objectName: "connectButton"
                text: qsTr("Connect")
                micon: MaterialFont.icon.send
                enabled: page.getPort() !== "" && !page.checking
                Layout.alignment: Qt.AlignRight
                onClicked: page.start()
            }
        }
    }

    TextMetrics {
        id: widestPort
        font: portEdit.font
        text: {
            var ports = portEdit.model || [];
            var longest = "";
            for (var i = 0; i < ports.length; ++i) {
                if (ports[i].length > longest.length)
                    longest = ports[i];
            }
            return longest;
        }
    }

    BusyIndicator {
        id: connIndicator
        objectName: "connIndicator"
        running: false
        anchors.centerIn: parent
        width: Math.min(Math.round(page.width / 2), Math.round(page.height / 2))
        height: width
    }
}
