import QtQuick 2.12

// A transient message: fades in, stays for `time` in all, fades out.
// show(text) keeps it for defaultTime; show(text, ms) for ms, but never less
// than the two fades take.
Rectangle {
    id: root

    property bool selfDestroying: false
    readonly property real defaultTime: 3000
    property real time: defaultTime
    readonly property real fadeTime: 300
    property real margin: 10
    readonly property alias running: animation.running
    // The message as given; line breaks in it are kept on screen.
    property string text: ""

    // Emitted once the toast has faded out again.
    signal faded

    function show(text, duration) {
        root.text = text;
        if (duration !== undefined && duration !== null)
            time = Math.max(duration, 2 * fadeTime);
        else
            time = defaultTime;
        animation.restart();
    }

    width: parent ? parent.width - 2 * margin : 0
    x: margin
    height: message.height + margin
    radius: margin
    color: "#222222"
    opacity: 0

    Text {
        id: message
        text: root.text.replace(/\n/g, "<br>")
        color: "white"
        textFormat: Text.RichText
        wrapMode: Text.Wrap
        horizontalAlignment: Text.AlignHCenter
        anchors {
            top: parent.top
            left: parent.left
            right: parent.right
            margins: root.margin / 2
        }
    }

    SequentialAnimation on opacity {
        id: animation
        running: false

        NumberAnimation {
            to: 0.9
            duration: root.fadeTime
        }
        PauseAnimation {
            duration: root.time - 2 * root.fadeTime
        }
        NumberAnimation {
            to: 0
            duration: root.fadeTime
        }

        onFinished: {
            root.faded();
            if (root.selfDestroying)
                root.destroy();
        }
    }
}
