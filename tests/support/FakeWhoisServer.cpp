#include "FakeWhoisServer.h"

#include <QTcpSocket>
#include <QTimer>

FakeWhoisServer::Script FakeWhoisServer::inTwo(const QByteArray &bytes, qsizetype first, int gapMs)
{
    if (bytes.isEmpty())
        return closeWithoutReply();
    if (first <= 0 || first >= bytes.size())
        return replyAtOnce(bytes);
    return {{bytes.left(first), bytes.mid(first)}, 0, gapMs};
}

FakeWhoisServer::FakeWhoisServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FakeWhoisServer::onNewConnection);
}

void FakeWhoisServer::setScript(const Script &script)
{
    m_responder = [script](const QByteArray &, int) { return script; };
}

void FakeWhoisServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const qsizetype slot = m_received.size();
        m_received.append(QByteArray());
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, slot, responder = m_responder] {
            const bool begun = m_received[slot].contains('\n');
            m_received[slot] += socket->readAll();
            if (begun || !m_received[slot].contains('\n') || !responder)
                return;
            QByteArray line = m_received[slot].left(m_received[slot].indexOf('\n'));
            if (line.endsWith('\r'))
                line.chop(1);
            const Script script = responder(line, m_queries++);
            if (!script.pieces.isEmpty())
                QTimer::singleShot(script.delayMs, socket, [=, this] { play(socket, script, 0); });
            else if (script.hangUpEmpty)
                QTimer::singleShot(script.delayMs, socket, [socket] { socket->disconnectFromHost(); });
        });
    }
}

void FakeWhoisServer::play(QTcpSocket *socket, const Script &script, qsizetype piece)
{
    socket->write(script.pieces[piece]);
    socket->flush(); // each piece its own segment
    if (piece + 1 < script.pieces.size()) {
        QTimer::singleShot(script.gapMs, socket, [=, this] { play(socket, script, piece + 1); });
    } else if (script.endless) {
        // Keep a bounded amount queued, refilled as the peer takes it.
        auto refill = [socket, chunk = script.pieces.last()] {
            while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 256 * 1024)
                socket->write(chunk);
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, refill);
        refill();
    } else {
        socket->disconnectFromHost();
    }
}
