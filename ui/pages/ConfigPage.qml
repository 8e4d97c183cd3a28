import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import QtQuick.Layouts 1.3
import "../controls"

// The dashboard's board record as controls: gauge limits, auxiliary gauges,
// maintenance limits and the option switches. set() takes the record the
// controller read, get() gives it back edited; only record version 1 is
// understood, anything else is shown as not supported and never written.
Item {
    id: page

    property bool valid: false

    // Option switches in the record's "rflags" word.
    readonly property int flagAnimation: 1
    readonly property int flagMenuAtStart: 2
    readonly property int flagRpmWarning: 4
    readonly property int flagMaintenance: 8
    readonly property int flagLogoWhenStopped: 16

    // "warntime" is minutes in 16 bits: 65535 minutes is 1092 whole hours.
    readonly property int maxHours: 1092

    function number(v, fallback) {
        var n = Number(v);
        return (v === undefined || v === null || isNaN(n)) ? fallback : n;
    }

    function set(cfg) {
        if (cfg && cfg.version !== undefined && Number(cfg.version) === 1) {
            versionInput.text = "1";
            versionInput.color = "black";
            var rpm = number(cfg.rpm, 0);
            var speed = number(cfg.speed, 0);
            var aux = number(cfg.aux, 0);
            rpmControl.currentIndex = (rpm >= 0 && rpm < 2) ? rpm : 0;
            speedControl.currentIndex = (speed >= 0 && speed < 2) ? speed : 0;
            auxgControl.currentIndex = (aux >= 0 && aux < 3) ? aux : 0;
            adelayControl.value = number(cfg.adelay, 0);
            var flags = number(cfg.rflags, 0);
            animSwitch.checked = (flags & flagAnimation) !== 0;
            menuSwitch.checked = (flags & flagMenuAtStart) !== 0;
            rpmlimSwitch.checked = (flags & flagRpmWarning) !== 0;
            maintSwitch.checked = (flags & flagMaintenance) !== 0;
            splhSwitch.checked = (flags & flagLogoWhenStopped) !== 0;
            rpmlimControl.value = number(cfg.rpmlim, 0);
            odoControl.value = number(cfg.warnodo, 0);
            timeControl.value = Math.round(number(cfg.warntime, 0) / 60);
            valid = true;
        } else {
            versionInput.text = qsTr("NOT SUPPORTED");
            versionInput.color = "red";
            valid = false;
        }
    }

    // A number typed into a spin box counts even when the box still has the
    // focus (the user types and goes straight to "Apply changes").
    function commit(spin) {
        var typed = spin.contentItem.text;
        if (typed === spin.displayText)
            return;
        var v = spin.valueFromText(typed, spin.locale);
        if (!isNaN(v))
            spin.value = Math.max(spin.from, Math.min(spin.to, v));
    }

    function get() {
        if (!valid)
            return {};
        [odoControl, timeControl, adelayControl, rpmlimControl].forEach(commit);
        var flags = (animSwitch.checked ? flagAnimation : 0) | (menuSwitch.checked ? flagMenuAtStart : 0)
                | (rpmlimSwitch.checked ? flagRpmWarning : 0) | (maintSwitch.checked ? flagMaintenance : 0)
                | (splhSwitch.checked ? flagLogoWhenStopped : 0);
        return {
            "version": parseInt(versionInput.text, 10),
            "rpm": rpmControl.currentIndex,
            "speed": speedControl.currentIndex,
            "aux": auxgControl.currentIndex,
            "adelay": adelayControl.value,
            "rflags": flags,
            "rpmlim": rpmlimControl.value,
            "warnodo": odoControl.value,
            "warntime": timeControl.value * 60
        };
    }

    // The widest label and the widest control: one label/control pair. A
    // binding, so it follows the controls' sizes as their contents arrive.
    readonly property real pairWidth: {
        var label = 0;
        var control = 0;
        for (var i = 0; i < grid.children.length; ++i) {
            var child = grid.children[i];
            if (child.Layout.columnSpan > 1)
                continue;
            if (child instanceof Label)
                label = Math.max(label, child.implicitWidth);
            else
                control = Math.max(control, child.implicitWidth);
        }
        return label + grid.columnSpacing + control;
    }

    // Two label/control pairs a row when they fit; in a narrow window (or
    // with longer translated labels) one pair a row, scrolling down. Whatever
    // still does not fit scrolls, with the scroll bars in sight.
    Flickable {
        id: flick
        objectName: "boardFlick"
        anchors.fill: parent
        contentWidth: Math.max(width, grid.implicitWidth + 16)
        contentHeight: grid.implicitHeight + 16
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.horizontal: MaterialScrollBar {
            objectName: "boardHBar"
            policy: flick.contentWidth > flick.width + 1 ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded
        }
        ScrollBar.vertical: MaterialScrollBar {
            objectName: "boardVBar"
            policy: flick.contentHeight > flick.height + 1 ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded
        }

        GridLayout {
            id: grid
            objectName: "boardGrid"
            x: 8
            y: 8
            width: parent.width - 16
            columns: flick.width - 16 >= 2 * page.pairWidth + columnSpacing ? 4 : 2
            columnSpacing: 12
            rowSpacing: 8

            Label {
                text: qsTr("Version") + ":"
                Layout.alignment: Qt.AlignRight
            }
            TextField {
                id: versionInput
                objectName: "versionInput"
                text: "nan"
                readOnly: true
                color: "black"
                Layout.fillWidth: true
            }
            Label {
                text: qsTr("Aux. Gauges") + ":"
                Layout.alignment: Qt.AlignRight
            }
            ComboBox {
                id: auxgControl
                objectName: "auxgControl"
                model: ["Not present", "1.2", "1.8"]
                Layout.fillWidth: true
            }

            Label {
                text: qsTr("RPM Gauge Limit") + ":"
                Layout.alignment: Qt.AlignRight
            }
            ComboBox {
                id: rpmControl
                objectName: "rpmControl"
                model: ["6000", "8000"]
                Layout.fillWidth: true
            }
            Label {
                text: qsTr("Speed Gauge Limit") + ":"
                Layout.alignment: Qt.AlignRight
            }
            ComboBox {
                id: speedControl
                objectName: "speedControl"
                model: ["240kph", "280kph"]
                Layout.fillWidth: true
            }

            Flow {
                Layout.columnSpan: grid.columns
                Layout.fillWidth: true
                // As wide as the page shows, wrapping there; never widening it.
                Layout.preferredWidth: flick.width - 16
                spacing: 12

                Switch {
                    id: maintSwitch
                    objectName: "maintSwitch"
                    text: qsTr("Maintenance warning")
                    checked: true
                }
                Switch {
                    id: menuSwitch
                    objectName: "menuSwitch"
                    text: qsTr("Enter menu at startup")
                    checked: false
                }
                Switch {
                    id: splhSwitch
                    objectName: "splhSwitch"
                    text: qsTr("Display logo when stopped")
                    checked: false
                }
            }

            Label {
                text: qsTr("Maintenance limit (km)") + ":"
                Layout.alignment: Qt.AlignRight
            }
            MaterialSpin {
                id: odoControl
                objectName: "odoControl"
                from: 1
                to: 65535
                value: 7000
                Layout.fillWidth: true
            }
            Label {
                text: qsTr("Maintenance limit (hours)") + ":"
                Layout.alignment: Qt.AlignRight
            }
            MaterialSpin {
                id: timeControl
                objectName: "timeControl"
                from: 1
                to: page.maxHours
                value: 182
                Layout.fillWidth: true
            }

            Switch {
                id: animSwitch
                objectName: "animSwitch"
                text: qsTr("Needles animation")
                checked: true
                Layout.columnSpan: 2
            }
            Label {
                text: qsTr("Animation Delay, ms") + ":"
                Layout.alignment: Qt.AlignRight
            }
            MaterialSpin {
                id: adelayControl
                objectName: "adelayControl"
                from: 0
                to: 2048
                value: 0
                Layout.fillWidth: true
            }

            Switch {
                id: rpmlimSwitch
                objectName: "rpmlimSwitch"
                text: qsTr("RPM Warning")
                checked: false
                Layout.columnSpan: 2
            }
            Label {
                text: qsTr("Threshold") + ":"
                Layout.alignment: Qt.AlignRight
            }
            MaterialSpin {
                id: rpmlimControl
                objectName: "rpmlimControl"
                from: 0
                to: 10000
                stepSize: 100
                value: 6000
                Layout.fillWidth: true
            }
        }
    }
}
