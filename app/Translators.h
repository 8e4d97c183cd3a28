#pragma once

// Picks the interface language at start-up and installs the framework's and the
// application's translations for it. The language lives in the settings store
// under "language"; the first start stores the system's choice there.

#include <QLocale>
#include <QString>

class QObject;
class QTranslator;

// Installs the translations for the stored language: the framework's
// "qt_<lang>.qm" (owned by `parent`, kept for the application's life) and the
// first ":/<folder>/*_<lang>.qm" of the resources. Returns the application
// translator (no parent: the caller removes and deletes it) or nullptr.
QTranslator *installTranslators(QObject *parent, QString folder);

// The same with the system locale given, for tests.
QTranslator *installTranslators(QObject *parent, QString folder, const QLocale &systemLocale);

// The folder of the framework's own translations ("qt_<lang>.qm").
QString frameworkTranslationsPath();
