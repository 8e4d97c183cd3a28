import QtQuick 2.11
import QtTest 1.2
import "qrc:/pages"

Item {
    id: root
    width: 800
    height: 600

    Component {
        id: pageComponent
        ConfigPage {
            anchors.fill: parent
        }
    }

    Component {
        id: narrowComponent
        ConfigPage {
            width: 420
            height: 300
        }
    }

    TestCase {
        name: "ConfigPage"
        when: windowShown

        function makePage() {
            var page = createTemporaryObject(pageComponent, root);
            verify(page);
            return page;
        }

        function control(page, name) {
            var c = findChild(page, name);
            verify(c, name);
            return c;
        }

        function board(overrides) {
            var b = {version: 1, rpm: 1, speed: 1, aux: 2, adelay: 650, rflags: 25, rpmlim: 6500,
                     warnodo: 9000, warntime: 30000, engidx: 2};
            for (var k in overrides)
                b[k] = overrides[k];
            return b;
        }

        function test_versionOne() {
            var page = makePage();
            page.set(board({}));
            compare(page.valid, true);
            compare(control(page, "versionInput").text, "1");
            verify(Qt.colorEqual(control(page, "versionInput").color, "black"));
            compare(control(page, "rpmControl").currentText, "8000");
            compare(control(page, "speedControl").currentText, "280kph");
            compare(control(page, "auxgControl").currentText, "1.8");
            compare(control(page, "odoControl").value, 9000);
            compare(control(page, "timeControl").value, 500);
            // Everything comes back as read; engidx is the controller's.
            compare(page.get(), {version: 1, rpm: 1, speed: 1, aux: 2, adelay: 650, rflags: 25,
                                 rpmlim: 6500, warnodo: 9000, warntime: 30000});
        }

        function test_otherVersion_data() {
            return [
                {tag: "version 2", cfg: {version: 2, rpm: 1}},
                {tag: "no version", cfg: {rpm: 1}},
                {tag: "empty record", cfg: {}}
            ];
        }

        function test_otherVersion(data) {
            var page = makePage();
            page.set(board({}));
            page.set(data.cfg);
            compare(page.valid, false);
            compare(control(page, "versionInput").text, "NOT SUPPORTED");
            verify(Qt.colorEqual(control(page, "versionInput").color, "red"));
            compare(page.get(), {});
        }

        function test_comboRanges_data() {
            return [
                {tag: "rpm 5", key: "rpm", value: 5, control: "rpmControl", shown: "6000"},
                {tag: "rpm 1", key: "rpm", value: 1, control: "rpmControl", shown: "8000"},
                {tag: "speed 2", key: "speed", value: 2, control: "speedControl", shown: "240kph"},
                {tag: "aux 3", key: "aux", value: 3, control: "auxgControl", shown: "Not present"},
                {tag: "aux 1", key: "aux", value: 1, control: "auxgControl", shown: "1.2"}
            ];
        }

        function test_comboRanges(data) {
            var page = makePage();
            var cfg = board({});
            cfg[data.key] = data.value;
            page.set(cfg);
            compare(control(page, data.control).currentText, data.shown);
        }

        function test_flags_data() {
            return [
                {tag: "none", flags: 0, on: []},
                {tag: "animation", flags: 1, on: ["animSwitch"]},
                {tag: "menu at start", flags: 2, on: ["menuSwitch"]},
                {tag: "rpm warning", flags: 4, on: ["rpmlimSwitch"]},
                {tag: "maintenance", flags: 8, on: ["maintSwitch"]},
                {tag: "logo when stopped", flags: 16, on: ["splhSwitch"]},
                {tag: "default board", flags: 25, on: ["animSwitch", "maintSwitch", "splhSwitch"]},
                {tag: "all", flags: 31, on: ["animSwitch", "menuSwitch", "rpmlimSwitch", "maintSwitch", "splhSwitch"]}
            ];
        }

        function test_flags(data) {
            var page = makePage();
            var switches = ["animSwitch", "menuSwitch", "rpmlimSwitch", "maintSwitch", "splhSwitch"];
            page.set(board({rflags: data.flags}));
            for (var i = 0; i < switches.length; ++i)
                compare(control(page, switches[i]).checked, data.on.indexOf(switches[i]) >= 0, switches[i]);
            compare(page.get().rflags, data.flags);
        }

        function test_switchesToFlags() {
            var page = makePage();
            page.set(board({rflags: 0}));
            var bits = {animSwitch: 1, menuSwitch: 2, rpmlimSwitch: 4, maintSwitch: 8, splhSwitch: 16};
            var expected = 0;
            for (var name in bits) {
                mouseClick(control(page, name));
                expected |= bits[name];
                compare(page.get().rflags, expected, name);
            }
        }

        function test_hours_data() {
            return [
                {tag: "500 h", warntime: 30000, hours: 500, back: 30000},
                {tag: "rounded", warntime: 1000, hours: 17, back: 1020},
                {tag: "largest 16-bit", warntime: 65535, hours: 1092, back: 65520},
                {tag: "zero held at one hour", warntime: 0, hours: 1, back: 60}
            ];
        }

        function test_hours(data) {
            var page = makePage();
            page.set(board({warntime: data.warntime}));
            compare(control(page, "timeControl").value, data.hours);
            compare(page.get().warntime, data.back);
        }

        // Anything above 1092 hours would not fit the 16-bit minute counter.
        function test_hoursLimit() {
            var page = makePage();
            page.set(board({}));
            var spin = control(page, "timeControl");
            compare(spin.to, 1092);
            spin.value = 2730;
            compare(spin.value, 1092);
            verify(page.get().warntime <= 65535);
        }

        // A number typed but not yet confirmed still goes out.
        function test_typedValueCounts() {
            var page = makePage();
            page.set(board({}));
            var spin = control(page, "odoControl");
            spin.contentItem.forceActiveFocus();
            spin.contentItem.selectAll();
            keyClick(Qt.Key_1);
            keyClick(Qt.Key_2);
            keyClick(Qt.Key_3);
            keyClick(Qt.Key_4);
            compare(spin.contentItem.text, "1234");
            compare(page.get().warnodo, 1234);
            compare(spin.value, 1234);
        }

        // In a narrow window the controls keep the room their values need: one
        // label and control a row, nothing cut off at the right.
        function test_narrowPageKeepsControlsWhole() {
            var page = createTemporaryObject(narrowComponent, root);
            waitForRendering(page);
            var names = ["odoControl", "timeControl", "adelayControl", "rpmlimControl",
                         "auxgControl", "rpmControl", "speedControl"];
            for (var i = 0; i < names.length; ++i) {
                var c = control(page, names[i]);
                verify(c.width >= c.implicitWidth - 1,
                       names[i] + " is " + c.width + " wide, needs " + c.implicitWidth);
            }
            var flick = control(page, "odoControl");
            while (flick.contentWidth === undefined)
                flick = flick.parent;
            compare(control(page, "boardGrid").columns, 2);
            compare(flick.contentWidth, page.width);
            verify(flick.contentHeight > page.height, "content " + flick.contentHeight + " high");
        }
    }
}
