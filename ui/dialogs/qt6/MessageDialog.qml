import QtQuick 2.11
import Qt.labs.platform 1.1 as P

// Qt 6: Qt.labs.platform's message dialog (a widget message box under the widgets
// application, as in the Qt 5 build) with the old API's standardButtons, icon, yes()
// and no(). The icon is kept for the pages' sake but not shown: this dialog has none.
P.MessageDialog {
    property int icon: 0
    property int standardButtons: P.MessageDialog.Ok

    signal yes()
    signal no()

    buttons: standardButtons
    onYesClicked: yes()
    onNoClicked: no()
}
