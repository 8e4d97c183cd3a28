// Build-time packer: checks the readable catalogue JSON and writes it as the scrambled
// container the program carries as "://data/codes.dat".
//   kx4-packcatalogue <catalogue.json> <codes.dat>
// Exits non-zero (and writes nothing) when the source is not a usable catalogue.

#include "config/DataScrambler.h"
#include "config/ParameterCatalogue.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTextStream>

static int fail(const QString &message)
{
    QTextStream(stderr) << "kx4-packcatalogue: " << message << '\n';
    return 1;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return fail(QStringLiteral("usage: kx4-packcatalogue <catalogue.json> <codes.dat>"));

    QFile source(args.at(1));
    if (!source.open(QIODevice::ReadOnly))
        return fail(args.at(1) + QStringLiteral(": ") + source.errorString());
    const QByteArray json = source.readAll();

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (doc.isNull())
        return fail(QStringLiteral("%1: offset %2: %3")
                        .arg(args.at(1))
                        .arg(error.offset)
                        .arg(error.errorString()));
    if (!doc.isObject() || !doc.object().value(QLatin1String("engines")).isObject() ||
        !doc.object().value(QLatin1String("items")).isArray())
        return fail(args.at(1) +
                    QStringLiteral(": needs an \"engines\" object and an \"items\" array"));

    // Whitespace is the source's business; the program carries the compact form.
    const QByteArray compact = doc.toJson(QJsonDocument::Compact);
    DataScrambler scrambler;
    scrambler.setKeyFromPassphrase(ParameterCatalogue::passPhrase());
    scrambler.setCompressionMode(DataScrambler::Auto);
    scrambler.setIntegrityMode(DataScrambler::Checksum);
    const QByteArray blob = scrambler.encode(compact);
    if (scrambler.decode(blob) != compact)
        return fail(QStringLiteral("scrambled catalogue does not read back"));

    QSaveFile out(args.at(2));
    if (!out.open(QIODevice::WriteOnly) || out.write(blob) != blob.size() || !out.commit())
        return fail(args.at(2) + QStringLiteral(": ") + out.errorString());
    return 0;
}
