import QtQuick 2.11
import QtQuick.Controls 2.4

// A dialog whose title goes onto a second line instead of ending in "..."
// when the dialog is narrower than the title (long translations, small
// windows). Otherwise the style's dialog.
Dialog {
    id: dialog

    header: Label {
        text: dialog.title
        visible: dialog.title !== ""
        wrapMode: Text.Wrap
        padding: 24
        bottomPadding: 0
        font.bold: true
        font.pixelSize: 16
    }
}
