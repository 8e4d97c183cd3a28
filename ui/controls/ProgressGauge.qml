import QtQuick 2.11
import QtQuick.Controls.Material 2.4
import QtQuick.Controls.Styles 1.4
import QtQuick.Extras 1.4

// A round dial showing how far a counter has gone towards its limit: white
// face, black ticks and labels every `mstepSize`, a red band over the last
// tenth of the scale, a coloured rim and a caption in the middle.
// The scale ends are widened to whole steps, so a limit of 182 with steps of
// 50 gives a dial from 0 to 200.
CircularGauge {
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

    minimumValue: scaleStart(min, mstepSize)
    maximumValue: Math.max(scaleEnd(max, mstepSize), minimumValue + Math.max(mstepSize, 1))

    implicitWidth: 240
    implicitHeight: 240

    style: CircularGaugeStyle {
        id: gaugeStyle

        readonly property real steps: Math.max(gauge.mstepSize, 1)
        readonly property int majorCount: Math.round((gauge.maximumValue - gauge.minimumValue) / steps)

        tickmarkStepSize: steps
        // Long scales (a 12500 km limit in steps of 500) label every second
        // or third major tick, so the numbers never run into each other.
        labelStepSize: steps * Math.max(1, Math.ceil(majorCount / 10))
        minorTickmarkCount: majorCount > 40 ? 0 : (majorCount > 20 ? 1 : 4)
        tickmarkInset: toPixels(0.1)
        minorTickmarkInset: toPixels(0.1)
        labelInset: toPixels(0.3)

        function toPixels(fraction) {
            return fraction * outerRadius;
        }
        function radians(degrees) {
            // The style's angles run clockwise from twelve o'clock, the
            // canvas's from three o'clock.
            return (degrees - 90) * Math.PI / 180;
        }

        background: Canvas {
            id: dial
            objectName: "gaugeDial"

            property real lo: gauge.minimumValue
            property real hi: gauge.maximumValue
            property real radius: outerRadius

            onLoChanged: requestPaint()
            onHiChanged: requestPaint()
            onRadiusChanged: requestPaint()

            onPaint: {
                var ctx = getContext("2d");
                ctx.reset();
                var cx = width / 2;
                var cy = height / 2;
                var r = outerRadius;
                if (r <= 10)
                    return;

                // The face, slightly shaded towards the rim.
                var face = ctx.createRadialGradient(cx, cy - r * 0.3, r * 0.1, cx, cy, r);
                face.addColorStop(0, "#ffffff");
                face.addColorStop(1, "#e6e8ee");
                ctx.beginPath();
                ctx.arc(cx, cy, r - 1, 0, 2 * Math.PI);
                ctx.fillStyle = face;
                ctx.fill();

                var start = radians(valueToAngle(lo));
                var end = radians(valueToAngle(hi));

                // Red band over the last tenth, just inside the rim.
                ctx.beginPath();
                ctx.lineWidth = 8;
                ctx.strokeStyle = "#e53935";
                ctx.arc(cx, cy, 0.94 * r - 4, radians(valueToAngle(lo + 0.9 * (hi - lo))), end);
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

        tickmark: Rectangle {
            implicitWidth: toPixels(0.02)
            implicitHeight: toPixels(0.06)
            antialiasing: true
            color: "black"
        }

        minorTickmark: Rectangle {
            implicitWidth: toPixels(0.01)
            implicitHeight: toPixels(0.03)
            antialiasing: true
            color: "black"
        }

        tickmarkLabel: Text {
            objectName: "gaugeLabel"
            font.pixelSize: Math.max(6, toPixels(0.1))
            text: styleData.value
            color: "black"
            antialiasing: true
        }

        needle: Item {
            implicitWidth: toPixels(0.08)
            implicitHeight: toPixels(0.85)

            Image {
                anchors.fill: parent
                source: "qrc:/needle.png"
                smooth: true
                mipmap: true
            }
        }

        foreground: Item {
            Rectangle {
                id: hub
                width: toPixels(0.12)
                height: width
                radius: width / 2
                anchors.centerIn: parent
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
                anchors.verticalCenterOffset: toPixels(0.26)
                width: Math.min(Math.max(1.2 * caption.contentWidth, toPixels(0.6)), toPixels(0.84))
                height: Math.min(caption.contentHeight + 6, toPixels(0.26))
                radius: 5
                border.color: "white"
                color: Material.primary

                Text {
                    id: caption
                    anchors.centerIn: parent
                    width: toPixels(0.84) - 8
                    height: toPixels(0.26) - 6
                    text: gauge.dispText
                    font.pixelSize: Math.max(8, Math.min(21, toPixels(0.1)))
                    fontSizeMode: Text.Fit
                    minimumPixelSize: 6
                    color: Material.foreground
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
            }
        }
    }
}
