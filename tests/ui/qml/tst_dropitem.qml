import QtQuick 2.11
import QtTest 1.2
import "qrc:/controls"

Item {
    id: root
    width: 400
    height: 200

    Component {
        id: dropComponent
        MaterialDropItem {}
    }

    TestCase {
        name: "MaterialDropItem"
        when: windowShown

        function hex(bytes) {
            var view = new Uint8Array(bytes);
            var out = "";
            for (var i = 0; i < view.length; ++i)
                out += (view[i] < 16 ? "0" : "") + view[i].toString(16).toUpperCase();
            return out;
        }

        // What a drop or a paste puts into the control, and what it shows of it.
        function test_processText_data() {
            return [
                {tag: "plain text", text: "ATZ\r", bytes: "41545A0D", display: "ATZ\r"},
                {tag: "text file", text: " " + Qt.resolvedUrl("data/hello.txt") + "\n",
                 bytes: "68656C6C6F2C20D0BCD0B8D180", display: "hello, мир"},
                {tag: "binary file", text: Qt.resolvedUrl("data/binary.bin"),
                 bytes: "89500047FF", display: "Binary content: 89500047..."},
                {tag: "missing file", text: Qt.resolvedUrl("data/missing.txt"),
                 bytes: "", display: String(Qt.resolvedUrl("data/missing.txt"))},
                {tag: "file over the limit", text: largeFileUrl, refused: true,
                 display: "File is larger than 16 MiB"}
            ];
        }

        function test_processText(data) {
            var item = createTemporaryObject(dropComponent, root);
            item.processText(data.text);
            if (data.refused)
                compare(item.udata, undefined);
            else if (data.bytes !== "")
                compare(hex(item.udata), data.bytes);
            compare(item.display, data.display);
        }

        function test_reset() {
            var item = createTemporaryObject(dropComponent, root);
            item.processText("something");
            item.reset();
            compare(item.display, "");
            compare(item.udata, undefined);
        }
    }
}
