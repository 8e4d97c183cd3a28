import QtQuick 2.11
import QtTest 1.2
import "qrc:/controls"

Item {
    id: root
    width: 400
    height: 400

    Component {
        id: toastComponent
        Toast {}
    }
    Component {
        id: managerComponent
        Item {
            anchors.fill: parent
            property alias manager: manager
            ToastManager {
                id: manager
            }
        }
    }
    Component {
        id: buttonComponent
        MaterialButton {
            text: "Go"
        }
    }

    TestCase {
        name: "Toast"
        when: windowShown

        function test_time_data() {
            return [
                {tag: "no duration", duration: undefined, time: 3000},
                {tag: "100 ms is raised to both fades", duration: 100, time: 600},
                {tag: "zero", duration: 0, time: 600},
                {tag: "exactly both fades", duration: 600, time: 600},
                {tag: "long", duration: 5000, time: 5000}
            ];
        }

        function test_time(data) {
            var toast = createTemporaryObject(toastComponent, root);
            if (data.duration === undefined)
                toast.show("message");
            else
                toast.show("message", data.duration);
            compare(toast.time, data.time);
            verify(toast.running);
        }

        // 100 ms asked: it fades in, straight out again, and is gone after
        // 600 ms in all, not after the 3 s default.
        function test_shortToastLifetime() {
            var toast = createTemporaryObject(toastComponent, root);
            var spy = createTemporaryObject(signalSpyComponent, root, {target: toast, signalName: "faded"});
            var started = Date.now();
            toast.show("short", 100);
            spy.wait(2500);
            var elapsed = Date.now() - started;
            verify(elapsed >= 590, "faded after " + elapsed + " ms");
            verify(elapsed < 2500, "faded after " + elapsed + " ms");
            compare(toast.opacity, 0);
        }

        function test_showAgainRestarts() {
            var toast = createTemporaryObject(toastComponent, root);
            var spy = createTemporaryObject(signalSpyComponent, root, {target: toast, signalName: "faded"});
            toast.show("first", 5000);
            toast.show("second", 100);
            compare(spy.count, 0, "a toast shown again must not report the first run as faded");
            spy.wait(2500);
            compare(spy.count, 1);
        }

        function test_selfDestroying() {
            var toast = toastComponent.createObject(root, {selfDestroying: true});
            var before = root.children.length;
            toast.show("bye", 100);
            tryVerify(function () { return root.children.length === before - 1; }, 2500);
        }

        function test_newestAtBottom() {
            var holder = createTemporaryObject(managerComponent, root);
            var manager = holder.manager;
            manager.show("older");
            manager.show("newer");
            tryCompare(manager, "count", 2);
            waitForRendering(manager);
            var newer = manager.itemAtIndex(0);
            var older = manager.itemAtIndex(1);
            verify(newer && older);
            var newerY = newer.mapToItem(root, 0, 0).y;
            var olderY = older.mapToItem(root, 0, 0).y;
            verify(newerY > olderY, "newer at " + newerY + ", older at " + olderY);
            // The stack sits at the bottom of its parent, 10 px above the edge.
            fuzzyCompare(newerY + newer.height, root.height - 10, 1);
        }

        function test_managerPassesDuration() {
            var holder = createTemporaryObject(managerComponent, root);
            var manager = holder.manager;
            manager.show("default");
            manager.show("alert", 1500);
            tryVerify(function () { return manager.itemAtIndex(1) !== null; });
            compare(manager.itemAtIndex(0).time, 1500);
            compare(manager.itemAtIndex(0).text, "alert");
            compare(manager.itemAtIndex(1).time, 3000);
            compare(manager.itemAtIndex(1).text, "default");
        }

        // Faded toasts leave the list instead of piling up invisibly.
        function test_fadedEntriesRemoved() {
            var holder = createTemporaryObject(managerComponent, root);
            var manager = holder.manager;
            manager.show("one", 100);
            manager.show("two", 100);
            tryCompare(manager, "count", 2);
            tryCompare(manager, "count", 0, 3000);
        }

        function test_disabledButtonDimmed() {
            var button = createTemporaryObject(buttonComponent, root);
            compare(button.background.opacity, 1);
            button.enabled = false;
            compare(button.background.opacity, 0.3);
        }
    }

    Component {
        id: signalSpyComponent
        SignalSpy {}
    }
}
