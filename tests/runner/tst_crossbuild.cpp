// Files written by the Qt 5 build and read by the Qt 6 one, and the other way round: a
// backup, a layout profile and a diagnostics report. Each build writes its own into
// <its test output>/exchange and reads those the other build left in its folder
// (KX4_OTHER_BUILD_OUTPUT); scripts/test runs the Qt 5 suite first, then the Qt 6 one.
// Against the same simulated dashboard both builds write the same backup, byte for byte.

#include "config/ParameterCatalogue.h"
#include "tests/common/SimSession.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The report's lines that say the same under either Qt: all but the times, the Qt and
// the system, and the traffic (whose times differ).
QStringList comparableLines(const QByteArray &report)
{
    QStringList kept;
    for (const QString &line : QString::fromUtf8(report).split('\n')) {
        if (line.startsWith("Program: ") || line.startsWith("Dashboard: ") ||
            line.startsWith("Adapter: ") || line.startsWith("  Kind: ") ||
            line.startsWith("  CAN/") || line.startsWith("  backup folder: "))
            kept << line;
    }
    return kept;
}

} // namespace

class TestCrossBuild : public QObject
{
    Q_OBJECT

    SimSession m_session;
    QString m_own;   // this build's exchange folder
    QString m_other; // the other build's, empty when it has not run

    CFGRunner &runner() { return m_session.runner(); }

    // Exports a backup and gives its path (the alert names it).
    QString exportBackup()
    {
        QSignalSpy alerts(&runner(), &CFGRunner::alert);
        if (!runner().exportConfig(true))
            return QString();
        const bool done = SimSession::waitUntil(
            [&] {
                for (const QList<QVariant> &a : alerts)
                    if (a.value(0).toString().startsWith("Export complete!"))
                        return true;
                return false;
            },
            30000);
        if (!done || runner().getState() != CFGRunner::Idle) {
            for (const QList<QVariant> &a : alerts)
                qWarning("alert: %s", qPrintable(a.value(0).toString()));
            return QString();
        }
        for (const QList<QVariant> &a : alerts) {
            const QString text = a.value(0).toString();
            const int at = text.indexOf("Saved as ");
            if (at >= 0)
                return QDir::fromNativeSeparators(text.mid(at + 9).trimmed());
        }
        return QString();
    }

    // The display layout the test saves: two positions from the shipped catalogue.
    QVariantList layoutConfig()
    {
        QVariantList config;
        const QList<quint32> items{
            ParameterCatalogue::parameterHash(12, 2024, "RPM"), 0, 0, 0, 0, 0};
        for (const quint32 hid : items) {
            if (hid == 0)
                config << QVariantMap{{"active", false}};
            else
                config << QVariantMap{
                    {"active", true}, {"hid", hid}, {"descr", runner().describeParam(hid)}};
        }
        return config;
    }

private slots:
    void initTestCase()
    {
        QSettings().clear();
        const QString output = qEnvironmentVariable("KX4_TEST_OUTPUT");
        QVERIFY(!output.isEmpty());
        m_own = output + "/exchange";
        QDir(m_own).removeRecursively();
        QVERIFY(QDir().mkpath(m_own));
        const QString other = qEnvironmentVariable("KX4_OTHER_BUILD_OUTPUT") + "/exchange";
        if (QFileInfo::exists(other + "/backup.bkp"))
            m_other = other;
        QVERIFY2(m_session.start(), qPrintable(m_session.errorString()));
        QVERIFY(m_session.connectRunner());
        runner().loadDefaultConfig();
        QVERIFY(!runner().engines().isEmpty());
    }

    void write()
    {
        const QString backup = exportBackup();
        QVERIFY2(!backup.isEmpty(), "no backup exported");
        QVERIFY(QFile::copy(backup, m_own + "/backup.bkp"));
        QVERIFY(runner().saveLayout(m_own + "/layout.json", "OBD-II (generic)", layoutConfig(),
                                    QVariantMap()));
        QVERIFY(!runner().loadLayout(m_own + "/layout.json").isEmpty());
        QCOMPARE(runner().saveDiagnostics(m_own + "/diagnostics.txt"), QString());
        QFile stamp(m_own + "/qt.txt");
        QVERIFY(stamp.open(QIODevice::WriteOnly));
        stamp.write(qVersion());
    }

    void readTheOtherBuilds()
    {
        if (m_other.isEmpty())
            QSKIP("the other Qt's build has not run its tests yet");
        const QByteArray otherQt = contentOf(m_other + "/qt.txt");
        qInfo("reading the files of the build with Qt %s", otherQt.constData());
        QVERIFY(otherQt.left(1) != QByteArray(qVersion()).left(1));

        // The backup: the same bytes, and the dashboard takes it.
        const QByteArray backup = contentOf(m_other + "/backup.bkp");
        QCOMPARE(backup.toHex(), contentOf(m_own + "/backup.bkp").toHex());
        QSignalSpy alerts(&runner(), &CFGRunner::alert);
        QVERIFY(runner().importConfigFile(m_other + "/backup.bkp", true));
        QVERIFY(SimSession::waitUntil(
            [&] {
                for (const QList<QVariant> &a : alerts)
                    if (a.value(0).toString().startsWith("Import finished"))
                        return true;
                return false;
            },
            60000));
        QTRY_COMPARE(runner().getState(), CFGRunner::Idle);

        // The layout profile: what the pages get from it.
        QSignalSpy refusals(&runner(), &CFGRunner::alert);
        const QVariantMap layout = runner().loadLayout(m_other + "/layout.json");
        QVERIFY2(!layout.isEmpty(),
                 qPrintable(refusals.isEmpty() ? QString() : refusals.first().value(0).toString()));
        QCOMPARE(layout, runner().loadLayout(m_own + "/layout.json"));
        QCOMPARE(layout.value("config").toList().value(0).toMap().value("hid").toUInt(),
                 ParameterCatalogue::parameterHash(12, 2024, "RPM"));

        // The diagnostics report: UTF-8 text saying the same of the same session.
        const QByteArray report = contentOf(m_other + "/diagnostics.txt");
        QVERIFY(report.startsWith("VeltroKX4 diagnostics report"));
        QVERIFY(report.contains("Qt: " + otherQt));
        QCOMPARE(comparableLines(report), comparableLines(contentOf(m_own + "/diagnostics.txt")));
        QVERIFY(comparableLines(report).size() >= 4);
    }
};

QTEST_MAIN(TestCrossBuild)
#include "tst_crossbuild.moc"
