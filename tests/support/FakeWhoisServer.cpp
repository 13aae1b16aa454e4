#include "FakeWhoisServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {
constexpr qint64 EndlessQueue = 256 * 1024; // keep this much queued, no more
}

struct FakeWhoisServer::Connection
{
    QPointer<QTcpSocket> socket;
    int slot = 0;
    Script script;
    int next = 0;
    bool begun = false;
    bool streaming = false;
};

FakeWhoisServer::Script FakeWhoisServer::replyAtOnce(const QByteArray &bytes)
{
    Script s;
    s.steps = {Step{0, bytes}};
    return s;
}

FakeWhoisServer::Script FakeWhoisServer::replyInPieces(const QList<QByteArray> &pieces, int gapMs)
{
    Script s;
    for (qsizetype i = 0; i < pieces.size(); ++i)
        s.steps.append(Step{i == 0 ? 0 : gapMs, pieces.at(i)});
    return s;
}

FakeWhoisServer::Script FakeWhoisServer::replyAfter(int delayMs, const QByteArray &bytes)
{
    Script s;
    s.steps = {Step{delayMs, bytes}};
    return s;
}

FakeWhoisServer::Script FakeWhoisServer::neverReply()
{
    Script s;
    s.closeAfter = false;
    return s;
}

FakeWhoisServer::Script FakeWhoisServer::closeWithoutReply()
{
    Script s;
    s.waitForLine = false;
    s.closeAfter = true;
    return s;
}

FakeWhoisServer::Script FakeWhoisServer::streamEndless(const QByteArray &chunk)
{
    Script s;
    s.closeAfter = false;
    s.endless = chunk;
    return s;
}

FakeWhoisServer::FakeWhoisServer(QObject *parent)
    : QObject(parent)
{
    m_script.closeAfter = false;
    connect(&m_server, &QTcpServer::newConnection, this, &FakeWhoisServer::onNewConnection);
}

FakeWhoisServer::~FakeWhoisServer()
{
    m_server.close();
    // The sockets go before the records their handlers use.
    for (QTcpSocket *socket : findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly)) {
        socket->disconnect(this);
        delete socket;
    }
}

bool FakeWhoisServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

void FakeWhoisServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        m_connections.push_back(std::make_unique<Connection>());
        Connection *c = m_connections.back().get();
        c->socket = socket;
        c->slot = int(m_received.size());
        c->script = m_script;
        m_received.append(QByteArray());
        ++m_open;

        connect(socket, &QTcpSocket::readyRead, this, [this, c] {
            if (!c->socket)
                return;
            const QByteArray bytes = c->socket->readAll();
            m_received[c->slot].append(bytes);
            if (bytes.contains('\n'))
                emit lineReceived();
            if (!c->begun && c->script.waitForLine && m_received.at(c->slot).contains('\n'))
                begin(c);
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, c](qint64 n) {
            m_bytesSent += n;
            if (c->streaming)
                refill(c);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --m_open;
            socket->deleteLater();
        });

        emit accepted();
        if (!c->script.waitForLine)
            begin(c);
    }
}

void FakeWhoisServer::begin(Connection *c)
{
    c->begun = true;
    runStep(c);
}

void FakeWhoisServer::runStep(Connection *c)
{
    if (!c->socket)
        return;
    if (c->next < c->script.steps.size()) {
        const Step step = c->script.steps.at(c->next++);
        QTcpSocket *socket = c->socket;
        auto write = [this, c, step] {
            if (!c->socket || c->socket->state() != QAbstractSocket::ConnectedState)
                return;
            c->socket->write(step.bytes);
            runStep(c);
        };
        if (step.delayMs > 0)
            QTimer::singleShot(step.delayMs, socket, write);
        else
            write();
        return;
    }
    if (!c->script.endless.isEmpty()) {
        c->streaming = true;
        refill(c);
        return;
    }
    if (c->script.closeAfter)
        c->socket->disconnectFromHost();
}

void FakeWhoisServer::refill(Connection *c)
{
    QTcpSocket *socket = c->socket;
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return;
    while (socket->bytesToWrite() < EndlessQueue)
        socket->write(c->script.endless);
}
