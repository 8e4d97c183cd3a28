import QtQuick 2.11
import QtQuick.Controls 2.4
import QtTest 1.2
import "qrc:/controls"

// Where the controls put their content: nothing off-centre, nothing cut off.
Item {
    id: root
    width: 600
    height: 400

    Component {
        id: spinComponent
        MaterialSpin {
            from: 0
            to: 5000000
            value: 9600
        }
    }

    Component {
        id: menuComponent
        MaterialMenu {
            MenuItem {
                text: "Quit"
            }
            MenuSeparator {}
            MenuItem {
                text: "Восстановить конфигурацию панели из резервной копии"
            }
            MaterialMenu {
                title: "Резервные копии и обслуживание панели"
                MenuItem {
                    text: "Папка резервных копий"
                }
            }
        }
    }

    Component {
        id: dialogComponent
        MaterialDialog {
            width: 300
            title: "Восстановление конфигурации панели"
            standardButtons: Dialog.Cancel
            Label {
                text: "Копий не найдено"
            }
        }
    }

    TestCase {
        name: "ControlGeometry"
        when: windowShown

        function test_spinValueCentred_data() {
            return [
                {tag: "default font", size: 0},
                {tag: "14 pt", size: 14},
                {tag: "16 pt", size: 16}
            ];
        }

        function test_spinValueCentred(data) {
            var spin = createTemporaryObject(spinComponent, root);
            if (data.size > 0)
                spin.font.pointSize = data.size;
            waitForRendering(spin);
            var text = spin.contentItem;
            var middle = text.mapToItem(spin, 0, text.height / 2).y;
            verify(Math.abs(middle - spin.height / 2) <= 1,
                   "value centred at " + middle + " in a box " + spin.height + " high");
            // Still as tall as the framework's spin box, so forms keep their rows.
            verify(spin.height >= 40, "height " + spin.height);
        }

        // Long entries (translations are longer than the English texts) are
        // shown whole; short menus keep the style's width.
        function test_menuFitsEntries() {
            var menu = createTemporaryObject(menuComponent, root);
            menu.open();
            tryCompare(menu, "opened", true);
            verify(menu.width > 200, "menu " + menu.width + " wide");
            verify(menu.width <= root.width, "menu " + menu.width + " wide");
            for (var i = 0; i < menu.count; ++i) {
                var entry = menu.itemAt(i);
                if (!entry.text)
                    continue;
                var label = entry.contentItem;
                verify(label.implicitWidth <= label.width + 0.5,
                       "\"" + entry.text + "\" needs " + label.implicitWidth + ", has " + label.width);
            }
            menu.close();
        }

        function test_shortMenuKeepsStyleWidth() {
            var menu = createTemporaryObject(menuComponent, root);
            for (var i = menu.count - 1; i > 0; --i)
                menu.removeItem(menu.itemAt(i));
            compare(menu.width, menu.implicitWidth);
        }

        // A title wider than the dialog wraps rather than ending in "...",
        // and the content starts below its last line.
        function test_dialogTitleWraps() {
            var dialog = createTemporaryObject(dialogComponent, root);
            dialog.open();
            tryCompare(dialog, "opened", true);
            var title = dialog.titleLabel;
            compare(title.truncated, false);
            verify(title.lineCount > 1, "title on " + title.lineCount + " line(s)");
            verify(title.width <= dialog.width);
            var contentTop = dialog.contentItem.mapToItem(title.parent, 0, 0).y;
            verify(contentTop >= title.y + title.height,
                   "content at " + contentTop + ", title ends at " + (title.y + title.height));
            dialog.close();
        }
    }
}
