#include "FeedServer.h"

#include <QTcpSocket>

FeedServer::FeedServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

bool FeedServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost);
}

QUrl FeedServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/software/lumarec/updates/win/appcast.xml")
                    .arg(m_server.serverPort()));
}

QUrl FeedServer::refusingUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(port));
}

void FeedServer::setResponse(const QByteArray &body, int status)
{
    m_body = body;
    m_status = status;
}

void FeedServer::serve(QTcpSocket *socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        // The request is small; answer once its header is complete.
        if (!socket->peek(8192).contains("\r\n\r\n") || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        ++m_requests;
        QByteArray response =
            "HTTP/1.1 " + QByteArray::number(m_status) + (m_status == 200 ? " OK" : " Error") +
            "\r\nContent-Type: application/xml\r\nContent-Length: " +
            QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body;
        socket->write(response);
        socket->disconnectFromHost();
    });
}

QByteArray FeedServer::feed(const QList<QStringList> &items)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                     "<rss version=\"2.0\" "
                     "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
                     "<channel><title>VeltroKX4</title>\n";
    for (const QStringList &item : items) {
        xml += "<item><title>Version " + item.value(0).toUtf8() +
               "</title>"
               "<description><![CDATA[" +
               item.value(1).toUtf8() +
               "]]></description>"
               "<enclosure url=\"" +
               item.value(2).toUtf8() + "\" sparkle:version=\"" + item.value(0).toUtf8() +
               "\" length=\"1000\" type=\"application/octet-stream\"/>"
               "</item>\n";
    }
    return xml + "</channel></rss>\n";
}
