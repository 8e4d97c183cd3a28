import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import "../controls"

// Shows the running transfer: a bar (indeterminate while `busy`), a caption and,
// once the controller can tell, the time left.
MaterialPane {
    id: page

    property alias busy: control.indeterminate
    property alias value: control.value
    property alias text: label.text
    // The controller's estimate in ms; below 0 there is none.
    property int timeLeftMs: -1

    // "2 min 10 s" for 130000 ms; whole minutes from 10 min on.
    function durationText(ms) {
        var s = Math.max(1, Math.round(ms / 1000));
        if (s < 60)
            return qsTr("%1 s").arg(s);
        if (s < 600)
            return qsTr("%1 min %2 s").arg(Math.floor(s / 60)).arg(s % 60);
        return qsTr("%1 min").arg(Math.round(s / 60));
    }

    // "About 2 min 10 s left"; empty when there is no estimate or under a second is left.
    function timeLeftText(ms) {
        if (ms < 500)
            return "";
        return qsTr("About %1 left").arg(durationText(ms));
    }

    Column {
        width: parent.width
        anchors.verticalCenter: parent.verticalCenter
        spacing: 10

        ProgressBar {
            id: control
            objectName: "progressBar"
            width: parent.width
            padding: 2
            indeterminate: true
            from: 0
            to: 1
            value: 0

            background: Rectangle {
                implicitWidth: 200
                implicitHeight: 32
                radius: 10
                color: Qt.darker(Material.background, 1.1)
            }

            contentItem: Item {
                implicitWidth: 200
                implicitHeight: 30

                Rectangle {
                    id: bar
                    visible: !control.indeterminate
                    width: control.visualPosition * parent.width
                    height: parent.height
                    radius: 8
                    color: Material.primary
                }

                // A block sweeping from side to side while the length of the
                // work is unknown.
                Rectangle {
                    id: sweep
                    visible: control.indeterminate
                    width: parent.width / 4
                    height: parent.height
                    radius: 8
                    color: Material.primary

                    SequentialAnimation on x {
                        running: control.indeterminate && control.visible
                        loops: Animation.Infinite
                        NumberAnimation {
                            from: 0
                            to: sweep.parent.width - sweep.width
                            duration: 900
                            easing.type: Easing.InOutQuad
                        }
                        NumberAnimation {
                            from: sweep.parent.width - sweep.width
                            to: 0
                            duration: 900
                            easing.type: Easing.InOutQuad
                        }
                    }
                }
            }
        }

        Label {
            id: label
            objectName: "progressLabel"
            width: parent.width
            font.pointSize: 14
            horizontalAlignment: Text.AlignHCenter
            elide: Text.ElideMiddle
        }

        Label {
            objectName: "timeLeftLabel"
            width: parent.width
            font.pointSize: 12
            horizontalAlignment: Text.AlignHCenter
            opacity: 0.7
            visible: !control.indeterminate
            text: page.timeLeftText(page.timeLeftMs)
        }
    }
}
