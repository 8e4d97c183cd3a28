import QtQuick 2.11
import QtQuick.Controls 2.4

// A menu as wide as its widest entry (never narrower than the style's menu),
// so that long entries and their translations are shown whole instead of
// being cut off with "...".
Menu {
    id: menu

    width: {
        var widest = 0;
        for (var i = 0; i < count; ++i) {
            var entry = itemAt(i);
            if (entry)
                widest = Math.max(widest, entry.implicitWidth);
        }
        return Math.max(implicitWidth, widest + leftPadding + rightPadding);
    }
}
