import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import "../controls"

// Shows the running transfer: a bar (indeterminate while `busy`) and a caption.
MaterialPane {
    id: page

    property alias busy: control.indeterminate
    property alias value: control.value
    property alias text: label.text

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
    }
}
