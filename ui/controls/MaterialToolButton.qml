import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import "../fonts"

// Round tool button whose text is an icon-font glyph (MaterialFont.icon.xxx).
ToolButton {
    id: mtool

    property color bgColor: Material.primary
    property color normalColor: "white"
    property color pressedColor: Material.accent
    property string tooltip: ""

    hoverEnabled: true
    text: "..."
    font.family: MaterialFont.fontName
    font.pointSize: 22

    contentItem: Text {
        text: mtool.text
        font: mtool.font
        color: mtool.down ? mtool.pressedColor : mtool.normalColor
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    background: Rectangle {
        implicitWidth: 40
        implicitHeight: 40
        radius: width / 2
        color: mtool.bgColor
        opacity: mtool.enabled ? 1 : 0.3
    }

    ToolTip.visible: hovered && tooltip !== ""
    ToolTip.text: tooltip
}
