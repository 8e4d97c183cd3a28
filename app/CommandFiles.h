#pragma once

// The files and ports a command line names, checked and resolved before and after the
// run against the dashboard.

#include <QString>

namespace CommandLine {

QString absolute(const QString &file);

// The port as the window lists it ("ttyUSB0", "COM3"), or a device path: a system port by
// its path is found under its name, and any other device file (a pseudo-terminal, a
// Bluetooth or network bridge) is taken as one of the extra ports.
QString resolvePort(const QString &port);

// Why --export cannot write `path`, or nothing when it can try: the backup goes to a new
// file or replaces a regular one. A device node, a FIFO, a socket or a folder under that
// name would be swapped for a plain file (as root, "--export /dev/full" would replace the
// device), so they are refused.
QString exportTargetProblem(const QString &path);

// The backup made in the backup folder goes to the file asked for, replacing it only once
// complete. Empty when done, else why not (the backup then stays where it is).
QString moveBackup(const QString &from, const QString &to);

// Why the backup file `file` cannot be imported, or nothing.
QString importProblem(const QString &file);
// Why the picture `file` cannot be loaded (`given` is the name as the user gave it).
QString pictureProblem(const QString &file, const QString &given);

} // namespace CommandLine
