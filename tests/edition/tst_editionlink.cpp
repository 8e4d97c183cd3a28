// Baud-rate detection in the update-checking edition, against the simulated adapter: the
// rate is found and the port stays open at it, without the warm start and reopen of the
// current edition, so the link never says disconnected().

#include "link/ELM327IOBase.h"
#include "sim/PtySimulator.h"

#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

class tst_EditionLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The line stays at the rate detection found.
        QSettings().setValue(QStringLiteral("Link/FastTransfers"), false);
    }
    void detectionKeepsPortOpen_data();
    void detectionKeepsPortOpen();
};

void tst_EditionLink::detectionKeepsPortOpen_data()
{
    QTest::addColumn<int>("adapterRate");
    QTest::addColumn<bool>("extended");
    QTest::newRow("38400") << 38400 << false;
    QTest::newRow("115200, extended") << 115200 << true;
}

void tst_EditionLink::detectionKeepsPortOpen()
{
    QFETCH(int, adapterRate);
    QFETCH(bool, extended);
    PtySimulator sim;
    sim.setBaudRate(adapterRate);
    sim.adapter().setKind(extended ? SimAdapter::Extended : SimAdapter::Clone);
    QVERIFY(sim.start());
    qputenv("KX4_EXTRA_PORTS", sim.slavePath().toLocal8Bit());

    ELM327IOBase link(nullptr);
    link.setStrictMode(true);
    QSignalSpy connected(&link, &ELM327IOBase::connected);
    QSignalSpy disconnected(&link, &ELM327IOBase::disconnected);
    QSignalSpy ready(&link, &ELM327IOBase::ready);
    QSignalSpy errors(&link, &ELM327IOBase::error);
    QSignalSpy reads(&link, &ELM327IOBase::read);
    QVERIFY(link.setup(sim.slavePath(), 0, true, extended));
    QVERIFY(link.isOpen());
    QCOMPARE(connected.count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 5000);
    QCOMPARE(disconnected.count(), 0);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(sim.clientBaudRate(), adapterRate);

    // Only the initialisation's own warm start: none right after the probing.
    QCOMPARE(sim.commands().count("atws"), 1);
    QCOMPARE(sim.commands().contains("st p33"), extended);

    link.writeHEX(QByteArray::fromHex("FFFF"));
    QTRY_COMPARE(reads.count(), 1);
    QCOMPARE(reads.first().first().toByteArray(), sim.dashboard().deviceInfoReply());
    QCOMPARE(disconnected.count(), 0);
    link.close();
    qunsetenv("KX4_EXTRA_PORTS");
}

QTEST_GUILESS_MAIN(tst_EditionLink)
#include "tst_editionlink.moc"
