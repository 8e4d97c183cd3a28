import QtQuick 2.11
import QtTest 1.2
import "qrc:/pages"

Item {
    id: root
    width: 800
    height: 440

    Component {
        id: pageComponent
        DisplayPage {
            anchors.fill: parent
        }
    }

    // A drag source without the list entry's row.
    Component {
        id: strayComponent
        Rectangle {
            width: 20
            height: 20
            Drag.keys: ["param-list"]
            Drag.hotSpot.x: 10
            Drag.hotSpot.y: 10
        }
    }

    TestCase {
        name: "DisplayPage"
        when: windowShown

        function makePage(size) {
            runner.reset();
            var page = createTemporaryObject(pageComponent, root, {displaySize: size || 6});
            verify(page);
            waitForRendering(page);
            // On a busy machine the first frame can come before the page has laid itself out;
            // a drag begun then would be pressed where the entry no longer is.
            tryVerify(function() { var s = slot(page, 0); return s && s.width > 0; }, 3000,
                      "page laid out");
            return page;
        }

        function slot(page, i) {
            return findChild(page, "slot" + i);
        }

        function entry(page, row) {
            // The list makes its delegates when it gets to it.
            tryVerify(function() { return findChild(page, "paramEntry" + row) !== null; }, 3000,
                      "list entry " + row);
            return findChild(page, "paramEntry" + row);
        }

        function filled(n, base) {
            var config = [];
            for (var i = 0; i < n; ++i)
                config.push({active: true, hid: (base || 1000) + i, descr: "value " + i});
            return config;
        }

        // Drags list row `row` onto the middle of `target` with mouse events.
        function dragRow(page, row, target) {
            var from = entry(page, row);
            var to = target.mapToItem(from, target.width / 2, target.height / 2);
            mousePress(from, 10, 10);
            var steps = 12;
            for (var s = 1; s <= steps; ++s) {
                mouseMove(from, 10 + (to.x - 10) * s / steps, 10 + (to.y - 10) * s / steps, -1, Qt.LeftButton);
                wait(10);
            }
            return {from: from, to: to};
        }

        function test_emptyLayout() {
            var page = makePage(6);
            var params = page.assembleParams();
            compare(params.length, 6);
            for (var i = 0; i < 6; ++i) {
                compare(params[i].active, false);
                compare(params[i].hid, undefined);
            }
            compare(findChild(page, "detailsField").text, "Select a parameter");
        }

        function test_setup_data() {
            return [
                {tag: "longer than the display", size: 6, given: 9, shown: 6},
                {tag: "shorter than the display", size: 6, given: 2, shown: 2},
                {tag: "empty", size: 6, given: 0, shown: 0},
                {tag: "double display", size: 13, given: 13, shown: 13}
            ];
        }

        function test_setup(data) {
            var page = makePage(data.size);
            // Every slot holds something before, so emptying shows.
            page.setup(filled(data.size, 5000));
            page.setup(filled(data.given));
            var params = page.assembleParams();
            compare(params.length, data.size);
            for (var i = 0; i < data.size; ++i) {
                if (i < data.shown) {
                    compare(params[i].active, true);
                    compare(params[i].hid, 1000 + i);
                    compare(params[i].descr, "value " + i);
                    compare(slot(page, i).empty, false);
                } else {
                    compare(params[i].active, false, "slot " + i);
                    compare(slot(page, i).empty, true);
                    compare(slot(page, i).descr, "");
                    compare(slot(page, i).hid, 0);
                }
            }
        }

        function test_slotsInsideFrame_data() {
            return [
                {tag: "single display", size: 6},
                {tag: "double display", size: 13}
            ];
        }

        // Whatever the window height, the last position stays inside the frame.
        function test_slotsInsideFrame(data) {
            var page = makePage(data.size);
            var list = findChild(page, "slotList");
            var last = slot(page, data.size - 1);
            for (var h = 300; h <= 480; h += 5) {
                root.height = h;
                waitForItemPolished(list.parent.parent);
                waitForItemPolished(list);
                var bottom = last.mapToItem(list, 0, last.height).y;
                verify(bottom <= list.height - list.padding,
                       "height " + h + ": last position ends at " + bottom + " of " + list.height);
            }
            root.height = 440;
        }

        function test_setupSkipsInactiveEntries() {
            var page = makePage(6);
            var config = filled(3);
            config[1] = {active: false, hid: 0, descr: ""};
            page.setup(config);
            var params = page.assembleParams();
            compare(params[0].active, true);
            compare(params[1].active, false);
            compare(params[2].hid, 1002);
        }

        // Parameter hashes are unsigned 32-bit and must survive the page.
        function test_largeHashKept() {
            var page = makePage(6);
            page.setup([{active: true, hid: 4000000000, descr: "big"}]);
            compare(page.assembleParams()[0].hid, 4000000000);
        }

        function test_dragEntryOntoSlot() {
            var page = makePage(6);
            var model = runner.paramListModel();
            var target = slot(page, 2);
            var bg = findChild(target, "bgrect");
            verify(Qt.colorEqual(bg.color, "#80ff0000"));

            var d = dragRow(page, 2, target);
            compare(findChild(page, "selector").dragItemIndex, 2);
            tryVerify(function() { return Qt.colorEqual(bg.color, "#ffff0000"); });
            mouseRelease(d.from, d.to.x, d.to.y);

            tryCompare(target, "empty", false);
            verify(Qt.colorEqual(bg.color, "#80ff0000"));
            compare(target.hid, model.hash(2));
            compare(target.descr, "short " + model.hash(2));
            compare(findChild(page, "selector").dragItemIndex, -1);

            var params = page.assembleParams();
            compare(params[2], {active: true, hid: model.hash(2), descr: "short " + model.hash(2)});
            for (var i = 0; i < 6; ++i)
                if (i !== 2)
                    compare(params[i].active, false);
            // The dragged entry is back in its list.
            tryCompare(entry(page, 2).children[0], "x", 0);
        }

        function test_dragAwayChangesNothing() {
            var page = makePage(6);
            var target = slot(page, 1);
            var bg = findChild(target, "bgrect");
            var d = dragRow(page, 0, target);
            tryVerify(function() { return Qt.colorEqual(bg.color, "#ffff0000"); });
            // Leave the slot again and let go over the list.
            mouseMove(d.from, 10, 40, -1, Qt.LeftButton);
            tryVerify(function() { return Qt.colorEqual(bg.color, "#80ff0000"); });
            mouseRelease(d.from, 10, 40);
            for (var i = 0; i < 6; ++i)
                compare(slot(page, i).empty, true);
        }

        function test_dropWithoutRowIgnored() {
            var page = makePage(6);
            var target = slot(page, 0);
            var stray = createTemporaryObject(strayComponent, page);
            var p = target.mapToItem(page, target.width / 2, target.height / 2);
            stray.x = p.x - 10;
            stray.y = p.y - 10;
            stray.Drag.active = true;
            stray.Drag.drop();
            stray.Drag.active = false;
            compare(target.empty, true);
            compare(page.assembleParams()[0].active, false);
        }

        function test_remove_data() {
            return [
                {tag: "single display: button", size: 6, control: "removeButton"},
                {tag: "double display: small cross", size: 13, control: "removeText"}
            ];
        }

        function test_remove(data) {
            var page = makePage(data.size);
            page.setup(filled(data.size));
            var target = slot(page, 3);
            waitForRendering(page);
            var control = findChild(target, data.control);
            verify(control && control.visible, data.control + " shown");
            var other = findChild(target, data.control === "removeButton" ? "removeText" : "removeButton");
            verify(!other.visible);
            mouseClick(control);
            compare(target.empty, true);
            compare(target.descr, "");
            compare(target.hid, 0);
            verify(Qt.colorEqual(findChild(target, "bgrect").color, "#80ff0000"));
            var params = page.assembleParams();
            compare(params[3].active, false);
            compare(params[2].active, true);
            compare(params[4].active, true);
        }

        function test_clickShowsDescription() {
            var page = makePage(6);
            var model = runner.paramListModel();
            mouseClick(entry(page, 3));
            compare(findChild(page, "detailsField").text,
                    "<table><tr><td>long " + model.hash(3) + "</td></tr></table>");
            // A click fills nothing.
            compare(page.assembleParams()[0].active, false);
        }
    }
}
