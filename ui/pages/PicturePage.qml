import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.3
import "../controls"
import "../fonts"

// The splash-screen page: drop a picture, see what the dashboard will get
// (file name and display size), or clear it. "Apply changes" on the device
// page uploads it.
Item {
    id: page

    property alias drop: drop

    // Shows the controller's view of the picture. When the controller no
    // longer holds one (a refused file replaces the previous picture there),
    // the area is cleared too, so the page never shows a picture that
    // "Apply changes" would not upload.
    function refresh() {
        if (drop.src !== "" && !runner.canUploadSplash())
            drop.src = "";
        imageInfo.text = runner.splashInfo();
    }

    RowLayout {
        anchors.fill: parent
        spacing: 8

        ImageDrop {
            id: drop
            objectName: "imageDrop"
            Layout.fillWidth: true
            Layout.fillHeight: true
            onSrcChanged: page.refresh()
            onRefused: page.refresh()
        }

        GroupBox {
            Layout.fillHeight: true
            Layout.preferredWidth: 200

            ColumnLayout {
                anchors.fill: parent

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
