#pragma once

// A link on one end of a pseudo-terminal and a scripted adapter on the other, shared by the
// link tests.

#include "PtyPeer.h"
#include "link/ELM327IOBase.h"
#include "link/SerialTransport.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

struct LinkHarness
{
    LinkHarness() { qputenv("KX4_EXTRA_PORTS", peer.slavePath().toLocal8Bit()); }

    QSerialPort *port() { return link.findChild<QSerialPort *>(); }

    // Opens the link at 38400 against an adapter that acknowledges every initialisation
    // command; true once the first ready() came. The peer is left silent and empty.
    bool start(bool elm_st = true)
    {
        peer.responder = [](const QByteArray &c, int) { return PtyPeer::adapterAnswer(c); };
        QSignalSpy ready(&link, &ELM327IOBase::ready);
        const bool ok = link.setup(peer.slavePath(), 38400, true, elm_st) && ready.wait(5000);
        peer.responder = nullptr;
        peer.clearReceived();
        return ok;
    }

    // Answers the link's synchronising command after setup; true once the first command of
    // the initialisation has arrived. The peer's record starts with it.
    bool answerSync()
    {
        if (!QTest::qWaitFor([this] { return peer.commands().contains("at rv"); }, 3000))
            return false;
        peer.clearReceived();
        peer.send("12.6V\r\r>");
        return QTest::qWaitFor([this] { return !peer.commands().isEmpty(); }, 3000);
    }

    // Hands `bytes` to the link as one read; true once the link has handled them.
    bool feed(const QByteArray &bytes)
    {
        QSignalSpy arrived(port(), &QSerialPort::readyRead);
        peer.send(bytes);
        return arrived.wait(3000);
    }

    PtyPeer peer;
    ELM327IOBase link;
};
