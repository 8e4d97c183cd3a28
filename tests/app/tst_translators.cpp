// Language choice at start-up: what is stored on the first start, which
// framework and application translations a stored language selects.
#include "app/Translators.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTranslator>
#include <QtTest>

class TstTranslators : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName("Veltro");
        QCoreApplication::setApplicationName("VeltroKX4");
    }

    void init() { QSettings().clear(); }

    void languageChoice_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QLocale>("system");
        QTest::addColumn<QString>("storedAfter");
        QTest::addColumn<QString>("qtFile"); // framework translation loaded, "" for none
        QTest::addColumn<bool>("appTranslation");

        const QLocale russian(QLocale::Russian, QLocale::Russia);
        const QLocale german(QLocale::German, QLocale::Germany);
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("first start, Russian system") << QVariant() << russian << "ru"
                                                     << "qt_ru.qm" << true;
        QTest::newRow("first start, German system") << QVariant() << german << "en"
                                                    << "qt_en.qm" << false;
        QTest::newRow("first start, English system") << QVariant() << english << "en"
                                                     << "qt_en.qm" << false;
        QTest::newRow("empty text counts as unset") << QVariant(QString()) << russian << "ru"
                                                    << "qt_ru.qm" << true;
        QTest::newRow("ru_RU stays stored, selects ru") << QVariant("ru_RU") << german << "ru_RU"
                                                        << "qt_ru.qm" << true;
        QTest::newRow("stored en wins over a Russian system") << QVariant("en") << russian << "en"
                                                              << "qt_en.qm" << false;
        QTest::newRow("language without any files") << QVariant("xx_YY") << russian << "xx_YY"
                                                    << "" << false;
    }

    void languageChoice()
    {
        QFETCH(QVariant, stored);
        QFETCH(QLocale, system);
        QFETCH(QString, storedAfter);
        QFETCH(QString, qtFile);
        QFETCH(bool, appTranslation);

        if (stored.isValid())
            QSettings().setValue("language", stored);

        QObject parent;
        QTranslator *app = installTranslators(&parent, "testlang", system);

        QCOMPARE(QSettings().value("language").toString(), storedAfter);

        const QList<QTranslator *> framework = parent.findChildren<QTranslator *>();
        if (qtFile.isEmpty() || !QFileInfo::exists(frameworkTranslationsPath() + "/" + qtFile)) {
            QVERIFY(framework.isEmpty());
        } else {
            QCOMPARE(framework.size(), 1);
            QCOMPARE(QFileInfo(framework.first()->filePath()).fileName(), qtFile);
        }

        QCOMPARE(app != nullptr, appTranslation);
        const QString closed = QCoreApplication::translate("CFGRunner", "Connection closed");
        if (appTranslation) {
            QVERIFY(!app->parent());
            QCOMPARE(QFileInfo(app->filePath()).fileName(), QString("kx4test_ru.qm"));
            QCOMPARE(closed, QString::fromUtf8("Соединение закрыто"));
            QCoreApplication::removeTranslator(app);
            delete app;
        } else {
            QCOMPARE(closed, QString("Connection closed"));
        }
        // `parent` takes the framework translator with it.
    }

    // The program's own resources have no translations: nothing is returned,
    // the framework's translation still comes.
    void noApplicationFolder()
    {
        QSettings().setValue("language", "ru");
        QObject parent;
        QCOMPARE(installTranslators(&parent, "lang", QLocale(QLocale::Russian)), nullptr);
        if (!QFileInfo::exists(frameworkTranslationsPath() + "/qt_ru.qm"))
            QSKIP("the framework's translations (qttranslations5-l10n, qt6-translations-l10n) are "
                  "not installed");
        QCOMPARE(parent.findChildren<QTranslator *>().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TstTranslators)
#include "tst_translators.moc"
