// Layout profiles for the device page and the command line: the display layout and the
// board settings as the pages hold them, saved to and loaded from a readable file. Loading
// only hands the choices back; nothing reaches the dashboard until updateConfig.

#include "runner/CFGRunner.h"

#include "config/LayoutProfile.h"

#include <QUrl>

namespace {

// The pages pass file dialog URLs, the command line plain paths.
QString localPath(const QString &file)
{
    const QUrl url(file, QUrl::StrictMode);
    return url.isLocalFile() ? url.toLocalFile() : file;
}

} // namespace

bool CFGRunner::saveLayout(QString file, QString engine, QVariantList config, QVariantMap board)
{
    const LayoutProfile::Layout layout =
        LayoutProfile::fromPages(engine, displayPositions(), config, board);
    QString error;
    if (!LayoutProfile::save(localPath(file),
                             LayoutProfile::encode(layout, catalogueItems, version()), &error)) {
        emit alert(error);
        return false;
    }
    return true;
}

QVariantMap CFGRunner::loadLayout(QString file)
{
    LayoutProfile::Layout layout;
    QString note;
    QString error;
    if (!LayoutProfile::load(localPath(file), engineNames, catalogueItems, displayPositions(),
                             &layout, &note, &error)) {
        emit alert(error);
        return QVariantMap();
    }
    if (!note.isEmpty())
        emit alert(note);
    return QVariantMap{
        {QStringLiteral("engine"), layout.engine},
        {QStringLiteral("engineIndex"), layout.engineIndex},
        {QStringLiteral("config"), LayoutProfile::configList(layout, catalogueItems)},
        {QStringLiteral("board"), layout.board}};
}
