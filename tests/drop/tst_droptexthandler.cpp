#include "app/QDropTextHandler.h"
#include "tests/common/NonRegularFiles.h"

#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQmlContext>
#include <QTemporaryDir>
#include <QtTest>

class TestDropTextHandler : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_file; // holds the bytes 00 01 FF 'a'
    const QByteArray m_content = QByteArray("\x00\x01\xFF"
                                            "a",
                                            4);
    QDropTextHandler m_handler;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("dropped file.bin"));
        QFile file(m_file);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(m_content);
        QVERIFY(makeFifo(m_dir.filePath("pipe.bin")));
        QVERIFY(makeSparseFile(m_dir.filePath("limit.bin"), QDropTextHandler::MaxFileSize));
        QVERIFY(makeSparseFile(m_dir.filePath("over.bin"), QDropTextHandler::MaxFileSize + 1));
        QVERIFY(makeSparseFile(m_dir.filePath("3 GiB.bin"), 3LL << 30));
    }

    // Whatever the drop adds around a file URL, the file's bytes come back; anything
    // that does not lead to a readable regular file comes back as the text, at once.
    // A file over the size limit gives nothing, and the reason.
    void processInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes"); // null: the text itself
        QTest::addColumn<QString>("refusal");
        auto url = [this](const QString &name) {
            return QUrl::fromLocalFile(m_dir.filePath(name)).toString();
        };
        const QString file = url("dropped file.bin");
        const QString tooLarge = "File is larger than 16 MiB";
        QTest::newRow("file url") << file << m_content << "";
        QTest::newRow("blanks around") << "  " + file + "\t " << m_content << "";
        QTest::newRow("trailing line break") << file + "\r\n" << m_content << "";
        QTest::newRow("missing file") << url("gone.bin") << QByteArray() << "";
        QTest::newRow("folder") << " " + QUrl::fromLocalFile(m_dir.path()).toString()
                                << QByteArray() << "";
        QTest::newRow("fifo") << url("pipe.bin") << QByteArray() << "";
        QTest::newRow("endless device") << "file:///dev/zero" << QByteArray() << "";
        QTest::newRow("at the size limit")
            << url("limit.bin") << QByteArray(QDropTextHandler::MaxFileSize, '\0') << "";
        QTest::newRow("one byte over") << url("over.bin") << QByteArray("") << tooLarge;
        QTest::newRow("3 GiB") << url("3 GiB.bin") << QByteArray("") << tooLarge;
        QTest::newRow("web link") << "https://example.org/x.png" << QByteArray() << "";
        QTest::newRow("plain text") << "  Öl-Temperatur \n" << QByteArray() << "";
        QTest::newRow("bare path") << m_dir.filePath("dropped file.bin") << QByteArray() << "";
        QTest::newRow("empty") << "" << QByteArray() << "";
    }

    void processInput()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, refusal);
        Watchdog watchdog(QTest::currentDataTag());
        QCOMPARE(m_handler.processInput(text), bytes.isNull() ? text.toUtf8() : bytes);
        QCOMPARE(m_handler.refusal(text), refusal);
    }

    void fileInfo_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("info");
        const QString path = m_dir.filePath("dropped file.bin");
        QTest::newRow("file url") << " " + QUrl::fromLocalFile(path).toString() + "\n" << path;
        QTest::newRow("missing file url")
            << QUrl::fromLocalFile("/no/such.png").toString() << "/no/such.png";
        QTest::newRow("web link") << "http://example.org/a b"
                                  << "http://example.org/a b";
        QTest::newRow("text parsed as a relative url") << "a long line of dropped text"
                                                       << "a long line of dropped text";
        // Texts that are no URL at all get the 16-character teaser.
        QTest::newRow("16 characters") << "::abcdefghijklmn"
                                       << "::abcdefghijklmn";
        QTest::newRow("17 characters") << "::abcdefghijklmno"
                                       << "::abcdefghijklmn...";
        QTest::newRow("blanks kept") << "  http://a b/cdefgh"
                                     << "  http://a b/cde...";
        QTest::newRow("empty") << ""
                               << "";
    }

    void fileInfo()
    {
        QFETCH(QString, text);
        QFETCH(QString, info);
        QCOMPARE(m_handler.fileInfo(text), info);
    }

    void repr_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("shown");
        QTest::newRow("not UTF-8") << QByteArray::fromHex("FFFE0041") << "UTF-8"
                                   << "Binary content: FFFE0041...";
        QTest::newRow("short binary") << QByteArray::fromHex("8950") << "UTF-8"
                                      << "Binary content: 8950...";
        QTest::newRow("only first four bytes") << QByteArray::fromHex("89504E470D0A") << "UTF-8"
                                               << "Binary content: 89504E47...";
        QTest::newRow("empty") << QByteArray() << "UTF-8"
                               << "";
        QTest::newRow("UTF-8 text") << QString("Öl °C").toUtf8() << "UTF-8"
                                    << "Öl °C";
        QTest::newRow("Latin-1 takes any byte") << QByteArray::fromHex("FFFE0041") << "ISO-8859-1"
                                                << QString::fromLatin1("\xFF\xFE\x00"
                                                                       "A",
                                                                       4);
        QTest::newRow("codec by alias") << QByteArray("abc") << "latin1"
                                        << "abc";
        QTest::newRow("unknown codec") << QByteArray("abc") << "no-such-codec"
                                       << "Binary content: 616263...";
        QTest::newRow("empty codec name") << QByteArray("abcdef") << ""
                                          << "Binary content: 61626364...";
    }

    void repr()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, codec);
        QFETCH(QString, shown);
        QCOMPARE(m_handler.repr(data, codec), shown);
    }

    void reprDefaultsToUtf8()
    {
        QCOMPARE(m_handler.repr(QByteArray::fromHex("8950")), QString("Binary content: 8950..."));
        QCOMPARE(m_handler.repr(QString("Öl").toUtf8()), QString("Öl"));
    }

    // The interface reaches the one instance as q_dropHandler and cannot
    // make a second one.
    void registeredWithTheEngine()
    {
        QQmlApplicationEngine engine;
        registerDropHandler(&engine);
        registerDropHandler(&engine); // a second call keeps the same instance
        auto *published = qvariant_cast<QObject *>(
            engine.rootContext()->contextProperty(QStringLiteral("q_dropHandler")));
        QVERIFY(qobject_cast<QDropTextHandler *>(published));

        QQmlComponent use(&engine);
        use.setData("import QtQml 2.0\nimport DropTextHandler 1.0\n"
                    "QtObject { property string shown: q_dropHandler.repr(q_dropHandler."
                    "processInput('abc')) }",
                    QUrl());
        QScopedPointer<QObject> object(use.create());
        QVERIFY2(object, qPrintable(use.errorString()));
        QCOMPARE(object->property("shown").toString(), QString("abc"));

        QQmlApplicationEngine other;
        registerDropHandler(&other);
        QCOMPARE(qvariant_cast<QObject *>(
                     other.rootContext()->contextProperty(QStringLiteral("q_dropHandler"))),
                 published);

        QQmlComponent create(&engine);
        create.setData("import QtQml 2.0\nimport DropTextHandler 1.0\n"
                       "QtObject { property var h: DropTextHandler {} }",
                       QUrl());
        QVERIFY(create.isError() || !QScopedPointer<QObject>(create.create()));
        QVERIFY2(create.errorString().contains(
                     "DropTextHandler is a singleton - use the static member q_dropHandler"),
                 qPrintable(create.errorString()));
    }
};

QTEST_MAIN(TestDropTextHandler)
#include "tst_droptexthandler.moc"
