import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4
import "../fonts"

// Flat primary button with an optional icon-font glyph in front of its text.
Button {
    id: tool

    property color bgColor: Material.primary
    property color normalColor: "white"
    property color pressedColor: Material.accent
    property string micon: ""

    contentItem: Item {
        implicitWidth: glyph.implicitWidth + (glyph.visible ? row.spacing : 0) + label.implicitWidth
        implicitHeight: Math.max(glyph.implicitHeight, label.implicitHeight)

        Row {
            id: row
            spacing: 6
            anchors.centerIn: parent
            width: Math.min(parent.implicitWidth, parent.width)

            Text {
                id: glyph
                visible: tool.micon !== ""
                text: tool.micon
                font.family: MaterialFont.fontName
                font.pointSize: 22
                color: tool.down ? tool.pressedColor : tool.normalColor
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                id: label
                text: tool.text
                font: tool.font
                elide: Text.ElideRight
                width: row.width - (glyph.visible ? glyph.width + row.spacing : 0)
                color: tool.down ? tool.pressedColor : tool.normalColor
                anchors.verticalCenter: parent.verticalCenter
            }
        }
    }

    background: Rectangle {
        implicitWidth: 100
        implicitHeight: 40
        radius: 2
        color: tool.bgColor
        border.width: 1
        border.color: tool.down ? tool.pressedColor : tool.bgColor
        opacity: tool.enabled ? 1 : 0.3
    }
}
