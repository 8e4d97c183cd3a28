import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4

// A pane drawn only as a thin primary-coloured frame, so the window's
// gradient shows through.
Pane {
    background: Rectangle {
        color: "transparent"
        border.width: 1
        border.color: Material.primary
    }
}
