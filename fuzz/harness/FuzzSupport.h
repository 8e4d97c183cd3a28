#pragma once

// What every fuzz target sets up once: the application object, settings and storage in
// test locations, and silence (the code under test logs every refused input).

#include <QByteArray>
#include <QString>

enum class FuzzApp { Core, Gui };

void initFuzzApp(int *argc, char ***argv, FuzzApp kind = FuzzApp::Core);

// A scratch folder for files the target writes, emptied by clearScratch().
QString scratchDir();
void clearScratch();
// Writes `bytes` to a file in the scratch folder and returns its path.
QString writeScratchFile(const QString &name, const QByteArray &bytes);

// The size a backup file's header says the file has: header, info field, the pages of
// the dashboard the info names, and the counters when the flags promise them. A file
// too short for its header claims one byte more than it has.
qint64 backupClaimedSize(const QByteArray &content);

// Stops the run with a message when an invariant of the code under test is broken, so
// libFuzzer keeps the input that broke it.
[[noreturn]] void fuzzFail(const char *what, const QByteArray &detail = QByteArray());
