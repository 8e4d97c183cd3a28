#include "app/Translators.h"

#include "edition/Edition.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QTranslator>

Q_LOGGING_CATEGORY(lcTranslations, "kx4.app.translations", QtInfoMsg)

QTranslator *installTranslators(QObject *parent, QString folder)
{
    return installTranslators(parent, folder, QLocale::system());
}

QTranslator *installTranslators(QObject *parent, QString folder, const QLocale &systemLocale)
{
    QSettings settings;
    QString lang = settings.value("language").toString();
    if (lang.isEmpty() && Edition::LanguageFromSystem) {
        lang = systemLocale.language() == QLocale::Russian ? "ru" : "en";
        settings.setValue("language", lang);
    } else if (lang.isEmpty()) {
        // Until the user picks one in the language dialog.
        lang = "en";
    }
    // A stored "ru_RU" selects the "ru" files but stays stored as it is.
    lang = lang.section('_', 0, 0);

    if (Edition::LoadsFrameworkTranslation) {
        auto *qtTranslator = new QTranslator(parent);
        const QString qtFolder = frameworkTranslationsPath();
        if (qtTranslator->load(QString("qt_%1.qm").arg(lang), qtFolder)) {
            QCoreApplication::installTranslator(qtTranslator);
            qCDebug(lcTranslations) << "framework translation" << qtTranslator->filePath();
        } else {
            delete qtTranslator;
        }
    }

    const QString resourceDir = QString(":/%1/").arg(folder);
    const QStringList found =
        QDir(resourceDir).entryList({QString("*_%1.qm").arg(lang)}, QDir::NoFilter, QDir::Unsorted);
    if (found.isEmpty())
        return nullptr;

    auto *appTranslator = new QTranslator;
    if (!appTranslator->load(resourceDir + found.first())) {
        delete appTranslator;
        return nullptr;
    }
    QCoreApplication::installTranslator(appTranslator);
    qCDebug(lcTranslations) << "application translation" << appTranslator->filePath();
    return appTranslator;
}

QString frameworkTranslationsPath()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    return QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
}
