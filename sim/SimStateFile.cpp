#include "sim/SimStateFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {
const char kFormat[] = "kx4-sim-state";
constexpr int kFormatVersion = 1;

const struct
{
    const char *key;
    SimDashboard::MaintenanceValue value;
} kValues[] = {
    {"engineTime", SimDashboard::EngineTime},
    {"savedEngineTime", SimDashboard::SavedEngineTime},
    {"odometer", SimDashboard::Odometer},
    {"savedOdometer", SimDashboard::SavedOdometer},
};

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}
} // namespace

bool SimStateFile::load(const QString &path, SimDashboard &dashboard, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    if (file.size() > 16 * 1024 * 1024)
        return fail(error, QStringLiteral("%1: too large for a state file").arg(path));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject())
        return fail(
            error, QStringLiteral("%1: not a state file (%2)").arg(path, parseError.errorString()));
    const QJsonObject o = doc.object();
    if (o.value(QLatin1String("format")).toString() != QLatin1String(kFormat) ||
        o.value(QLatin1String("version")).toInt() != kFormatVersion) {
        return fail(error, QStringLiteral("%1: not a state file of this simulator").arg(path));
    }
    const QJsonValue memoryValue = o.value(QLatin1String("memory"));
    const auto decoded = QByteArray::fromBase64Encoding(memoryValue.toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!memoryValue.isString() || !decoded)
        return fail(error, QStringLiteral("%1: the memory is not readable").arg(path));
    const QJsonObject values = o.value(QLatin1String("values")).toObject();
    for (const auto &v : kValues) {
        const double d = values.value(QLatin1String(v.key)).toDouble(-1);
        if (d < 0 || d > 4294967295.0 || d != double(qint64(d)))
            return fail(error,
                        QStringLiteral("%1: bad value \"%2\"").arg(path, QLatin1String(v.key)));
    }

    // Everything checked: only now change the dashboard.
    dashboard.eraseMemory();
    dashboard.writeMemory(0, decoded.decoded.left(dashboard.memory().size()));
    for (const auto &v : kValues)
        dashboard.setValue(v.value, quint32(values.value(QLatin1String(v.key)).toDouble()));
    dashboard.markSaved();
    return true;
}

bool SimStateFile::save(const QString &path, const SimDashboard &dashboard, QString *error)
{
    QJsonObject values;
    for (const auto &v : kValues)
        values.insert(QLatin1String(v.key), double(dashboard.value(v.value)));
    QJsonObject o;
    o.insert(QLatin1String("format"), QLatin1String(kFormat));
    o.insert(QLatin1String("version"), kFormatVersion);
    o.insert(QLatin1String("pages"), dashboard.pages());
    o.insert(QLatin1String("memory"), QString::fromLatin1(dashboard.memory().toBase64()));
    o.insert(QLatin1String("values"), values);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    file.write(QJsonDocument(o).toJson());
    if (!file.commit())
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    return true;
}
