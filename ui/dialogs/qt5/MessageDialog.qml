import QtQuick.Dialogs 1.3 as D

// Qt 5: the framework's message dialog itself (see FileDialog.qml).
D.MessageDialog {
}
