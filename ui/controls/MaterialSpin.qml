import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import "../fonts"

// Editable spin box with square "remove" / "add" glyph buttons on either side.
SpinBox {
    id: control

    editable: true
    // The style's paddings (8 above, 16 below) leave room for an underline
    // this frame does not draw; equal ones keep the value in the middle.
    topPadding: 12
    bottomPadding: 12
    textFromValue: function (value, locale) {
        return Number(value).toString();
    }

    contentItem: TextInput {
        z: 2
        text: control.displayText
        font: control.font
        color: "black"
        selectionColor: Material.accent
        selectedTextColor: "white"
        horizontalAlignment: Qt.AlignHCenter
        verticalAlignment: Qt.AlignVCenter
        readOnly: !control.editable
        validator: control.validator
        inputMethodHints: Qt.ImhFormattedNumbersOnly
        selectByMouse: true
    }

    up.indicator: Rectangle {
        x: control.mirrored ? 0 : parent.width - width
        height: parent.height
        implicitWidth: 40
        implicitHeight: 32
        color: !control.enabled ? Material.background
                                : control.up.pressed ? Material.accent : Material.primary
        Text {
            text: MaterialFont.icon.add
            font.family: MaterialFont.fontName
            font.pointSize: 16
            fontSizeMode: Text.Fit
            color: "white"
            anchors.fill: parent
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
    }

    down.indicator: Rectangle {
        x: control.mirrored ? parent.width - width : 0
        height: parent.height
        implicitWidth: 40
        implicitHeight: 32
        color: !control.enabled ? Material.background
                                : control.down.pressed ? Material.accent : Material.primary
        Text {
            text: MaterialFont.icon.remove
            font.family: MaterialFont.fontName
            font.pointSize: 16
            fontSizeMode: Text.Fit
            color: "white"
            anchors.fill: parent
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
    }

    background: Rectangle {
        implicitWidth: 40
        color: "transparent"
        border.width: 1
        border.color: control.enabled ? Material.primary : Qt.darker(Material.foreground)
    }
}
