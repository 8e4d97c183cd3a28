// The update-checking edition's controller against the simulated dashboard: discovery goes
// from the device information straight to the table read, the board record and the
// maintenance values are never touched, a configuration write covers the table only.

#include "tests/common/RunnerRecorder.h"
#include "tests/common/SimSession.h"

#include "models/ParameterListModel.h"

#include <QMetaEnum>
#include <QTest>

namespace {

// Engine speed at position 0 and coolant temperature at position 4, as the dashboard keeps
// them (the same records the current edition writes).
const QByteArray rpmRecord = QByteArray::fromHex("0C00E807000000040001010052504D2020202072706D");
const QByteArray cltRecord = QByteArray::fromHex("0500E80700D8FF0100010104434C542020202020B043");

bool touchesBoardOrMaintenance(const QByteArray &frame)
{
    const quint16 word = quint16(quint8(frame.at(0)) | quint8(frame.at(1)) << 8);
    const int address = word & 0x3FFF;
    return (word != 0xFFFF && address >= 0x0200 && address < 0x0400) ||
           (word >= 0x7FFB && word <= 0x7FFE) || (address >= 0x3FFB && word != 0xFFFF);
}

} // namespace

class tst_EditionController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void interfaceOfTheEdition();
    void discoveryReadsTableOnly_data();
    void discoveryReadsTableOnly();
    void writeCoversTableOnly();
    void acknowledgementsOutsideTransfersIgnored();
    void engineChosenByName();

private:
    std::unique_ptr<SimSession> s;
};

void tst_EditionController::init()
{
    s = std::make_unique<SimSession>();
    QVERIFY2(s->start(), qPrintable(s->errorString()));
    s->dashboard().eraseMemory();
    s->dashboard().setDisp(0);
    s->dashboard().setCount(2);
    s->setMemory(0, rpmRecord + cltRecord);
    s->setMemory(0x200, SimSession::boardRecord(6500, 2));
    s->runner().loadDefaultConfig();
}

void tst_EditionController::cleanup()
{
    s.reset();
}

void tst_EditionController::interfaceOfTheEdition()
{
    // The pages of this edition call these by name; what the edition lacks must not be
    // reachable from them either.
    const QMetaObject &mo = CFGRunner::staticMetaObject;
    QCOMPARE(s->runner().version(), QStringLiteral("0.1.0"));
    QCOMPARE(mo.property(mo.indexOfProperty("version")).read(&s->runner()).toString(),
             QStringLiteral("0.1.0"));

    const QMetaEnum states = QMetaEnum::fromType<CFGRunner::State>();
    QCOMPARE(states.keyCount(), 7);
    QCOMPARE(states.valueToKey(6), "Rebooting");
    QCOMPARE(states.keyToValue("Exporting"), -1);
    QCOMPARE(mo.indexOfEnumerator("Phase"), -1);
    QCOMPARE(mo.indexOfEnumerator("Param"), -1);

    for (const char *present : {"setEngine(QString,QVariantList)", "updateConfig(QVariantList)",
                                "requestConfig()", "uploadSplash()", "toDFU()", "lauchDFUUtil()"})
        QVERIFY2(mo.indexOfMethod(present) >= 0, present);
    for (const char *absent :
         {"boardConfig(QVariantMap)", "deviceParam(Param,QVariant)",
          "setEngineByName(QString,QVariantList)", "setEngine(int,QVariantList)",
          "updateConfig(QVariantList,QVariantMap)", "updateEeeprom(uint,uint)", "mcuReset()",
          "resetMaintenance()",
          "listSavedConfigs()", "exportConfig(bool)", "importConfig(QString,bool)",
          "openConfigStorage()"})
        QVERIFY2(mo.indexOfMethod(absent) < 0, absent);
}

void tst_EditionController::discoveryReadsTableOnly_data()
{
    QTest::addColumn<int>("baud");
    QTest::newRow("fixed rate") << 38400;
    QTest::newRow("detected rate") << 0;
}

void tst_EditionController::discoveryReadsTableOnly()
{
    QFETCH(int, baud);
    RunnerRecorder rec(&s->runner());
    s->clearFrames();
    QVERIFY(s->connectRunner(baud));

    // FF FF, then the 44-byte table in 8 chunks: nothing at 0x0200, no maintenance values.
    QList<QByteArray> expected{QByteArray::fromHex("FFFF")};
    for (int a = 0; a < 44; a += 6)
        expected << SimSession::blockRead(a);
    QCOMPARE(s->hostFrames(), expected);

    QCOMPARE(rec.names({"connected", "stateChanged", "deviceInfo", "deviceConfig", "alert"}),
             QStringList({"connectedToHost", "stateChanged:Connecting", "stateChanged:Reading",
                          "deviceInfo", "stateChanged:Reading", "alert:Parsed the device config",
                          "deviceConfig", "stateChanged:Idle"}));
    const QVariantList config = rec.last("deviceConfig").toList();
    QCOMPARE(config.size(), 6);
    QCOMPARE(config.at(0).toMap().value("descr").toString().isEmpty(), false);
    QCOMPARE(config.at(4).toMap().value("active").toBool(), true);
    QCOMPARE(config.at(1).toMap().value("active").toBool(), false);
    QCOMPARE(s->runner().getState(), CFGRunner::Idle);
}

void tst_EditionController::writeCoversTableOnly()
{
    QVERIFY(s->connectRunner());
    CFGRunner &runner = s->runner();
    const QByteArray boardBefore = s->memory(0x200, 18);

    // Coolant temperature moves to position 1 and engine speed to position 3.
    const QVariantList config =
        s->configList(6, {{1, s->catalogueItem("CLT")}, {3, s->catalogueItem("RPM")}});
    RunnerRecorder rec(&runner);
    s->clearFrames();
    QVERIFY(QMetaObject::invokeMethod(&runner, "updateConfig", Q_ARG(QVariantList, config)));
    QVERIFY(s->waitForState(CFGRunner::Idle));

    // Two records, 44 bytes: block writes at 0, 6, ..., 42 and nothing after them.
    const auto frames = s->hostFrames();
    QCOMPARE(frames.size(), 8);
    for (int i = 0; i < frames.size(); ++i)
        QCOMPARE(frames.at(i).left(2), SimSession::blockWrite(6 * i, QByteArray()).left(2));
    QCOMPARE(s->memory(0x200, 18), boardBefore);
    QCOMPARE(rec.names({"stateChanged"}),
             QStringList({"stateChanged:Writing", "stateChanged:Idle"}));

    // The re-read 200 ms later brings the new layout back, again without the board record.
    rec.clear();
    s->clearFrames();
    QVERIFY(s->waitForState(CFGRunner::Reading, 2000));
    QVERIFY(s->waitForIdle());
    const auto reads = s->hostFrames();
    QCOMPARE(reads.size(), 8);
    for (const QByteArray &f : reads)
        QVERIFY2(!touchesBoardOrMaintenance(f), f.toHex(' ').constData());
    const QVariantList reread = rec.last("deviceConfig").toList();
    QCOMPARE(reread.at(1).toMap().value("hid"), config.at(1).toMap().value("hid"));
    QCOMPARE(reread.at(3).toMap().value("hid"), config.at(3).toMap().value("hid"));
    QCOMPARE(reread.at(0).toMap().value("active").toBool(), false);
    QCOMPARE(reread.at(4).toMap().value("active").toBool(), false);
}

void tst_EditionController::acknowledgementsOutsideTransfersIgnored()
{
    QVERIFY(s->connectRunner());
    CFGRunner &runner = s->runner();
    // Every reply line twice: each chunk's second acknowledgement comes after the next
    // chunk went out and must not send anything, nor must the last one, which arrives
    // when the write is over.
    s->sim().faults().addFault(SimFault::DuplicateReply, 1, 0);
    const QVariantList config = s->configList(6, {{0, s->catalogueItem("RPM")}});
    s->clearFrames();
    QVERIFY(QMetaObject::invokeMethod(&runner, "updateConfig", Q_ARG(QVariantList, config)));
    QVERIFY(s->waitForState(CFGRunner::Idle));
    QCOMPARE(s->hostFrames().size(), 4); // 22 bytes in 4 chunks, none sent twice

    // The last chunk's acknowledgement once more while Idle, and again while Reading.
    RunnerRecorder rec(&runner);
    const QByteArray ack = QByteArray::fromHex("300012000000FFFF");
    QVERIFY(QMetaObject::invokeMethod(&runner, "elm_read", Q_ARG(QByteArray, ack)));
    QCOMPARE(runner.getState(), CFGRunner::Idle);
    QVERIFY(s->waitForState(CFGRunner::Reading, 2000));
    QVERIFY(QMetaObject::invokeMethod(&runner, "elm_read", Q_ARG(QByteArray, ack)));
    QVERIFY(s->waitForIdle());
    const auto frames = s->hostFrames();
    QCOMPARE(frames.size(), 4 + 4);
    for (const QByteArray &f : frames.mid(4))
        QCOMPARE(quint8(f.at(1)) & 0xC0, 0x40); // the re-read's block reads, no write
    QCOMPARE(rec.names({"stateChanged"}),
             QStringList({"stateChanged:Reading", "stateChanged:Idle"}));
}

void tst_EditionController::engineChosenByName()
{
    QVERIFY(s->connectRunner());
    CFGRunner &runner = s->runner();
    const QStringList engines = runner.engines();
    QCOMPARE(engines.size(), 4);
    RunnerRecorder rec(&runner);

    // The catalogue's turbo and exhaust values are not offered for every engine: choosing
    // the diesel by name empties the position of the catalytic converter temperature
    // (petrol only) and keeps the others where they are.
    const QVariantList config = s->configList(6, {{0, s->catalogueItem("BOOST")},
                                                  {1, s->catalogueItem("CAT")},
                                                  {2, s->catalogueItem("RPM")}});
    QVERIFY(QMetaObject::invokeMethod(&runner, "setEngine", Q_ARG(QString, engines.at(3)),
                                      Q_ARG(QVariantList, config)));
    QCOMPARE(rec.count("deviceConfig"), 1);
    const QVariantList kept = rec.last("deviceConfig").toList();
    QCOMPARE(kept.size(), 6);
    QCOMPARE(kept.at(0).toMap().value("hid"), config.at(0).toMap().value("hid"));
    QCOMPARE(kept.at(1).toMap().value("active").toBool(), false);
    QCOMPARE(kept.at(2).toMap().value("hid"), config.at(2).toMap().value("hid"));
    const int dieselRows = runner.paramListModel()->rowCount();

    // A name the catalogue does not know selects the generic engine, which offers all.
    rec.clear();
    QVERIFY(QMetaObject::invokeMethod(&runner, "setEngine", Q_ARG(QString, QStringLiteral("V12")),
                                      Q_ARG(QVariantList, config)));
    QCOMPARE(rec.count("deviceConfig"), 0);
    QVERIFY(runner.paramListModel()->rowCount() > dieselRows);
}

QTEST_GUILESS_MAIN(tst_EditionController)
#include "tst_editioncontroller.moc"
