#pragma once

// Interprets what the user drops or types into the interface's file-drop
// controls: a local-file URL stands for the file's bytes, anything else for
// the literal text. One process-wide instance is published to QML as
// "q_dropHandler" by registerDropHandler().

#include <QByteArray>
#include <QObject>
#include <QString>

class QQmlApplicationEngine;

class QDropTextHandler : public QObject
{
    Q_OBJECT

public:
    // Dropped files are read whole into memory; larger ones are refused.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    explicit QDropTextHandler(QObject *parent = nullptr);

    // The bytes of the regular local file the text names, or the text itself as
    // UTF-8 (also for a path that is no regular file: a FIFO, a device, a folder).
    // Empty for a file larger than MaxFileSize; refusal() tells why.
    Q_INVOKABLE QByteArray processInput(const QString &text) const;
    // A short description of the same input: file path, URL or text teaser.
    Q_INVOKABLE QString fileInfo(const QString &text) const;
    // `data` as text when it survives decoding and re-encoding in `codec`,
    // otherwise a hexadecimal teaser of its first bytes.
    Q_INVOKABLE QString repr(const QByteArray &data,
                             const QString &codec = QStringLiteral("UTF-8")) const;
    // Why processInput() does not take the file the text names (it is larger than
    // MaxFileSize); empty when it does, and for every other input.
    Q_INVOKABLE QString refusal(const QString &text) const;
};

// Creates the process-wide handler on first call, registers the uncreatable
// QML type DropTextHandler 1.0 and publishes the instance as "q_dropHandler".
void registerDropHandler(QQmlApplicationEngine *engine);
