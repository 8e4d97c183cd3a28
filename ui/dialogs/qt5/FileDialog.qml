import QtQuick.Dialogs 1.3 as D

// Qt 5: the framework's file dialog itself (the widget dialog under the widgets
// application). The pages import the folder "dialogs" as Dialogs and use the API of
// QtQuick.Dialogs 1.3; the Qt 6 build puts qt6/FileDialog.qml here instead.
D.FileDialog {
}
