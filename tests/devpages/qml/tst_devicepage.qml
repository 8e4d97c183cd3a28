import QtQuick 2.11
import QtTest 1.2
import QtQuick.Controls 2.4
import "qrc:/pages"

Item {
    id: root
    width: 800
    height: 600

    Component {
        id: pageComponent
        DevicePage {
            anchors.fill: parent
        }
    }
    Component {
        id: spyComponent
        SignalSpy {}
    }

    TestCase {
        name: "DevicePage"
        when: windowShown

        function makePage() {
            runner.reset();
            runner.engineNames = ["Generic", "Petrol", "Diesel"];
            var page = createTemporaryObject(pageComponent, root);
            verify(page);
            return page;
        }

        function filled(n) {
            var config = [];
            for (var i = 0; i < n; ++i)
                config.push({active: true, hid: 100 + i, descr: "value " + i});
            return config;
        }

        function board() {
            return {version: 1, rpm: 0, speed: 1, aux: 0, adelay: 100, rflags: 9, rpmlim: 5000,
                    warnodo: 8000, warntime: 6000, engidx: 1};
        }

        function chooseFromMenu(page, name) {
            mouseClick(findChild(page, "selTool"));
            var menu = findChild(page, "selMenu");
            tryCompare(menu, "opened", true);
            var entry = findChild(menu.contentItem, name) || findChild(page, name);
            verify(entry, name);
            mouseClick(entry);
            tryCompare(menu, "visible", false);
        }

        // Asked first; only OK resets, through the controller's own slot.
        function test_resetMaintenance() {
            var page = makePage();
            var dialog = findChild(page, "resetConfirm");
            verify(dialog);
            chooseFromMenu(page, "resetMaintMenu");
            tryCompare(dialog, "visible", true);
            compare(runner.maintenanceResets, 0);
            dialog.reject();
            tryCompare(dialog, "visible", false);
            compare(runner.maintenanceResets, 0);

            chooseFromMenu(page, "resetMaintMenu");
            tryCompare(dialog, "visible", true);
            dialog.accept();
            compare(runner.maintenanceResets, 1);
            compare(runner.eepromCalls, []);
        }

        function test_engineSelection() {
            var page = makePage();
            page.setup(runner.engines());
            // The list arriving selects the first engine.
            compare(runner.engineCalls.length, 1);
            compare(runner.engineCalls[0].name, "Generic");
            page.init(filled(2));
            page.selectEngine(2);
            compare(runner.engineCalls.length, 2);
            compare(runner.engineCalls[1].name, "Diesel");
            var sent = runner.engineCalls[1].config;
            compare(sent.length, 6);
            compare(sent[0], {active: true, hid: 100, descr: "value 0"});
            compare(sent[2].active, false);
            // An index past the list falls back to the first engine.
            page.selectEngine(7);
            compare(runner.engineCalls[2].name, "Generic");
            // The same engine again asks nothing.
            page.selectEngine(0);
            compare(runner.engineCalls.length, 3);
        }

        function test_emptyEngineListAsksNothing() {
            var page = makePage();
            page.setup([]);
            page.selectEngine(0);
            compare(runner.engineCalls.length, 0);
        }

        function test_displaySwitch() {
            var page = makePage();
            var lcd = page.lcd1;
            compare(lcd.displaySize, 6);
            page.selectDisplay(1);
            compare(lcd.displaySize, 13);
            page.init(filled(13));
            page.selectDisplay(0);
            compare(lcd.displaySize, 6);
            var params = lcd.assembleParams();
            compare(params.length, 6);
            for (var i = 0; i < 6; ++i)
                compare(params[i].hid, 100 + i);
            // Back to the double display: the dropped positions stay empty.
            page.selectDisplay(1);
            params = lcd.assembleParams();
            compare(params.length, 13);
            compare(params[5].hid, 105);
            for (i = 6; i < 13; ++i)
                compare(params[i].active, false);
            // Any other type is the single display.
            page.selectDisplay(2);
            compare(lcd.displaySize, 6);
        }

        function test_apply_data() {
            return [
                {tag: "dashboard", sub: 0, configs: 0},
                {tag: "display layout", sub: 1, configs: 1},
                {tag: "board config", sub: 3, configs: 1}
            ];
        }

        function test_apply(data) {
            var page = makePage();
            page.init(filled(3));
            page.boardInit(board());
            page.subPage = data.sub;
            mouseClick(findChild(page, "applyTool"));
            // Asked first: nothing is written before OK.
            var confirm = findChild(page, "applyConfirm");
            compare(confirm.opened || confirm.visible, data.configs > 0);
            compare(runner.configCalls.length, 0);
            if (data.configs) {
                compare(confirm.lines, ["Position 3: a \u2192 b"]);
                confirm.accept();
            }
            compare(runner.configCalls.length, data.configs);
            compare(runner.uploads, 0);
            if (data.configs) {
                var call = runner.configCalls[0];
                compare(call.config.length, 6);
                compare(call.config[2], {active: true, hid: 102, descr: "value 2"});
                compare(call.config[3], {active: false});
                compare(call.board, {version: 1, rpm: 0, speed: 1, aux: 0, adelay: 100, rflags: 9,
                                     rpmlim: 5000, warnodo: 8000, warntime: 6000});
            }
        }

        function test_applyUnsupportedBoardSendsEmptyRecord() {
            var page = makePage();
            page.boardInit({version: 3});
            page.subPage = 3;
            page.apply();
            findChild(page, "applyConfirm").accept();
            compare(runner.configCalls[0].board, {});
        }

        // Nothing to change: said, and nothing can be written.
        function test_applyWithoutChanges() {
            var page = makePage();
            page.init(filled(3));
            page.boardInit(board());
            runner.differenceLines = [];
            page.subPage = 1;
            page.apply();
            var confirm = findChild(page, "applyConfirm");
            tryCompare(confirm, "opened", true);
            compare(findChild(confirm, "differenceHeading").text,
                    "Nothing changes: the dashboard already holds this. Nothing is written.");
            compare(confirm.standardButtons, Dialog.Close);
            confirm.accept();
            compare(runner.configCalls.length, 0);
            confirm.close();
        }

        function test_applySplash() {
            var page = makePage();
            var spy = createTemporaryObject(spyComponent, root, {target: page, signalName: "ialert"});
            page.subPage = 2;
            page.apply();
            compare(runner.uploads, 0);
            compare(spy.count, 1);
            compare(spy.signalArguments[0][0], "Splash is not ready");
            runner.hasSplash = true;
            page.apply();
            compare(runner.uploads, 1);
            compare(spy.count, 1);
            compare(runner.configCalls.length, 0);
        }

        function test_boardInitFillsConfigPage() {
            var page = makePage();
            page.boardInit(board());
            compare(page.cfgPage.valid, true);
            compare(findChild(page, "timeControl").value, 100);
        }
    }
}
