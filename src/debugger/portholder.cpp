#include "debugger/portholder.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QSet>
#include <QtCore/QStringList>

namespace PortHolder {

namespace {

#if defined(Q_OS_LINUX)
// The inodes of the sockets bound to `port` in the kernel's table `table`
// ("/proc/net/udp", ...): lines of "sl local_address rem_address st ... inode",
// the local address written as HEXADDRESS:HEXPORT.
QSet<QString> socketInodes(const QString &table, quint16 port)
{
    QSet<QString> inodes;
    QFile file(table);
    if (!file.open(QIODevice::ReadOnly))
        return inodes;
    file.readLine(); // the header
    for (int lines = 0; lines < 100000 && !file.atEnd(); ++lines) {
        const QStringList fields = QString::fromLatin1(file.readLine()).simplified().split(QLatin1Char(' '));
        bool ok = false;
        if (fields.size() > 9 && fields.at(1).section(QLatin1Char(':'), 1).toUShort(&ok, 16) == port && ok
            && fields.at(9) != QLatin1String("0"))
            inodes.insert(fields.at(9));
    }
    return inodes;
}

// The first process with one of `inodes` open: "name (pid N)".
QString processWith(const QSet<QString> &inodes)
{
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool isPid = false;
        pid.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
        for (const QString &fd : QDir(fds).entryList(QDir::System | QDir::NoDotAndDotDot)) {
            // "socket:[INODE]" (Qt makes the link's text a path).
            const QString text = QFile::symLinkTarget(fds + QLatin1Char('/') + fd);
            const int open = text.indexOf(QLatin1String("socket:["));
            if (open < 0 || !text.endsWith(QLatin1Char(']')) || !inodes.contains(text.mid(open + 8).chopped(1)))
                continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                                               : QStringLiteral("a process");
            return QStringLiteral("%1 (pid %2)").arg(name, pid);
        }
    }
    return QString();
}
#endif

} // namespace

QString describe(quint16 port, Protocol protocol)
{
#if defined(Q_OS_LINUX)
    const QString kind = protocol == Udp ? QStringLiteral("udp") : QStringLiteral("tcp");
    QSet<QString> inodes = socketInodes(QStringLiteral("/proc/net/") + kind, port);
    inodes.unite(socketInodes(QStringLiteral("/proc/net/") + kind + QLatin1Char('6'), port));
    return inodes.isEmpty() ? QString() : processWith(inodes);
#else
    Q_UNUSED(port);
    Q_UNUSED(protocol);
    return QString();
#endif
}

QString takenText(quint16 port, Protocol protocol)
{
    const QString holder = describe(port, protocol);
    const QString text = QStringLiteral("%1 port %2 is taken").arg(QLatin1String(protocol == Udp ? "UDP" : "TCP")).arg(port);
    return holder.isEmpty() ? text : text + QLatin1String(" by ") + holder;
}

} // namespace PortHolder
