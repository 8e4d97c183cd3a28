// The backup file layer on its own: the bytes of a backup, the checks an import
// makes before anything is sent, the partial-then-renamed export file, and the
// storage folder's naming and listing.

#include "config/BackupFile.h"
#include "config/BackupStorage.h"
#include "config/BinaryJson.h"
#include "tests/backup/ScratchFiles.h"
#include "tests/common/NonRegularFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

QJsonObject boardInfo(int version = 3, int pages = 1, int disp = 1)
{
    return QJsonObject{{"version", version}, {"pages", pages}, {"count", 4},
                       {"disp", disp},       {"r4", 0},        {"r5", 7}};
}

QByteArray pagesOf(int pages)
{
    QByteArray bytes(pages * BackupFile::PageSize, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + i / 256);
    return bytes;
}

QByteArray wholeFile(const QJsonObject &info, bool counters)
{
    QByteArray file = BackupFile::encodeHead(info, counters) + pagesOf(info["pages"].toInt());
    if (counters)
        file += BackupFile::encodeCounters(123456, 789);
    return file;
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class TestBackupFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void headLayout_data();
    void headLayout();

    void loadRefusals_data();
    void loadRefusals();
    void loadReadsPagesAndCounters();

    void exportIsPartialUntilCommitted();
    void exportDiscardLeavesNothing();
    void exportCommitSkipsNameTakenMeanwhile();
    void exportRefusesPartialNameTaken();
    void exportWriteFailureIsReported();
    void stalePartialFilesGoAtTheNextExport();

    void nextFreeNameFillsGaps();
    void listing();

private:
    QTemporaryDir m_home;
    QString m_dir;
};

void TestBackupFile::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("Veltro");
    QCoreApplication::setApplicationName("VeltroKX4");
}

void TestBackupFile::init()
{
    m_dir = BackupStorage::folder();
    QVERIFY(m_dir.startsWith(m_home.path()));
    QDir(m_dir).removeRecursively();
    QVERIFY(BackupStorage::ensureFolder(m_dir));
}

void TestBackupFile::headLayout_data()
{
    QTest::addColumn<bool>("counters");
    QTest::newRow("without counters") << false;
    QTest::newRow("with counters") << true;
}

void TestBackupFile::headLayout()
{
    QFETCH(bool, counters);
    const QJsonObject info = boardInfo(5, 2, 0);
    const QByteArray head = BackupFile::encodeHead(info, counters);

    QCOMPARE(head.left(4), QByteArray::fromHex("01C0BE10"));
    QCOMPARE(int(head[4]), 1);
    QCOMPARE(int(head[5]), counters ? 1 : 0);
    QCOMPARE(head.mid(6, 2), QByteArray(2, '\0'));
    const quint32 n = qFromLittleEndian<quint32>(head.constData() + 8);
    QCOMPARE(head.size(), 12 + int(n));

    bool ok = false;
    QCOMPARE(BinaryJson::readObject(head.mid(12), &ok), info);
    QVERIFY(ok);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // The framework's own reader takes it too.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    const QJsonDocument back = QJsonDocument::fromBinaryData(head.mid(12), QJsonDocument::Validate);
    QT_WARNING_POP
    QVERIFY(back.isObject());
    QCOMPARE(back.object(), info);
#endif

    QCOMPARE(BackupFile::encodeCounters(0x01020304, 0xA0B0C0D0),
             QByteArray::fromHex("04030201D0C0B0A0"));
}

void TestBackupFile::loadRefusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<QString>("special"); // "fifo", "device" or "sparse" (3 GiB) file

    const QJsonObject info = boardInfo();
    const QByteArray good = wholeFile(info, true);
    const int head = BackupFile::encodeHead(info, false).size();
    auto patched = [](QByteArray bytes, int at, const QByteArray &with) {
        bytes.replace(at, with.size(), with);
        return bytes;
    };
    auto withInfo = [](const QByteArray &infoBytes) {
        QByteArray head = QByteArray::fromHex("01C0BE1001000000");
        QByteArray n(4, '\0');
        qToLittleEndian(quint32(infoBytes.size()), n.data());
        return head + n + infoBytes + pagesOf(1);
    };
    // The framework's binary JSON of the array [1, 2].
    const QByteArray arrayJson =
        QByteArray::fromHex("71626a730100000014000000040000000c0000002a0000004a000000");

    QTest::newRow("empty file") << QByteArray() << int(BackupFile::Corrupted) << QString();
    QTest::newRow("other magic and format")
        << patched(good, 3, QByteArray::fromHex("1102")) << int(BackupFile::NotBackup) << QString();
    QTest::newRow("info length past the end") << patched(good, 8, QByteArray::fromHex("FFFFFF7F"))
                                              << int(BackupFile::Corrupted) << QString();
    QTest::newRow("info is text JSON")
        << withInfo(QJsonDocument(info).toJson()) << int(BackupFile::Corrupted) << QString();
    QTest::newRow("info is a binary JSON array")
        << withInfo(arrayJson) << int(BackupFile::Corrupted) << QString();
    QTest::newRow("info damaged") << patched(good, 16, QByteArray(8, '\xEE'))
                                  << int(BackupFile::Corrupted) << QString();
    QTest::newRow("other version")
        << wholeFile(boardInfo(4, 1, 1), false) << int(BackupFile::OtherBoard) << QString();
    QTest::newRow("other pages") << wholeFile(boardInfo(3, 2, 1), false)
                                 << int(BackupFile::OtherBoard) << QString();
    // Board check comes before the size of the page area.
    QTest::newRow("other disp, truncated") << wholeFile(boardInfo(3, 1, 0), false).left(head + 10)
                                           << int(BackupFile::OtherBoard) << QString();
    QTest::newRow("counters flagged but cut")
        << good.left(good.size() - 1) << int(BackupFile::Corrupted) << QString();
    QTest::newRow("whole, with counters") << good << int(BackupFile::NoRefusal) << QString();
    QTest::newRow("whole, without counters")
        << wholeFile(info, false) << int(BackupFile::NoRefusal) << QString();
    QTest::newRow("trailing bytes kept out")
        << wholeFile(info, false) + "xyz" << int(BackupFile::NoRefusal) << QString();
    // Neither blocks nor ends the program: a FIFO or a device named like a backup is
    // refused unopened, an info length of gigabytes unread.
    QTest::newRow("fifo") << QByteArray() << int(BackupFile::Unreadable) << "fifo";
    QTest::newRow("link to an endless device")
        << QByteArray() << int(BackupFile::Unreadable) << "device";
    QTest::newRow("info length of 2 GB in a sparse file")
        << patched(good, 8, QByteArray::fromHex("F0FFFF7F")) << int(BackupFile::Corrupted)
        << "sparse";
}

void TestBackupFile::loadRefusals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, refusal);
    QFETCH(QString, special);
    const QString path = m_dir + "/x.bkp";
    if (special == "fifo") {
        QVERIFY(makeFifo(path));
    } else if (special == "device") {
        QVERIFY(QFile::link("/dev/zero", path));
    } else {
        writeFile(path, bytes);
        if (special == "sparse")
            QVERIFY(QFile(path).resize(3LL << 30));
    }

    BackupFile::Refusal why = BackupFile::Refusal(-1);
    Watchdog watchdog(QTest::currentDataTag());
    const auto backup = BackupFile::load(path, boardInfo(), &why);
    QCOMPARE(int(why), refusal);
    QCOMPARE(backup != nullptr, refusal == BackupFile::NoRefusal);
    if (backup)
        QCOMPARE(backup->pageSize(), BackupFile::PageSize);
}

void TestBackupFile::loadReadsPagesAndCounters()
{
    const QString path = m_dir + "/x.bkp";
    BackupFile::Refusal why;
    QVERIFY(!BackupFile::load(m_dir + "/missing.bkp", boardInfo(), &why));
    QCOMPARE(why, BackupFile::Unreadable);
    QVERIFY(!BackupFile::load(m_dir, boardInfo(), &why));
    QCOMPARE(why, BackupFile::Unreadable);

    writeFile(path, wholeFile(boardInfo(), true));
    auto backup = BackupFile::load(path, boardInfo(), &why);
    QVERIFY(backup);
    QVERIFY(backup->hasCounters());
    QCOMPARE(backup->odometerBytes(), QByteArray::fromHex("40E20100"));
    QCOMPARE(backup->engineTimeBytes(), QByteArray::fromHex("15030000"));

    const QByteArray pages = pagesOf(1);
    QCOMPARE(backup->pageChunk(0), pages.left(6));
    QCOMPARE(backup->pageChunk(1014), pages.mid(1014, 6));
    // 1024 is not a multiple of 6: the last chunk holds the 4 remaining page
    // bytes and nothing of the counters that follow them in the file.
    QCOMPARE(backup->pageChunk(1020), pages.right(4));
    QCOMPARE(backup->pageChunk(1024), QByteArray());
    QCOMPARE(backup->pageChunk(-6), QByteArray());

    writeFile(path, wholeFile(boardInfo(), false));
    backup = BackupFile::load(path, boardInfo(), &why);
    QVERIFY(backup);
    QVERIFY(!backup->hasCounters());
    QCOMPARE(backup->odometerBytes(), QByteArray());
}

void TestBackupFile::exportIsPartialUntilCommitted()
{
    const QString target = BackupStorage::nextFreePath(m_dir);
    auto backup = BackupFile::create(target);
    QVERIFY(backup);
    QVERIFY(backup->writeHead(boardInfo(), true, 123456, 789));
    QVERIFY(backup->appendPages(pagesOf(1).left(1000)));
    QVERIFY(backup->appendPages(pagesOf(1).mid(1000)));
    QCOMPARE(backup->pageBytesWritten(), qint64(1024));
    QVERIFY(!QFile::exists(target));
    QCOMPARE(BackupStorage::list(m_dir), QVariantList());

    QVERIFY(backup->commit());
    QCOMPARE(backup->fileName(), target);
    QCOMPARE(filesIn(m_dir), QStringList{"0000.bkp"});
    QCOMPARE(fileBytes(target), wholeFile(boardInfo(), true));
    backup.reset();
    QVERIFY(QFile::exists(target));
}

void TestBackupFile::exportDiscardLeavesNothing()
{
    const QString target = BackupStorage::nextFreePath(m_dir);
    {
        auto backup = BackupFile::create(target);
        QVERIFY(backup);
        QVERIFY(backup->writeHead(boardInfo(), false, 0, 0));
        QVERIFY(backup->appendPages(QByteArray(600, 'x')));
        QCOMPARE(filesIn(m_dir).size(), 1);
    } // destroyed unfinished, as when the session ends
    QCOMPARE(filesIn(m_dir), QStringList());

    auto backup = BackupFile::create(target);
    QVERIFY(backup->writeHead(boardInfo(), false, 0, 0));
    backup->discard();
    QCOMPARE(filesIn(m_dir), QStringList());
    QVERIFY(!backup->appendPages("abc"));
    QVERIFY(!backup->commit());
    QCOMPARE(filesIn(m_dir), QStringList());
}

void TestBackupFile::exportCommitSkipsNameTakenMeanwhile()
{
    const QString target = BackupStorage::nextFreePath(m_dir);
    auto backup = BackupFile::create(target);
    QVERIFY(backup->writeHead(boardInfo(), false, 0, 0));
    writeFile(target, "someone else's");
    QVERIFY(backup->commit());
    QCOMPARE(backup->fileName(), m_dir + "/0001.bkp");
    QCOMPARE(fileBytes(target), QByteArray("someone else's"));
}

// Under the partial name only a stale partial file is overwritten: a FIFO would hold the
// open for good, a link would send the export elsewhere.
void TestBackupFile::exportRefusesPartialNameTaken()
{
    const QString target = BackupStorage::nextFreePath(m_dir);
    const QString partial = BackupStorage::partialPath(target);
    writeFile(partial, "stale");
    QVERIFY(BackupFile::create(target)); // and gone with it, unfinished

    QVERIFY(makeFifo(partial));
    {
        Watchdog watchdog("export over a FIFO");
        QVERIFY(!BackupFile::create(target));
    }
    QVERIFY(QFile::remove(partial)); // left where it was
    const QString elsewhere = m_home.filePath("elsewhere");
    writeFile(elsewhere, "kept");
    QVERIFY(QFile::link(elsewhere, partial));
    QVERIFY(!BackupFile::create(target));
    QCOMPARE(fileBytes(elsewhere), QByteArray("kept"));
    QVERIFY(QFileInfo(partial).isSymLink());
}

void TestBackupFile::exportWriteFailureIsReported()
{
    const QString target = BackupStorage::nextFreePath(m_dir);
    const int head = BackupFile::encodeHead(boardInfo(), true).size();
    auto backup = BackupFile::create(target);
    QVERIFY(backup);
    {
        FileSizeCap cap(head + 100);
        QVERIFY(backup->writeHead(boardInfo(), true, 1, 2));
        QVERIFY(!backup->appendPages(pagesOf(1)));
        QVERIFY(!backup->errorString().isEmpty());
    }
    backup.reset();
    QCOMPARE(filesIn(m_dir), QStringList());

    // Room for all pages but not the counters block after them.
    backup = BackupFile::create(target);
    {
        FileSizeCap cap(head + 1024 + 4);
        QVERIFY(backup->writeHead(boardInfo(), true, 1, 2));
        QVERIFY(backup->appendPages(pagesOf(1)));
        QVERIFY(!backup->commit());
    }
    QVERIFY(!QFile::exists(target));
    backup.reset();
    QCOMPARE(filesIn(m_dir), QStringList());
}

// Partial files left by exports that were killed go at the next export; a running
// export's (held here by `running`, as by another program) and names that are no
// partial file stay, and the new export takes the first name free of all of them.
void TestBackupFile::stalePartialFilesGoAtTheNextExport()
{
    auto running = BackupFile::create(m_dir + "/0000.bkp");
    QVERIFY(running);
    QVERIFY(running->writeHead(boardInfo(), false, 0, 0));
    QVERIFY(!BackupFile::create(m_dir + "/0000.bkp")); // nor is it overwritten
    writeFile(m_dir + "/0001.bkp.part", "killed");
    writeFile(m_dir + "/0003.bkp.part", "killed too");
    writeFile(m_dir + "/.hidden.bkp.part", "killed, hidden");
    QVERIFY(makeFifo(m_dir + "/0002.bkp.part"));
    const QString elsewhere = m_home.filePath("elsewhere");
    writeFile(elsewhere, "kept");
    QVERIFY(QFile::link(elsewhere, m_dir + "/0004.bkp.part"));
    writeFile(m_dir + "/notes.part", "not an export's");

    std::unique_ptr<BackupFile> next;
    {
        Watchdog watchdog("an export beside a FIFO");
        next = BackupFile::createIn(m_dir);
    }
    QVERIFY(next);
    QCOMPARE(next->fileName(), m_dir + "/0001.bkp");
    QCOMPARE(fileBytes(m_dir + "/0001.bkp.part"), QByteArray()); // the new export's
    QVERIFY(!QFile::exists(m_dir + "/0003.bkp.part"));
    QVERIFY(!QFile::exists(m_dir + "/.hidden.bkp.part"));
    QCOMPARE(fileBytes(m_dir + "/0000.bkp.part"), BackupFile::encodeHead(boardInfo(), false));
    QCOMPARE(fileKind(m_dir + "/0002.bkp.part"), 'p');
    QVERIFY(QFileInfo(m_dir + "/0004.bkp.part").isSymLink());
    QCOMPARE(fileBytes(elsewhere), QByteArray("kept"));
    QCOMPARE(fileBytes(m_dir + "/notes.part"), QByteArray("not an export's"));

    // A third export at once skips both running ones and what it cannot use.
    auto third = BackupFile::createIn(m_dir);
    QVERIFY(third);
    QCOMPARE(third->fileName(), m_dir + "/0003.bkp");

    // Each ends under its own name; a committed backup holds no lock for the next one
    // to trip over.
    for (auto *backup : {running.get(), next.get(), third.get()}) {
        if (backup != running.get())
            QVERIFY(backup->writeHead(boardInfo(), false, 0, 0));
        QVERIFY(backup->appendPages(pagesOf(1)));
        QVERIFY(backup->commit());
    }
    QCOMPARE(fileBytes(m_dir + "/0000.bkp"), wholeFile(boardInfo(), false));
    QCOMPARE(fileBytes(m_dir + "/0001.bkp"), wholeFile(boardInfo(), false));
    QCOMPARE(fileBytes(m_dir + "/0003.bkp"), wholeFile(boardInfo(), false));
    BackupFile::removeStaleParts(m_dir);
    QCOMPARE(filesIn(m_dir), (QStringList{"0000.bkp", "0001.bkp", "0003.bkp",
                                          "0004.bkp.part", "notes.part"}));
}

void TestBackupFile::nextFreeNameFillsGaps()
{
    QCOMPARE(BackupStorage::nextFreePath(m_dir), m_dir + "/0000.bkp");
    writeFile(m_dir + "/0000.bkp", "a");
    writeFile(m_dir + "/0002.bkp", "b");
    QCOMPARE(BackupStorage::nextFreePath(m_dir), m_dir + "/0001.bkp");
    writeFile(m_dir + "/0001.bkp", "c");
    QCOMPARE(BackupStorage::nextFreePath(m_dir), m_dir + "/0003.bkp");
}

void TestBackupFile::listing()
{
    QCOMPARE(BackupStorage::list(m_dir + "/absent"), QVariantList());

    writeFile(m_dir + "/0001.bkp", QByteArray(42, 'x'));
    writeFile(m_dir + "/a.b.bkp", "ab");
    writeFile(m_dir + "/B.bkp", "");
    writeFile(m_dir + "/.hidden.bkp", "");
    writeFile(m_dir + "/notes.txt", "");
    writeFile(m_dir + "/0003.bkp.part", "");
    QVERIFY(QDir(m_dir).mkdir("folder.bkp"));
    QVERIFY(makeFifo(m_dir + "/0005.bkp"));
    QVERIFY(QFile::link(m_dir + "/0005.bkp", m_dir + "/0006.bkp"));
    QVERIFY(QFile::link("/dev/zero", m_dir + "/0007.bkp"));
    QVERIFY(QFile::link(m_dir + "/0001.bkp", m_dir + "/0008.bkp"));

    const QVariantList list = BackupStorage::list(m_dir);
    QStringList names;
    for (const QVariant &entry : list)
        names << entry.toMap().value("name").toString();
    QCOMPARE(names, (QStringList{"0001", "0008", "B", "a.b"}));

    const QVariantMap first = list.first().toMap();
    QCOMPARE(first.value("size").toLongLong(), 42LL);
    const QDateTime created =
        QDateTime::fromString(first.value("created").toString(), "yyyy-MM-dd hh:mm");
    QVERIFY(created.isValid());
    QVERIFY(qAbs(created.secsTo(QDateTime::currentDateTime())) < 120);

    // Every listed name leads back to its file.
    for (const QString &name : qAsConst(names))
        QVERIFY(QFile::exists(BackupStorage::pathFor(m_dir, name)));

    // An identifier that is a path reaches no file, not even a backup next door.
    QVERIFY(QDir(m_dir).mkdir("sub"));
    writeFile(m_dir + "/sub/0000.bkp", "x");
    writeFile(m_dir + "/../outside.bkp", "x");
    for (const QString &id :
         {QStringLiteral("sub/0000"), QStringLiteral("../outside"), QStringLiteral("sub\\0000"),
          QStringLiteral(".."), QStringLiteral("C:0000"), QString()})
        QVERIFY2(BackupStorage::pathFor(m_dir, id).isEmpty(), qPrintable(id));
}

QTEST_GUILESS_MAIN(TestBackupFile)
#include "tst_backupfile.moc"
