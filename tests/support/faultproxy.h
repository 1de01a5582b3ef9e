#ifndef VARLOTEST_FAULTPROXY_H
#define VARLOTEST_FAULTPROXY_H

// FaultProxy: a TCP relay on the controller's two ports (22000, 22001) of its
// own address, forwarding to a controller on another address, served from
// the test's event loop. On command it spoils the traffic the way a bad
// network or a dying controller would:
//
//     VarloTest::FaultProxy proxy("127.0.0.75", "127.0.0.65");  // library -> proxy -> VarloSim
//     QVERIFY(proxy.listen());
//     proxy.setFault(FaultProxy::Delay, 1100);   // every reply 1.1 s late
//     proxy.setFault(FaultProxy::BlackHole);     // the controller vanished
//     proxy.setFault(FaultProxy::Pass);          // it is back
//
// Faults, for the connections open now and those that come:
//   Pass       bytes relayed as they are
//   Delay      replies held `arg` ms
//   BlackHole  bytes swallowed both ways, connections kept open (no FIN, no
//              RST): a controller pulled off the network. Connections that
//              fell into the hole stay dead after the fault ends.
//   Reset      every connection reset, new ones reset at once
//   Truncate   a reply's body cut after `arg` bytes, then the connection closed
//   Corrupt    byte `arg` of a reply's body replaced by 0xFF, which no UTF-8
//              JSON text may hold
//   HalfOpen   the connections open now go silent as in BlackHole, new ones
//              pass: a stale kept-alive connection
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QStringList>
#include <QtNetwork/QTcpServer>

#include <memory>

class QTcpSocket;

namespace VarloTest {

class FaultProxy : public QObject
{
public:
    enum Fault { Pass, Delay, BlackHole, Reset, Truncate, Corrupt, HalfOpen };

    FaultProxy(const QString &address, const QString &target, QObject *parent = nullptr);
    ~FaultProxy() override;

    bool listen();
    void setFault(Fault fault, int arg = 0);
    // "METHOD /path" of every request the client began, relayed or not.
    QStringList requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

private:
    struct Link
    {
        QPointer<QTcpSocket> client;
        QPointer<QTcpSocket> server;
        bool dead = false;   // fell into a black hole
        QByteArray reply;    // the current reply so far, from its first byte
    };
    using LinkPtr = std::shared_ptr<Link>;

    void accept(QTcpServer *server, quint16 port);
    void fromClient(const LinkPtr &link);
    void fromServer(const LinkPtr &link);
    void reset(const LinkPtr &link);

    QString m_address;
    QString m_target;
    QTcpServer m_api;
    QTcpServer m_files;
    QList<LinkPtr> m_links;
    QStringList m_requests;
    Fault m_fault = Pass;
    int m_arg = 0;
};

} // namespace VarloTest

#endif // VARLOTEST_FAULTPROXY_H
