import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.3
import "../controls"

// The maintenance dashboard: distance and engine hours since the last
// maintenance point, each on a round gauge that ends at the configured limit.
// The main window fills the properties from the dashboard's counters: the
// current ones and the points saved at the last maintenance, all in km and
// whole hours.
Item {
    id: page

    property real odoSaved: 0
    property real odoCurrent: 0
    property real odoLimit: 7000
    property real timeSaved: 0
    property real timeCurrent: 0
    property real timeLimit: 500

    property alias odoGauge: odoGauge
    property alias timeGauge: timeGauge

    GridLayout {
        anchors.fill: parent
        columns: 2
        columnSpacing: 20

        ProgressGauge {
            id: odoGauge
            objectName: "odoGauge"
            Layout.fillWidth: true
            Layout.fillHeight: true
            unit: "km"
            min: 0
            max: page.odoLimit
            mstepSize: page.odoLimit < 500 ? 50 : 500
            value: page.odoCurrent - page.odoSaved
            dispText: qsTr("Odometer, km") + "\n%1 / %2".arg(page.odoSaved).arg(page.odoCurrent)
        }

        ProgressGauge {
            id: timeGauge
            objectName: "timeGauge"
            Layout.fillWidth: true
            Layout.fillHeight: true
            unit: "h"
            min: 0
            max: page.timeLimit
            mstepSize: page.timeLimit < 500 ? 50 : 100
            value: page.timeCurrent - page.timeSaved
            dispText: qsTr("Time, hours") + "\n%1".arg(page.timeCurrent - page.timeSaved)
        }
    }
}
