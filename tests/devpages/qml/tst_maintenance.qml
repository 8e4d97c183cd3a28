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
            page.timeSaved = 25;
            page.timeCurrent = 65;
            var odo = findChild(page, "odoGauge");
            var time = findChild(page, "timeGauge");
            compare(odo.value, 3250);
            compare(odo.dispText, "Odometer, km\n12000 / 15250");
            // Hours since the saved point, like the distance.
            compare(time.value, 40);
            compare(time.dispText, "Time, hours\n40");
            // Past the limit the needle stays at the end of the dial.
            page.odoCurrent = 30000;
            compare(odo.value, odo.maximumValue);
            // A saved point after the current counter (4000 min saved, 4321 s run) is
            // nothing due, not a negative interval: 0, the needle at rest.
            page.timeSaved = Math.round(4000 / 60);
            page.timeCurrent = Math.round(4321 / 3600);
            compare(time.value, 0);
            compare(time.value, time.minimumValue);
            compare(time.dispText, "Time, hours\n0");
            page.odoSaved = 31000;
            compare(odo.value, 0);
            compare(odo.dispText, "Odometer, km\n31000 / 30000");
        }

        function named(item, name, out) {
            for (var i = 0; i < item.children.length; ++i) {
                var child = item.children[i];
                if (child.objectName === name && child.visible)
                    out.push(child);
                named(child, name, out);
            }
            return out;
        }

        function rectIn(item, gauge) {
            var p = item.mapToItem(gauge, 0, 0);
            return {x: p.x, y: p.y, w: item.width, h: item.height};
        }

        function test_captionLeavesLabelsFree_data() {
            return [
                {tag: "7000 km", width: 800, height: 500, limit: 7000},
                {tag: "300 km", width: 800, height: 500, limit: 300},
                {tag: "12500 km", width: 800, height: 500, limit: 12500},
                {tag: "small window", width: 420, height: 260, limit: 7000},
                {tag: "long caption", width: 800, height: 500, limit: 7000,
                 caption: "Пробег после обслуживания, км\n120000 / 125000"}
            ];
        }

        // The caption box hides none of the scale's numbers.
        function test_captionLeavesLabelsFree(data) {
            var page = createTemporaryObject(pageComponent, root);
            page.anchors.fill = undefined;
            page.width = data.width;
            page.height = data.height;
            page.odoLimit = data.limit;
            page.odoSaved = 12000;
            page.odoCurrent = 15250;
            var gauge = findChild(page, "odoGauge");
            if (data.caption)
                gauge.dispText = data.caption;
            var labels = [];
            tryVerify(function() { labels = named(gauge, "gaugeLabel", []); return labels.length > 3; });
            var captions = named(gauge, "gaugeCaption", []);
            compare(captions.length, 1);
            wait(50);
            var box = rectIn(captions[0], gauge);
            verify(box.w > 0 && box.h > 0);
            for (var i = 0; i < labels.length; ++i) {
                var l = rectIn(labels[i], gauge);
                var apart = l.x >= box.x + box.w || box.x >= l.x + l.w
                        || l.y >= box.y + box.h || box.y >= l.y + l.h;
                verify(apart, "label " + labels[i].text + " at " + JSON.stringify(l)
                       + " under the caption at " + JSON.stringify(box));
            }
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
