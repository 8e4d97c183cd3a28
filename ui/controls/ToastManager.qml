import QtQuick 2.11

// Stack of toasts at the bottom of its parent, the newest at the bottom.
// Entries leave the list once their toast has faded out.
ListView {
    id: root

    function show(text, duration) {
        var given = duration !== undefined && duration !== null;
        toastModel.insert(0, {
                              "text": text,
                              "duration": given ? duration : 0,
                              "hasDuration": given
                          });
    }

    z: Infinity
    width: 200
    height: contentHeight
    spacing: 5
    interactive: false
    verticalLayoutDirection: ListView.BottomToTop
    anchors.horizontalCenter: parent.horizontalCenter
    anchors.bottom: parent.bottom
    anchors.bottomMargin: 10

    model: ListModel {
        id: toastModel
    }

    delegate: Toast {
        Component.onCompleted: {
            if (model.hasDuration)
                show(model.text, model.duration);
            else
                show(model.text);
        }
        onFaded: toastModel.remove(index)
    }

    displaced: Transition {
        NumberAnimation {
            properties: "y"
            easing.type: Easing.InOutQuad
        }
    }
}
