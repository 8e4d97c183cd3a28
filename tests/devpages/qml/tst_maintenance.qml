import QtQuick 2.11
import QtTest 1.2
import "qrc:/pages"
import "qrc:/controls"

Item {
    id: root
    width: 800
    height: 500

    Component {
        id: pageComponent
        Maintenance {
            anchors.fill: parent
        }
    }
    Component {
        id: gaugeComponent
        ProgressGauge {
            width: 200
            height: 200
        }
    }

    TestCase {
        name: "Maintenance"
        when: windowShown

        function test_scaleEnds_data() {
            return [
                {tag: "odometer 300", gauge: "odoGauge", limit: 300, step: 50, end: 300},
                {tag: "odometer 7000", gauge: "odoGauge", limit: 7000, step: 500, end: 7000},
                {tag: "odometer 7100", gauge: "odoGauge", limit: 7100, step: 500, end: 7500},
                {tag: "odometer 499", gauge: "odoGauge", limit: 499, step: 50, end: 500},
                {tag: "hours 182", gauge: "timeGauge", limit: 182, step: 50, end: 200},
                {tag: "hours 500", gauge: "timeGauge", limit: 500, step: 100, end: 500},
                {tag: "hours 1092", gauge: "timeGauge", limit: 1092, step: 100, end: 1100}
            ];
        }

        function test_scaleEnds(data) {
            var page = createTemporaryObject(pageComponent, root);
            if (data.gauge === "odoGauge")
                page.odoLimit = data.limit;
            else
                page.timeLimit = data.limit;
            var gauge = findChild(page, data.gauge);
            compare(gauge.mstepSize, data.step);
            compare(gauge.minimumValue, 0);
            compare(gauge.maximumValue, data.end);
        }

        function test_values() {
            var page = createTemporaryObject(pageComponent, root);
            page.odoSaved = 12000;
            page.odoCurrent = 15250;
            page.timeSaved = 40;
            page.timeCurrent = 25;
            var odo = findChild(page, "odoGauge");
            var time = findChild(page, "timeGauge");
            compare(odo.value, 3250);
            compare(odo.dispText, "Odometer, km\n12000 / 15250");
            compare(time.value, 65);
            compare(time.dispText, "Time, hours\n65");
            // Past the limit the needle stays at the end of the dial.
            page.odoCurrent = 30000;
            compare(odo.value, odo.maximumValue);
        }

        function test_gaugeScale_data() {
            return [
                {tag: "zero start", min: 0, max: 182, step: 50, lo: 0, hi: 200},
                {tag: "negative start", min: -30, max: 100, step: 50, lo: -50, hi: 100},
                {tag: "positive start", min: 30, max: 100, step: 50, lo: 0, hi: 100},
                {tag: "fractions rounded first", min: 0, max: 100.4, step: 10, lo: 0, hi: 100},
                {tag: "no range", min: 0, max: 0, step: 50, lo: 0, hi: 50}
            ];
        }

        function test_gaugeScale(data) {
            var gauge = createTemporaryObject(gaugeComponent, root,
                                              {min: data.min, max: data.max, mstepSize: data.step});
            compare(gauge.minimumValue, data.lo);
            compare(gauge.maximumValue, data.hi);
        }

    }
}
