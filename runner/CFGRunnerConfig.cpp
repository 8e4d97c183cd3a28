// The records as the pages see them: the configuration list built from the parameter
// table read, the board record's state, and the engine selection. The transfers are in
// ConfigReadOperation.cpp and ConfigWriteOperation.cpp.

#include "config/BoardConfig.h"
#include "runner/CFGRunner.h"

#include "config/ParameterCatalogue.h"
#include "models/ParameterListModel.h"

#include <QJsonArray>

int CFGRunner::displayPositions() const
{
    return positionsOf(devInfo.value(QStringLiteral("disp")).toInt());
}

bool CFGRunner::boardValid() const
{
    return BoardConfig::isValid(boardImage);
}

QByteArray CFGRunner::boardToBytes(QVariantMap board)
{
    return BoardConfig::toBytes(board);
}

quint32 CFGRunner::matchCatalogueItem(quint16 pid, quint16 cid, quint16 div) const
{
    return ParameterCatalogue::matchRecord(catalogueItems, pid, cid, div, engineIndex);
}

void CFGRunner::publishDeviceConfig()
{
    if (devConfig.fromByteArray(paramImage)) {
        emit alert(tr("Parsed the device config"));
    } else {
        emit alert(tr("Device config is corrupted"));
        devConfig.clear();
    }

    const int positions = displayPositions();
    const QVariantMap empty{{QStringLiteral("active"), false},
                            {QStringLiteral("hid"), 0},
                            {QStringLiteral("descr"), QString()}};
    QVariantList list;
    for (int i = 0; i < positions; ++i)
        list.append(empty);

    for (const ConfigParameter &record : devConfig.parameters()) {
        if (record.disp.num != 1 || record.disp.pos >= positions)
            continue;
        const quint32 hid = matchCatalogueItem(record.pid, record.cid, record.math.div);
        if (hid == 0)
            continue;
        list[record.disp.pos] = QVariantMap{{QStringLiteral("active"), true},
                                            {QStringLiteral("hid"), uint(hid)},
                                            {QStringLiteral("descr"), describeParam(hid, true)}};
    }
    emit deviceConfig(list);
}

void CFGRunner::setEngine(int engine, QVariantList current_config)
{
    engineIndex = engine;
    QSet<uint> ids;
    paramList->setParameters(parameterList(&ids));

    // An entry the new engine does not offer leaves its position empty; the list index is
    // the display position, so the entries after it keep theirs.
    QVariantList result;
    bool changed = false;
    for (const QVariant &entry : qAsConst(current_config)) {
        const QVariantMap map = entry.toMap();
        if (map.value(QStringLiteral("active")).toBool() &&
            !ids.contains(map.value(QStringLiteral("hid")).toUInt())) {
            changed = true;
            result.append(QVariantMap{{QStringLiteral("active"), false},
                                      {QStringLiteral("hid"), 0},
                                      {QStringLiteral("descr"), QString()}});
            continue;
        }
        result.append(entry);
    }
    if (changed)
        emit deviceConfig(result);
}

void CFGRunner::setEngineByName(QString ename, QVariantList current_config)
{
    for (auto it = engineNames.cbegin(); it != engineNames.cend(); ++it) {
        if (it.value() == ename) {
            setEngine(it.key(), current_config);
            return;
        }
    }
    setEngine(0, current_config);
}

#if KX4_UPDATE_EDITION
// The update-checking edition's pages pick the engine by name and write the table only.
void CFGRunner::setEngine(QString engine, QVariantList current_config)
{
    setEngineByName(engine, current_config);
}

void CFGRunner::updateConfig(QVariantList config)
{
    updateConfig(config, QVariantMap());
}
#endif
