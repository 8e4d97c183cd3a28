import QtQuick 2.11
import Qt.labs.platform 1.1 as P

// Qt 6 has no QtQuick.Dialogs 1.3: this is Qt.labs.platform's file dialog (the widget
// dialog under the widgets application, as the Qt 5 build shows) with the part of the
// old API the pages use: selectExisting, selectMultiple, fileUrl(s) and shortcuts.
P.FileDialog {
    property bool selectExisting: true
    property bool selectMultiple: false
    readonly property url fileUrl: file
    readonly property var fileUrls: files
    readonly property var shortcuts: ({
        "home": P.StandardPaths.writableLocation(P.StandardPaths.HomeLocation),
        "documents": P.StandardPaths.writableLocation(P.StandardPaths.DocumentsLocation),
        "desktop": P.StandardPaths.writableLocation(P.StandardPaths.DesktopLocation),
        "pictures": P.StandardPaths.writableLocation(P.StandardPaths.PicturesLocation)
    })

    fileMode: !selectExisting ? P.FileDialog.SaveFile
                              : (selectMultiple ? P.FileDialog.OpenFiles : P.FileDialog.OpenFile)
}
