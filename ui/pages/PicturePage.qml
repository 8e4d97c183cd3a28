import QtQuick 2.11
import QtQuick.Controls 2.4
import "../dialogs" as Dialogs
import QtQuick.Layouts 1.3
import "../controls"
import "../fonts"

// The splash-screen page: drop a picture, see what the dashboard will get
// (file name and display size), or clear it. "Apply changes" on the device
// page uploads it.
Item {
    id: page

    property alias drop: drop
    property alias fileDialog: fileDialog
    // The largest picture the connected dashboard's display takes.
    property size pictureLimit: Qt.size(0, 0)
    // The double display shows its pictures turned a quarter: the file is
    // upright, taller than wide.
    readonly property bool turned: pictureLimit.width < pictureLimit.height
    readonly property string sizeText: pictureLimit.width > 0
                                       ? qsTr("Pictures up to %1 pixels").arg(pictureLimit.width + "\u00a0×\u00a0" + pictureLimit.height)
                                         + (turned ? "\n" + qsTr("(the display shows them turned)") : "")
                                       : ""

    // Shows the controller's view of the picture. When the controller no
    // longer holds one (a refused file replaces the previous picture there),
    // the area is cleared too, so the page never shows a picture that
    // "Apply changes" would not upload.
    function refresh() {
        if (drop.src !== "" && !runner.canUploadSplash())
            drop.src = "";
        imageInfo.text = runner.splashInfo();
        pictureLimit = runner.splashSize();
    }

    // Asks for a picture file, in the pictures folder: a new dialog each
    // time, so none shows the name of the file chosen before.
    function chooseFile() {
        fileDialog.active = false;
        fileDialog.active = true;
        var folder = fileDialog.item.shortcuts.pictures;
        fileDialog.item.folder = folder;
        fileDialog.item.open();
        // Again once open: the widget dialog takes its folder only then.
        fileDialog.item.folder = folder;
    }

    Component.onCompleted: pictureLimit = runner.splashSize()
    onVisibleChanged: {
        if (visible)
            refresh();
    }

    Loader {
        id: fileDialog
        active: false
        sourceComponent: Dialogs.FileDialog {
            objectName: "splashFileDialog"
            title: qsTr("Choose a splash picture")
            selectMultiple: false
            nameFilters: [qsTr("Pictures") + " (*.png *.bmp *.jpg *.jpeg *.gif *.pbm *.pgm *.ppm *.xbm *.xpm)",
                qsTr("All files") + " (*)"]
            onAccepted: drop.load(fileUrl)
        }
    }

    RowLayout {
        anchors.fill: parent
        spacing: 8

        ImageDrop {
            id: drop
            objectName: "imageDrop"
            Layout.fillWidth: true
            Layout.fillHeight: true
            hint: qsTr("Click to choose a picture, or drop one here") + "\n" + page.sizeText
            onSrcChanged: page.refresh()
            onRefused: page.refresh()
            onClicked: page.chooseFile()
        }

        GroupBox {
            Layout.fillHeight: true
            Layout.preferredWidth: 200

            ColumnLayout {
                anchors.fill: parent

                Label {
                    objectName: "sizeInfo"
                    text: page.sizeText
                    visible: text !== ""
                    Layout.fillWidth: true
                    wrapMode: Text.Wrap
                    font.bold: true
                }

                Label {
                    id: imageInfo
                    objectName: "imageInfo"
                    text: qsTr("No image")
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    wrapMode: Text.WrapAnywhere
                    verticalAlignment: Text.AlignTop
                }

                MaterialButton {
                    objectName: "clearButton"
                    text: qsTr("Clear")
                    micon: MaterialFont.icon["delete"]
                    Layout.fillWidth: true
                    enabled: drop.src !== ""
                    onClicked: {
                        // The controller first, so the description reads "No image".
                        runner.clearSplash();
                        drop.src = "";
                    }
                }
            }
        }
    }
}
