import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4

ScrollBar {
    id: control

    contentItem: Rectangle {
        implicitWidth: 6
        implicitHeight: 6
        radius: width / 2
        color: control.pressed ? Qt.darker(Material.accent) : Material.accent
        // Nothing to scroll (the handle as long as the track): no handle.
        opacity: control.size < 1 && (control.policy === ScrollBar.AlwaysOn || control.active) ? 1 : 0
        Behavior on opacity {
            NumberAnimation {
                duration: 200
            }
        }
    }
}
