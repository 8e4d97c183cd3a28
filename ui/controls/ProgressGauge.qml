import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Controls.Material 2.4

// A round dial showing how far a counter has gone towards its limit: white
// face, black ticks and labels every `mstepSize`, a red band over the last
// tenth of the scale, a coloured rim and a caption in the middle.
// The scale ends are widened to whole steps, so a limit of 182 with steps of
// 50 gives a dial from 0 to 200.
// Drawn here rather than by QtQuick.Extras' CircularGauge, which Qt 6 does not
// have, with that gauge's geometry: a scale from -145 to 145 degrees clockwise
// from twelve o'clock, and `value` held between `minimumValue` and `maximumValue`.
ProgressBar {
    id: gauge

    property string unit: ""
    property real min: 0
    property real max: 100
    property int mstepSize: 10
    property string dispText: ""

    // Multiples of the step below `lo` and above `hi` (the step itself when it
    // is not positive leaves the value rounded to an integer).
    function scaleStart(lo, step) {
        var r = Math.round(lo);
        return step > 0 ? Math.floor(r / step) * step : r;
    }
    function scaleEnd(hi, step) {
        var r = Math.round(hi);
        return step > 0 ? Math.ceil(r / step) * step : r;
    }

    property real minimumValue: scaleStart(min, mstepSize)
    property real maximumValue: Math.max(scaleEnd(max, mstepSize), minimumValue + Math.max(mstepSize, 1))
    property real minimumValueAngle: -145
    property real maximumValueAngle: 145

    function valueToAngle(v) {
        var span = maximumValue - minimumValue;
        return minimumValueAngle + (maximumValueAngle - minimumValueAngle)
                * (span > 0 ? (v - minimumValue) / span : 0);
    }

    // ProgressBar keeps `value` inside [from, to], as the dial's needle needs.
    from: minimumValue
    to: maximumValue

    implicitWidth: 240
    implicitHeight: 240
    padding: 0
    background: null

    contentItem: Item {
        id: face

        readonly property real outerRadius: Math.min(width, height) / 2
        readonly property real cx: width / 2
        readonly property real cy: height / 2
        readonly property real steps: Math.max(gauge.mstepSize, 1)
        readonly property int majorCount: Math.round((gauge.maximumValue - gauge.minimumValue) / steps)
        // Long scales (a 12500 km limit in steps of 500) label every second
        // or third major tick, so the numbers never run into each other.
        readonly property real labelStep: steps * Math.max(1, Math.ceil(majorCount / 10))
        readonly property int minorCount: majorCount > 40 ? 0 : (majorCount > 20 ? 1 : 4)
        readonly property real tickmarkInset: toPixels(0.1)
        readonly property real labelInset: toPixels(0.3)

        function toPixels(fraction) {
            return fraction * outerRadius;
        }
        function radians(degrees) {
            // The dial's angles run clockwise from twelve o'clock, the
            // canvas's from three o'clock.
            return (degrees - 90) * Math.PI / 180;
        }

        Canvas {
            id: dial
            objectName: "gaugeDial"
            anchors.fill: parent

            property real lo: gauge.minimumValue
            property real hi: gauge.maximumValue
            property real outerRadius: face.outerRadius

            onLoChanged: requestPaint()
            onHiChanged: requestPaint()
            onOuterRadiusChanged: requestPaint()

            onPaint: {
                var ctx = getContext("2d");
                ctx.reset();
                var cx = width / 2;
                var cy = height / 2;
                var r = outerRadius;
                if (r <= 10)
                    return;

                // The face, slightly shaded towards the rim.
                var shade = ctx.createRadialGradient(cx, cy - r * 0.3, r * 0.1, cx, cy, r);
                shade.addColorStop(0, "#ffffff");
                shade.addColorStop(1, "#e6e8ee");
                ctx.beginPath();
                ctx.arc(cx, cy, r - 1, 0, 2 * Math.PI);
                ctx.fillStyle = shade;
                ctx.fill();

                var start = face.radians(gauge.valueToAngle(lo));
                var end = face.radians(gauge.valueToAngle(hi));

                // Red band over the last tenth, just inside the rim.
                ctx.beginPath();
                ctx.lineWidth = 8;
                ctx.strokeStyle = "#e53935";
                ctx.arc(cx, cy, 0.94 * r - 4, face.radians(gauge.valueToAngle(lo + 0.9 * (hi - lo))), end);
                ctx.stroke();

                // The rim over the whole scale.
                var rim = ctx.createConicalGradient(cx, cy, Math.PI / 2);
                rim.addColorStop(0.0, "#1a237e");
                rim.addColorStop(0.35, "#5c6bc0");
                rim.addColorStop(0.5, "#c5cae9");
                rim.addColorStop(0.65, "#5c6bc0");
                rim.addColorStop(1.0, "#1a237e");
                ctx.beginPath();
                ctx.lineWidth = 10;
                ctx.lineCap = "round";
                ctx.strokeStyle = rim;
                ctx.arc(cx, cy, r - 5, start, end);
                ctx.stroke();
            }
    }

        Repeater {
            model: face.outerRadius > 10 ? face.minorCount * face.majorCount : 0
            Rectangle {
                readonly property real tickValue: gauge.minimumValue + face.steps
                        * (Math.floor(index / face.minorCount)
                           + (index % face.minorCount + 1) / (face.minorCount + 1))
                width: face.toPixels(0.01)
                height: face.toPixels(0.03)
                x: face.cx - width / 2
                y: face.cy - face.outerRadius + face.tickmarkInset
                antialiasing: true
                color: "black"
                transform: Rotation {
                    origin.x: width / 2
                    origin.y: face.outerRadius - face.tickmarkInset
                    angle: gauge.valueToAngle(tickValue)
                }
            }
        }

        Repeater {
            model: face.outerRadius > 10 ? face.majorCount + 1 : 0
            Rectangle {
                width: face.toPixels(0.02)
                height: face.toPixels(0.06)
                x: face.cx - width / 2
                y: face.cy - face.outerRadius + face.tickmarkInset
                antialiasing: true
                color: "black"
                transform: Rotation {
                    origin.x: width / 2
                    origin.y: face.outerRadius - face.tickmarkInset
                    angle: gauge.valueToAngle(gauge.minimumValue + index * face.steps)
                }
            }
        }

        Repeater {
            model: face.outerRadius > 10
                   ? Math.floor((gauge.maximumValue - gauge.minimumValue) / face.labelStep + 1e-9) + 1 : 0
            Text {
                objectName: "gaugeLabel"
                readonly property real labelValue: gauge.minimumValue + index * face.labelStep
                readonly property real angle: gauge.valueToAngle(labelValue) * Math.PI / 180
                readonly property real distance: face.outerRadius - face.labelInset
                x: face.cx + distance * Math.sin(angle) - width / 2
                y: face.cy - distance * Math.cos(angle) - height / 2
                font.pixelSize: Math.max(6, face.toPixels(0.1))
                text: labelValue
                color: "black"
                antialiasing: true
            }
        }

        // The needle stands on the centre and turns about its foot.
        Image {
            id: needle
            width: face.toPixels(0.08)
            height: face.toPixels(0.85)
            x: face.cx - width / 2
            y: face.cy - height
            source: "qrc:/needle.png"
            smooth: true
            mipmap: true
            transform: Rotation {
                origin.x: needle.width / 2
                origin.y: needle.height
                angle: gauge.valueToAngle(gauge.value)
            }
        }

        Rectangle {
            id: hub
            width: face.toPixels(0.12)
            height: width
            radius: width / 2
            x: face.cx - width / 2
            y: face.cy - height / 2
            color: "#212121"
            border.color: "#616161"
            border.width: 2
        }

        // The caption sits below the hub, in the free space between the
        // scale labels level with the hub (at the sides) and those at the
        // ends of the scale (below): at most 0.84 of the radius wide, from
        // 0.13 to 0.39 of the radius below the centre. A longer caption
        // gets a smaller font.
        Rectangle {
            objectName: "gaugeCaption"
            visible: gauge.dispText !== ""
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.verticalCenter: parent.verticalCenter
            anchors.verticalCenterOffset: face.toPixels(0.26)
            width: Math.min(Math.max(1.2 * caption.contentWidth, face.toPixels(0.6)), face.toPixels(0.84))
            height: Math.min(caption.contentHeight + 6, face.toPixels(0.26))
            radius: 5
            border.color: "white"
            color: Material.primary

            Text {
                id: caption
                anchors.centerIn: parent
                width: face.toPixels(0.84) - 8
                height: face.toPixels(0.26) - 6
                text: gauge.dispText
                font.pixelSize: Math.max(8, Math.min(21, face.toPixels(0.1)))
                fontSizeMode: Text.Fit
                minimumPixelSize: 6
                color: Material.foreground
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
        }
    }
}
