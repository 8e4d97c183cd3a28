// Qt Quick Test runner for the device pages (maintenance dashboard, display
// layout, splash screen, board configuration) loaded from the program's
// resources. A stand-in controller published as "runner" serves a small
// parameter list and records every call the pages make.
#include "models/ParameterListModel.h"
#include "ui/UiResources.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QJsonArray>
#include <QJsonObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSize>
#include <QtQuickTest>

class StandInRunner : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList engineNames MEMBER m_engines)
    Q_PROPERTY(QVariantList engineCalls MEMBER m_engineCalls)
    Q_PROPERTY(QVariantList configCalls MEMBER m_configCalls)
    // What configDifference answers: the lines of a write.
    Q_PROPERTY(QStringList differenceLines MEMBER m_differenceLines)
    Q_PROPERTY(QVariantList eepromCalls MEMBER m_eepromCalls)
    Q_PROPERTY(int maintenanceResets MEMBER m_maintenanceResets)
    Q_PROPERTY(QSize pictureLimit MEMBER m_pictureLimit)
    Q_PROPERTY(int uploads MEMBER m_uploads)
    Q_PROPERTY(int clears MEMBER m_clears)
    Q_PROPERTY(QStringList loads MEMBER m_loads)
    Q_PROPERTY(bool acceptSplash MEMBER m_acceptSplash)
    Q_PROPERTY(bool hasSplash MEMBER m_hasSplash)

public:
    StandInRunner()
    {
        // Row order after sorting by name: BOOST, CLT, RPM, SPEED.
        QVariantList items;
        items << item(12, 2024, "RPM", "rpm", "Engine speed")
              << item(13, 2024, "SPEED", "km/h", "Road speed")
              << item(5, 2024, "CLT", "C", "Coolant")
              << item(11, 2024, "BOOST", "bar", "Boost pressure");
        m_model->setParameters(items);
    }

    // A child, so the engine never takes it over (it deletes parentless results).
    Q_INVOKABLE ParameterListModel *paramListModel() { return m_model; }
    Q_INVOKABLE QStringList engines() const { return m_engines; }
    Q_INVOKABLE QString describeParam(uint hash, bool short_descr = true) const
    {
        return short_descr ? QString("short %1").arg(hash)
                           : QString("<table><tr><td>long %1</td></tr></table>").arg(hash);
    }
    Q_INVOKABLE bool canUploadSplash() const { return m_hasSplash; }
    Q_INVOKABLE int positionsOf(int disp) const { return disp == 1 ? 13 : 6; }
    Q_INVOKABLE QString splashInfo() const
    {
        return m_hasSplash ? QString("picture\n124x88") : QString("No image");
    }
    Q_INVOKABLE QSize splashSize() const { return m_pictureLimit; }
    Q_INVOKABLE bool loadSplash(QString file)
    {
        m_loads << file;
        // Like the controller: the previous picture is gone whatever happens.
        m_hasSplash = m_acceptSplash;
        return m_acceptSplash;
    }
    Q_INVOKABLE QVariantMap configDifference(QVariantList config, QVariantMap board)
    {
        Q_UNUSED(config)
        Q_UNUSED(board)
        return {{"ok", true}, {"lines", m_differenceLines}, {"error", QString()}};
    }
    Q_INVOKABLE void reset()
    {
        m_differenceLines = QStringList{"Position 3: a \u2192 b"};
        m_engineCalls.clear();
        m_configCalls.clear();
        m_eepromCalls.clear();
        m_maintenanceResets = 0;
        m_pictureLimit = QSize(124, 88);
        m_loads.clear();
        m_uploads = m_clears = 0;
        m_acceptSplash = m_hasSplash = false;
    }

public slots:
    void setEngineByName(QString ename, QVariantList current_config)
    {
        m_engineCalls << QVariant(QVariantMap{{"name", ename}, {"config", current_config}});
    }
    void updateConfig(QVariantList config, QVariantMap brdcfg)
    {
        m_configCalls << QVariant(QVariantMap{{"config", config}, {"board", brdcfg}});
    }
    void updateEeeprom(uint km = 0, uint time = 0)
    {
        m_eepromCalls << QVariant(QVariantList{km, time});
    }
    void resetMaintenance() { ++m_maintenanceResets; }
    void uploadSplash() { ++m_uploads; }
    void clearSplash()
    {
        ++m_clears;
        m_hasSplash = false;
    }

private:
    static QVariant item(int pid, int cid, const QString &name, const QString &units,
                         const QString &comment)
    {
        return QJsonObject{{"pid", pid},
                           {"cid", cid},
                           {"name", name},
                           {"units", units},
                           {"comment", QJsonObject{{"en", comment}}},
                           {"scale", QJsonObject{{"div", 1}, {"mul", 1}}},
                           {"engines", QJsonArray{0}}};
    }

    ParameterListModel *m_model = new ParameterListModel(this);
    QStringList m_engines;
    QVariantList m_engineCalls;
    QVariantList m_configCalls;
    QStringList m_differenceLines;
    QVariantList m_eepromCalls;
    int m_maintenanceResets = 0;
    QSize m_pictureLimit{124, 88};
    QStringList m_loads;
    int m_uploads = 0;
    int m_clears = 0;
    bool m_acceptSplash = false;
    bool m_hasSplash = false;
};

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable()
    {
        initUiResources();
        // A user's pictures folder exists; the widget file dialog opens elsewhere when the
        // folder it is given does not.
        QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        qmlRegisterUncreatableType<ParameterListModel>(
            "ParameterListModel", 1, 0, "ParameterListModel",
            "Cannot create the ParameterListModel instance");
        engine->rootContext()->setContextProperty("runner", &m_runner);
    }

private:
    StandInRunner m_runner;
};

// A widgets application, as the program is: the file and message dialogs are widget
// dialogs there (under Qt 6 there are no others).
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The pages keep places in settings, as in the program; here in the test's own folders.
    QStandardPaths::setTestModeEnabled(true);
    app.setOrganizationName(QStringLiteral("VeltroTest"));
    app.setApplicationName(QStringLiteral("tst_devpages"));
    QTEST_SET_MAIN_SOURCE_PATH
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "devpages", QUICK_TEST_SOURCE_DIR, &setup);
}

#include "tst_devpages.moc"
