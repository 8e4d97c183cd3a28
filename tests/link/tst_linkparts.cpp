// The pure parts of the adapter link, row by row: no port, no timer.

#include "link/ElmSync.h"

#include <QTest>

class tst_LinkParts : public QObject
{
    Q_OBJECT

private slots:
    void synchronisation_data();
    void synchronisation();
};

// Each script is the adapter's output after sendings of the synchronising command: "|" is one
// sending, ">" a prompt, any other piece (separated by ",") a line. `verdicts` lists what each
// prompt is judged: I in step, S stale.
void tst_LinkParts::synchronisation_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("verdicts");
    QTest::newRow("voltage") << "|12.6V,>" << "I";
    QTest::newRow("voltage after the echo") << "|at rv,12.6V,>" << "I";
    QTest::newRow("voltage after a run-in prompt") << "|>12.6V,>" << "I";
    QTest::newRow("? from an adapter without the command") << "|?,>" << "I";
    QTest::newRow("? after the echo") << "|AT RV,?,>" << "I";
    QTest::newRow("nothing but the echo") << "|at rv,>" << "I";
    QTest::newRow("echo without spaces") << "|ATRV,>" << "I";
    // Echo off and nothing to say: the second bare prompt in a row is the answer.
    QTest::newRow("bare prompts") << "|>|>" << "SI";
    QTest::newRow("late banner, then the voltage") << "|ELM327 v1.5,>|at rv,12.6V,>" << "SI";
    QTest::newRow("late banner, then ?") << "|ELM327 v1.5,>|at rv,?,>" << "SI";
    QTest::newRow("late banner, then nothing, echo off") << "|ELM327 v1.5,>|>|>" << "SSI";
    QTest::newRow("banner before the held command's answer")
        << "|ELM327 v1.5,>at rv,12.6V,>" << "I";
    QTest::newRow("banner after the echo voids it") << "|at rv,ELM327 v1.5,>" << "S";
    QTest::newRow("LV RESET voids the voltage") << "|12.6V,LV RESET,>" << "S";
    QTest::newRow("stale OK") << "|OK,>|12.6V,>" << "SI";
    QTest::newRow("stale OK, then an adapter that says nothing") << "|OK,>|>|>" << "SSI";
    QTest::newRow("OK twice is an answer") << "|OK,>|OK,>" << "SI";
    QTest::newRow("stray prompt, then the voltage") << "|>|12.6V,>" << "SI";
    QTest::newRow("stray prompt, then the echo") << "|>|at rv,>" << "SI";
    QTest::newRow("an echo of another command is no proof") << "|at z,>|ati,>" << "SS";
    QTest::newRow("a banner between bare prompts breaks the pair") << "|>|ELM327 v2.1,>|>|>"
                                                                << "SSSI";
    // A sending that drew no prompt leaves nothing to compare the next answer with.
    QTest::newRow("unanswered sending") << "|>||>|>" << "SSI";
    QTest::newRow("empty lines are nothing") << "|,,>|,>" << "SI";
}

void tst_LinkParts::synchronisation()
{
    QFETCH(QString, script);
    QFETCH(QString, verdicts);
    ElmSync sync;
    QString got;
    const QStringList sendings = script.split('|');
    for (int i = 1; i < sendings.size(); ++i) {
        sync.sent();
        for (const QString &piece : sendings.at(i).split(',')) {
            QString p = piece;
            if (p.startsWith('>') && p.size() > 1) {
                // A prompt run into a line: the line goes to the watch with it.
                sync.line(p.toLatin1());
                continue;
            }
            if (p == ">") {
                got += sync.prompt() == ElmSync::InStep ? 'I' : 'S';
                continue;
            }
            if (p.endsWith('>')) {
                sync.line(p.chopped(1).toLatin1());
                got += sync.prompt() == ElmSync::InStep ? 'I' : 'S';
                continue;
            }
            sync.line(p.toLatin1());
        }
    }
    QCOMPARE(got, verdicts);
}

QTEST_APPLESS_MAIN(tst_LinkParts)
#include "tst_linkparts.moc"
