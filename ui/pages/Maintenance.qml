import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.3
import "../controls"

// The maintenance dashboard: distance and engine hours since the last
// maintenance point, each on a round gauge that ends at the configured limit.
// The main window fills the properties from the dashboard's counters: the
// current ones and the points saved at the last maintenance, all in km and
// whole hours (the dashboard counts the engine time in seconds and saves its
// point in minutes; both arrive here as hours).
Item {
    id: page

    property real odoSaved: 0
    property real odoCurrent: 0
    property real odoLimit: 7000
    property real timeSaved: 0
    property real timeCurrent: 0
    property real timeLimit: 500

    // Since the saved points: the reset saves the current counters, so the
    // dashboard's counters only ever run ahead of them. A saved point after
    // the current counter (counters restored from another dashboard's backup,
    // a replaced unit) is no negative interval: nothing is due yet.
    readonly property real odoSince: Math.max(0, odoCurrent - odoSaved)
    readonly property real timeSince: Math.max(0, timeCurrent - timeSaved)

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
            value: page.odoSince
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
            value: page.timeSince
            dispText: qsTr("Time, hours") + "\n%1".arg(page.timeSince)
        }
    }
}
