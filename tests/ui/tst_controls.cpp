// Qt Quick Test runner for the controls and the connection/progress pages.
// The pages only call the controller; a stand-in published as "runner"
// records those calls and serves a port list the tests choose; the drop
// control gets a drop handler of its own.
#include "app/QDropTextHandler.h"
#include "link/TcpTransport.h"
#include "ui/UiResources.h"

#include <QFile>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QUrl>
#include <QtQuickTest>

class StandInRunner : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList ports MEMBER m_ports)
    Q_PROPERTY(int dfuLaunches MEMBER m_dfuLaunches)
public:
    Q_INVOKABLE QStringList availablePorts() const { return m_ports; }
    Q_INVOKABLE QStringList networkPorts() const { return {}; }
    Q_INVOKABLE bool isNetworkPort(const QString &port) const
    {
        return TcpTransport::isNetworkPort(TcpTransport::portForAddress(port));
    }
    Q_INVOKABLE void lauchDFUUtil() { ++m_dfuLaunches; }

private:
    QStringList m_ports;
    int m_dfuLaunches = 0;
};

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable() { initUiResources(); }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->rootContext()->setContextProperty("runner", &m_runner);
        engine->rootContext()->setContextProperty("q_dropHandler", &m_dropHandler);
        // A file one byte over what the drop handler takes; sparse, so it costs no disk.
        QFile large(m_scratch.filePath("large.bin"));
        if (large.open(QIODevice::WriteOnly))
            large.resize(QDropTextHandler::MaxFileSize + 1);
        engine->rootContext()->setContextProperty("largeFileUrl",
                                                  QUrl::fromLocalFile(large.fileName()).toString());
    }

private:
    StandInRunner m_runner;
    QDropTextHandler m_dropHandler;
    QTemporaryDir m_scratch;
};

QUICK_TEST_MAIN_WITH_SETUP(controls, Setup)

#include "tst_controls.moc"
