// The built-in parameter catalogue as the interface sees it; the catalogue logic itself
// lives in config/ParameterCatalogue.

#include "runner/CFGRunner.h"

#include "config/ParameterCatalogue.h"
#include "models/ParameterListModel.h"

QVariantList CFGRunner::parameterList(QSet<uint> *ids, QSet<QString> *names)
{
    return ParameterCatalogue::parameterList(catalogueItems, engineIndex, ids, names);
}

QStringList CFGRunner::engines()
{
    return ParameterCatalogue::engineNames(engineNames);
}

QString CFGRunner::describeParam(uint hash, bool short_descr)
{
    return ParameterCatalogue::describe(catalogueItems, hash, short_descr);
}

void CFGRunner::loadDefaultConfig()
{
    loadCatalogue(ParameterCatalogue::defaultPath());
}

bool CFGRunner::loadCatalogue(const QString &fileName)
{
    const auto result = ParameterCatalogue::load(fileName, engineNames, catalogueItems);
    if (result != ParameterCatalogue::Loaded) {
        emit alert(ParameterCatalogue::loadErrorText(result));
        return false;
    }
    if (!engineNames.contains(engineIndex))
        setEngine(0, QVariantList());
    paramList->setParameters(parameterList());
    emit paramsUpdated();
    return true;
}
