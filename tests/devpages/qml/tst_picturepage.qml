import QtQuick 2.11
import QtTest 1.2
import "qrc:/pages"

Item {
    id: root
    width: 800
    height: 500

    Component {
        id: pageComponent
        PicturePage {
            anchors.fill: parent
        }
    }

    TestCase {
        name: "PicturePage"
        when: windowShown

        function makePage() {
            runner.reset();
            var page = createTemporaryObject(pageComponent, root);
            verify(page);
            return page;
        }

        function test_acceptedPicture() {
            var page = makePage();
            var info = findChild(page, "imageInfo");
            var clear = findChild(page, "clearButton");
            compare(info.text, "No image");
            verify(!clear.enabled);
            runner.acceptSplash = true;
            verify(page.drop.load("qrc:/needle.png"));
            compare(runner.loads, ["qrc:/needle.png"]);
            compare(page.drop.src, "qrc:/needle.png");
            compare(info.text, "picture\n124x88");
            verify(clear.enabled);

            mouseClick(clear);
            compare(runner.clears, 1);
            compare(page.drop.src, "");
            compare(info.text, "No image");
            verify(!clear.enabled);
        }

        // The controller drops its picture when a load fails, so the page
        // must not go on showing one.
        function test_refusedPicture() {
            var page = makePage();
            runner.acceptSplash = true;
            page.drop.load("qrc:/needle.png");
            runner.acceptSplash = false;
            verify(!page.drop.load("file:///tmp/huge.png"));
            compare(runner.loads.length, 2);
            compare(page.drop.src, "");
            compare(findChild(page, "imageInfo").text, "No image");
        }

        // The area tells the size the display takes; a click asks for a file.
        function test_sizeAndFileDialog() {
            var page = makePage();
            var hint = findChild(page, "dropHint");
            verify(hint.text.indexOf("up to 124\u00a0×\u00a088 pixels") >= 0, hint.text);
            compare(findChild(page, "sizeInfo").text, "Pictures up to 124\u00a0×\u00a088 pixels");
            // The double display takes upright pictures, shown turned.
            runner.pictureLimit = Qt.size(128, 173);
            page.refresh();
            compare(findChild(page, "sizeInfo").text,
                    "Pictures up to 128\u00a0×\u00a0173 pixels\n(the display shows them turned)");
            verify(!page.fileDialog.active);
            mouseClick(page.drop);
            var first = page.fileDialog.item;
            verify(first);
            tryCompare(first, "visible", true);
            // In the pictures folder; the next click asks with a new dialog, which
            // has no file name left from the one before.
            compare(first.folder.toString(), first.shortcuts.pictures.toString());
            first.close();
            tryCompare(first, "visible", false);
            mouseClick(page.drop);
            verify(page.fileDialog.item);
            verify(page.fileDialog.item !== first);
            compare(page.fileDialog.item.fileUrls.length, 0);
            tryCompare(page.fileDialog.item, "visible", true);
            page.fileDialog.item.close();
        }

        function test_reloadSameFile() {
            var page = makePage();
            runner.acceptSplash = true;
            page.drop.load("qrc:/needle.png");
            var changes = 0;
            page.drop.srcChanged.connect(function() { ++changes; });
            page.drop.load("qrc:/needle.png");
            verify(changes >= 1);
            compare(page.drop.src, "qrc:/needle.png");
        }
    }
}
