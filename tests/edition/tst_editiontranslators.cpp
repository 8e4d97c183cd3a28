// Language at start-up in the update-checking edition: the stored language, or English
// when none is stored, whatever the system speaks; nothing is stored back, and only the
// program's own translation is installed, never the framework's.

#include "app/Translators.h"
#include "ui/UiResources.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTranslator>
#include <QtTest>

class tst_EditionTranslators : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName("Quorvel");
        QCoreApplication::setApplicationName("VeltroKX4");
        initUiResources();
    }
    void init() { QSettings().clear(); }

    void languageChoice_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("russian");
        const QLocale ru(QLocale::Russian, QLocale::Russia);
        QTest::newRow("nothing stored, Russian system: English") << QVariant() << false;
        QTest::newRow("empty text counts as nothing stored") << QVariant(QString()) << false;
        QTest::newRow("stored ru") << QVariant("ru") << true;
        QTest::newRow("stored ru_RU selects ru") << QVariant("ru_RU") << true;
        QTest::newRow("stored en") << QVariant("en") << false;
    }

    void languageChoice()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, russian);
        if (stored.isValid())
            QSettings().setValue("language", stored);

        QObject parent;
        QTranslator *app = installTranslators(&parent, "lang", QLocale(QLocale::Russian));
        // What was stored stays as it was; nothing is added.
        QCOMPARE(QSettings().contains("language"), stored.isValid());
        QCOMPARE(QSettings().value("language"), stored.isValid() ? stored : QVariant());
        QVERIFY(parent.findChildren<QTranslator *>().isEmpty());

        QCOMPARE(app != nullptr, russian);
        const QString closed = QCoreApplication::translate("CFGRunner", "Connection closed");
        QCOMPARE(closed == QStringLiteral("Connection closed"), !russian);
        if (app) {
            QCoreApplication::removeTranslator(app);
            delete app;
        }
    }
};

QTEST_GUILESS_MAIN(tst_EditionTranslators)
#include "tst_editiontranslators.moc"
