#pragma once

// A one-page HTTP server on 127.0.0.1 for the update checks: answers every request with
// the response set last and closes the connection.

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

class FeedServer : public QObject
{
    Q_OBJECT
public:
    explicit FeedServer(QObject *parent = nullptr);

    bool listen();
    QUrl url() const;
    // An address on which nothing listens any more.
    static QUrl refusingUrl();

    void setResponse(const QByteArray &body, int status = 200);
    int requests() const { return m_requests; }

    // An appcast feed with one item per (version, notes, download address).
    static QByteArray feed(const QList<QStringList> &items);

private:
    void serve(QTcpSocket *socket);

    QTcpServer m_server;
    QByteArray m_body;
    int m_status = 200;
    int m_requests = 0;
};
