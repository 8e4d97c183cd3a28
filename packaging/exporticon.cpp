// kx4-exporticon: writes the frames of the program's .ico as the PNG files of a
// freedesktop icon theme, so the desktop entry shows the same mark as the
// window. Run by the build:
//   kx4-exporticon lumarec.ico <theme dir> <name> 16 32 48 ...
// writes <theme dir>/<N>x<N>/apps/<name>.png for every size N, each from the
// .ico frame of exactly that size; a missing size is an error, not a blurry
// rescale.

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QMap>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv); // loads the image plug-ins (the .ico reader)
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: kx4-exporticon <icon.ico> <theme dir> <name> <size>...\n");
        return 2;
    }

    QImageReader reader(args.at(1));
    QMap<int, QImage> frames;
    do {
        const QImage frame = reader.read();
        if (frame.isNull())
            break;
        if (frame.width() == frame.height())
            frames.insert(frame.width(), frame);
    } while (reader.jumpToNextImage());
    if (frames.isEmpty()) {
        std::fprintf(stderr, "kx4-exporticon: cannot read %s: %s\n", qPrintable(args.at(1)),
                     qPrintable(reader.errorString()));
        return 1;
    }

    for (int i = 4; i < args.size(); ++i) {
        const int size = args.at(i).toInt();
        if (!frames.contains(size)) {
            std::fprintf(stderr, "kx4-exporticon: %s has no %dx%d frame\n", qPrintable(args.at(1)),
                         size, size);
            return 1;
        }
        const QString dir = QString("%1/%2x%2/apps").arg(args.at(2)).arg(size);
        const QString file = QString("%1/%2.png").arg(dir, args.at(3));
        if (!QDir().mkpath(dir) || !frames.value(size).save(file, "PNG")) {
            std::fprintf(stderr, "kx4-exporticon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
