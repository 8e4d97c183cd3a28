import QtQuick 2.11
import QtQuick.Controls 2.4

// A dialog whose title goes onto a second line instead of ending in "..."
// when the dialog is narrower than the title (long translations, small
// windows). Otherwise the style's dialog.
Dialog {
    id: dialog

    // The title's text, for a look at how it wraps.
    readonly property alias titleLabel: titleLabel

    // The wrapping title sits in an item of its own: as the header itself its
    // height, which depends on the dialog's width, fed the dialog's own size
    // (a binding loop on the dialog's height, under Qt 6 whatever the content).
    header: Item {
        visible: dialog.title !== ""
        implicitHeight: titleLabel.implicitHeight

        Label {
            id: titleLabel
            width: parent.width
            text: dialog.title
            wrapMode: Text.Wrap
            padding: 24
            bottomPadding: 0
            font.bold: true
            font.pixelSize: 16
        }
    }
}
