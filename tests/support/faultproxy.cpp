#include "faultproxy.h"

#include <QtCore/QTimer>
#include <QtNetwork/QTcpSocket>

#include <sys/socket.h>

namespace VarloTest {

namespace {

const quint16 Ports[] = { 22000, 22001 };

// Closes with a reset (RST) instead of an orderly end (FIN).
void abortHard(QTcpSocket *socket)
{
    if (!socket)
        return;
    const linger noLinger{ 1, 0 };
    if (socket->socketDescriptor() >= 0)
        setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
    socket->abort();
}

} // namespace

FaultProxy::FaultProxy(const QString &address, const QString &target, QObject *parent)
    : QObject(parent), m_address(address), m_target(target)
{
    connect(&m_api, &QTcpServer::newConnection, this, [this] { accept(&m_api, Ports[0]); });
    connect(&m_files, &QTcpServer::newConnection, this, [this] { accept(&m_files, Ports[1]); });
}

FaultProxy::~FaultProxy()
{
    const QList<LinkPtr> links = m_links; // a reset link leaves the list
    for (const LinkPtr &link : links)
        reset(link);
}

bool FaultProxy::listen()
{
    return m_api.listen(QHostAddress(m_address), Ports[0]) && m_files.listen(QHostAddress(m_address), Ports[1]);
}

void FaultProxy::setFault(Fault fault, int arg)
{
    m_fault = fault;
    m_arg = arg;
    const QList<LinkPtr> links = m_links; // a reset link leaves the list
    for (const LinkPtr &link : links) {
        if (fault == BlackHole || fault == HalfOpen)
            link->dead = true;
        else if (fault == Reset)
            reset(link);
    }
    if (fault == HalfOpen)
        m_fault = Pass;
}

void FaultProxy::accept(QTcpServer *server, quint16 port)
{
    while (QTcpSocket *client = server->nextPendingConnection()) {
        auto link = std::make_shared<Link>();
        link->client = client;
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        if (m_fault == Reset) {
            abortHard(client);
            continue;
        }
        m_links.append(link);
        link->dead = m_fault == BlackHole;
        link->server = new QTcpSocket(client);
        connect(client, &QTcpSocket::readyRead, this, [this, link] { fromClient(link); });
        connect(link->server, &QTcpSocket::readyRead, this, [this, link] { fromServer(link); });
        connect(link->server, &QTcpSocket::disconnected, this, [link] {
            if (link->client && !link->dead)
                link->client->disconnectFromHost();
        });
        connect(client, &QTcpSocket::disconnected, this, [this, link] {
            if (link->server)
                link->server->disconnectFromHost();
            m_links.removeOne(link);
        });
        if (!link->dead)
            link->server->connectToHost(m_target, port);
    }
}

void FaultProxy::fromClient(const LinkPtr &link)
{
    const QByteArray data = link->client->readAll();
    const int space = data.indexOf(' '), end = data.indexOf(' ', space + 1);
    if (space > 0 && end > space && space < 8)
        m_requests.append(QString::fromLatin1(data.left(end)));
    if (link->dead || !link->server)
        return;
    link->reply.clear(); // the next bytes from the controller answer this request
    link->server->write(data);
}

void FaultProxy::fromServer(const LinkPtr &link)
{
    QByteArray data = link->server->readAll();
    if (link->dead || !link->client)
        return;
    const int start = int(link->reply.size());
    link->reply += data;
    const int headerEnd = link->reply.indexOf("\r\n\r\n");
    const int at = headerEnd < 0 ? -1 : headerEnd + 4 + m_arg - start; // in `data`
    switch (m_fault) {
    case Delay: {
        QPointer<QTcpSocket> client = link->client;
        QTimer::singleShot(m_arg, this, [client, data] { if (client) client->write(data); });
        return;
    }
    case Truncate:
        if (at >= 0 && at < data.size()) {
            link->client->write(data.left(at));
            link->client->disconnectFromHost();
            link->dead = true;
            return;
        }
        break;
    case Corrupt:
        if (at >= 0 && at < data.size())
            data[at] = char(0xFF);
        break;
    default:
        break;
    }
    link->client->write(data);
}

void FaultProxy::reset(const LinkPtr &link)
{
    abortHard(link->client);
    abortHard(link->server);
}

} // namespace VarloTest
