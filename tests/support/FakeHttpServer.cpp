#include "FakeHttpServer.h"

#include <QTcpSocket>

FakeHttpServer::FakeHttpServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                // The request head may arrive in pieces; answer once, when it is whole.
                const QByteArray head = socket->property("head").toByteArray() + socket->readAll();
                socket->setProperty("head", head);
                if (!head.contains("\r\n\r\n") || socket->property("answered").toBool())
                    return;
                socket->setProperty("answered", true);
                const QString path = QString::fromLatin1(head.split(' ').value(1));
                m_paths.append(path);
                const Response r = m_responses.value(path, {404, "<html><body>404 Not Found</body></html>"});
                if (r.neverAnswer)
                    return;
                socket->write("HTTP/1.1 " + QByteArray::number(r.status) + " Status\r\nContent-Length: "
                              + QByteArray::number(r.body.size()) + "\r\nConnection: close\r\n" + r.headers + "\r\n");
                socket->write(r.breakAfter >= 0 ? r.body.left(r.breakAfter) : r.body);
                socket->disconnectFromHost();
            });
        }
    });
}
