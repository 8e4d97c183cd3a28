import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import "../fonts"

// A status glyph that can blink (start/stop) and explains itself in a tool tip.
Label {
    id: control

    property string tooltip: ""

    font.family: MaterialFont.fontName
    font.pointSize: 22
    color: Material.primary

    function start() {
        opacity = 1;
        blink.start();
    }

    function stop() {
        blink.stop();
        opacity = 1;
    }

    SequentialAnimation {
        id: blink
        loops: Animation.Infinite
        NumberAnimation {
            target: control
            property: "opacity"
            to: 0
            duration: 500
            easing.type: Easing.InCubic
        }
        NumberAnimation {
            target: control
            property: "opacity"
            to: 1
            duration: 500
            easing.type: Easing.OutCubic
        }
    }

    MouseArea {
        id: hoverArea
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.NoButton
    }

    ToolTip.visible: hoverArea.containsMouse && tooltip !== ""
    ToolTip.text: tooltip
}
