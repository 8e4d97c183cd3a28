// kx4-splash-preview: converts a picture for a display type the way the
// dashboard receives it and writes what the display will show as a PNG.
//   kx4-splash-preview [--display 0|1] [--stream out.bin] picture.png preview.png

#include "image/ImageConverter.h"
#include "image/SplashPreview.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows what the dashboard displays for a splash picture."));
    parser.addHelpOption();
    const QCommandLineOption display(
        QStringLiteral("display"), QStringLiteral("Display type: 1 double, anything else single."),
        QStringLiteral("type"), QStringLiteral("0"));
    const QCommandLineOption stream(QStringLiteral("stream"),
                                    QStringLiteral("Also write the page stream to this file."),
                                    QStringLiteral("file"));
    parser.addOption(display);
    parser.addOption(stream);
    parser.addPositionalArgument(QStringLiteral("picture"), QStringLiteral("Picture to convert."));
    parser.addPositionalArgument(QStringLiteral("preview"), QStringLiteral("PNG to write."));
    parser.process(app);

    QTextStream err(stderr);
    const QStringList args = parser.positionalArguments();
    if (args.size() != 2)
        parser.showHelp(1);

    ImageConverter converter;
    converter.applyDisplayProfile(parser.value(display).toInt());
    if (!converter.load(args.at(0))) {
        err << "Cannot load " << args.at(0) << " (unreadable, or larger than " << converter.width()
            << "x" << converter.height() << " after turning)\n";
        return 2;
    }
    const QByteArray bytes = converter.bitmap();
    if (parser.isSet(stream)) {
        QFile out(parser.value(stream));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
            err << "Cannot write " << out.fileName() << "\n";
            return 3;
        }
    }
    QString error;
    const QImage shown = SplashPreview::decode(bytes, converter, &error);
    if (shown.isNull()) {
        err << "Cannot decode the stream: " << error << "\n";
        return 4;
    }
    if (!shown.save(args.at(1), "PNG")) {
        err << "Cannot write " << args.at(1) << "\n";
        return 3;
    }
    err << bytes.size() << " bytes, " << converter.width() << "x" << converter.height() << "\n";
    return 0;
}
