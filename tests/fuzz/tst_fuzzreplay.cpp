// Every input kept under fuzz/corpus/<target>/ and fuzz/regressions/<target>/ run once
// through its fuzz target: the regressions are the inputs that once crashed, hung or
// broke an invariant, and must now pass; the corpus keeps the targets themselves honest.

#include "fuzz/harness/FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <QTest>

using FuzzTarget = int (*)(const uint8_t *, size_t);
Q_DECLARE_METATYPE(FuzzTarget)

class tst_FuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void replay_data();
    void replay();
};

void tst_FuzzReplay::replay_data()
{
    QTest::addColumn<FuzzTarget>("target");
    QTest::addColumn<QString>("file");

    const QList<QPair<QString, FuzzTarget>> targets = {
        {QStringLiteral("link_receive"), fuzzLinkReceive},
        {QStringLiteral("runner_replies"), fuzzRunnerReplies},
        {QStringLiteral("backup_file"), fuzzBackupFile},
        {QStringLiteral("scrambler"), fuzzScrambler},
        {QStringLiteral("image_load"), fuzzImageLoad},
    };
    const QString root = qEnvironmentVariable("KX4_FUZZ_INPUTS");
    QVERIFY2(QDir(root).exists(), "KX4_FUZZ_INPUTS names no folder");
    int rows = 0;
    for (const auto &target : targets) {
        for (const char *kind : {"regressions", "corpus"}) {
            const QDir dir(root + QLatin1Char('/') + QLatin1String(kind) + QLatin1Char('/') +
                           target.first);
            const auto files = dir.entryInfoList(QDir::Files, QDir::Name);
            for (const QFileInfo &file : files) {
                const QString name = target.first + QLatin1Char('/') + QLatin1String(kind) +
                                     QLatin1Char('/') + file.fileName();
                QTest::newRow(qPrintable(name)) << target.second << file.filePath();
                ++rows;
            }
        }
    }
    QVERIFY(rows > 0);
}

void tst_FuzzReplay::replay()
{
    QFETCH(FuzzTarget, target);
    QFETCH(QString, file);
    QFile input(file);
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    // A broken invariant aborts the program, naming it; getting here is the pass.
    QCOMPARE(target(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), 0);
}

QTEST_MAIN(tst_FuzzReplay)
#include "tst_fuzzreplay.moc"
