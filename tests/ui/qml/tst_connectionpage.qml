import QtQuick 2.11
import QtTest 1.2
import "qrc:/pages"

Item {
    id: root
    width: 800
    height: 600

    Component {
        id: pageComponent
        ConnectionPage {
            anchors.fill: parent
        }
    }
    Component {
        id: spyComponent
        SignalSpy {}
    }

    TestCase {
        name: "ConnectionPage"
        when: windowShown

        function makePage(ports) {
            runner.ports = ports;
            var page = createTemporaryObject(pageComponent, root);
            verify(page);
            return page;
        }

        function test_noPorts() {
            var page = makePage([]);
            compare(findChild(page, "portEdit").count, 0);
            compare(page.getPort(), "");
            var button = findChild(page, "connectButton");
            verify(!button.enabled);
            var spy = createTemporaryObject(spyComponent, root, {target: page, signalName: "start"});
            mouseClick(button);
            compare(spy.count, 0);
        }

        function test_setPort_data() {
            return [
                {tag: "listed", stored: "ttyB", expected: "ttyB"},
                {tag: "no longer present", stored: "ttyGone", expected: "ttyA"},
                {tag: "empty", stored: "", expected: "ttyA"},
                {tag: "case differs", stored: "TTYC", expected: "ttyA"}
            ];
        }

        function test_setPort(data) {
            var page = makePage(["ttyA", "ttyB", "ttyC"]);
            page.setPort(data.stored);
            compare(page.getPort(), data.expected);
        }

        function test_setPortMissingKeepsSelection() {
            var page = makePage(["ttyA", "ttyB", "ttyC"]);
            page.setPort("ttyC");
            page.setPort("ttyGone");
            compare(page.getPort(), "ttyC");
        }

        function test_connectEmitsStart() {
            var page = makePage(["ttyA"]);
            var button = findChild(page, "connectButton");
            verify(button.enabled);
            var spy = createTemporaryObject(spyComponent, root, {target: page, signalName: "start"});
            mouseClick(button);
            compare(spy.count, 1);
        }

        function test_rescanAndUtility() {
            var page = makePage([]);
            runner.ports = ["ttyNew"];
            mouseClick(findChild(page, "rescanTool"));
            compare(page.getPort(), "ttyNew");
            verify(findChild(page, "connectButton").enabled);

            var before = runner.dfuLaunches;
            mouseClick(findChild(page, "dfuUtilTool"));
            compare(runner.dfuLaunches, before + 1);
        }

        // Typed over, then the current entry chosen from the list: the entry is the port.
        function test_chosenEntryReplacesTypedText_data() {
            return [{tag: "the current entry", entry: 1}, {tag: "another entry", entry: 0}];
        }

        function test_chosenEntryReplacesTypedText(data) {
            var page = makePage(["ttyA", "ttyB"]);
            var box = findChild(page, "portEdit");
            box.currentIndex = 1;
            box.contentItem.forceActiveFocus();
            box.contentItem.selectAll();
            keyClick(Qt.Key_Delete);
            var typed = "/dev/ttyUSB9";
            for (var i = 0; i < typed.length; ++i)
                keyClick(typed[i]);
            compare(page.getPort(), typed);
            mouseClick(box.indicator);
            tryCompare(box.popup, "opened", true);
            var entry = box.popup.contentItem.itemAtIndex
                    ? box.popup.contentItem.itemAtIndex(data.entry)
                    : box.popup.contentItem.contentItem.children[data.entry];
            verify(entry);
            mouseClick(entry);
            tryCompare(box.popup, "visible", false);
            compare(page.getPort(), ["ttyA", "ttyB"][data.entry]);
            compare(box.currentIndex, data.entry);
        }

        function test_otherPortStopsBusyIndicator() {
            var page = makePage(["ttyA", "ttyB"]);
            page.connecting = true;
            verify(findChild(page, "connIndicator").running);
            findChild(page, "portEdit").currentIndex = 1;
            verify(!page.connecting);
        }

        function test_baudText_data() {
            return [
                {tag: "automatic", value: 0, text: "Automatic"},
                {tag: "38400", value: 38400, text: Number(38400).toLocaleString(Qt.locale(), 'f', 0)},
                {tag: "5000000", value: 5000000, text: Number(5000000).toLocaleString(Qt.locale(), 'f', 0)}
            ];
        }

        // Shown and read back: 0 <-> "Automatic", other rates in the locale's format.
        function test_baudText(data) {
            var page = makePage(["ttyA"]);
            var spin = findChild(page, "baudEdit");
            page.baud = data.value;
            compare(spin.displayText, data.text);
            compare(spin.valueFromText(spin.displayText, spin.locale), data.value);
        }

        function typeInto(spin, text) {
            var input = spin.contentItem;
            input.forceActiveFocus();
            input.selectAll();
            for (var i = 0; i < text.length; ++i)
                keyClick(text[i]);
            keyClick(Qt.Key_Return);
        }

        function test_baudTyped() {
            var page = makePage(["ttyA"]);
            var spin = findChild(page, "baudEdit");
            page.baud = 9600;
            typeInto(spin, "115200");
            compare(page.baud, 115200);
            typeInto(spin, "Automatic");
            compare(page.baud, 0);
            compare(spin.displayText, "Automatic");
            typeInto(spin, "0");
            compare(spin.displayText, "Automatic");
            // Group separators of other locales: no-break and narrow no-break spaces.
            var input = spin.contentItem;
            input.text = "38\u00a0400";
            verify(input.acceptableInput);
            input.text = "5\u202f000\u202f000";
            verify(input.acceptableInput);
            input.text = "38x400";
            verify(!input.acceptableInput);
        }
    }
}
