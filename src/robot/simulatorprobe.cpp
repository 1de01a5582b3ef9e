#include "robot/simulatorprobe.h"
#include "transport/timings.h"

#include <QtCore/QDebug>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QProcess>
#include <QtCore/QStringList>

namespace SimulatorProbe {

QString executableName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("VarloSim.exe");
#else
    return QStringLiteral("VarloSim");
#endif
}

QString rootFromListing(const QString &listing, const QString &executable)
{
    if (listing.isEmpty())
        return QString();
    return listing.split(executable, Qt::KeepEmptyParts, Qt::CaseSensitive).first();
}

namespace {

#ifdef Q_OS_WIN
// The process-listing tool prints "executablepath name" lines; findstr keeps
// the simulator's.
QString listRunningSimulators()
{
    QProcess process;
    process.start(QStringLiteral("cmd /c wmic process get executablepath,name|findstr VarloSim.exe"),
                  QIODevice::ReadWrite);
    process.waitForStarted(VarloTimings::ms(VarloTimings::ProbeStart));
    if (!process.waitForReadyRead(VarloTimings::ms(VarloTimings::ProbeOutput))) {
        process.close();
        return QString();
    }
    QByteArray output = process.readAllStandardOutput();
    const int nul = output.indexOf('\0');
    if (nul >= 0)
        output.truncate(nul);
    process.close();
    return QString::fromLocal8Bit(output);
}
#else
// The executable of every process this user may inspect, from /proc.
QString listRunningSimulators()
{
    const QString name = executableName();
    const QDir proc(QStringLiteral("/proc"));
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QStringList found;
    for (const QString &entry : entries) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QString executable = QFileInfo(proc.filePath(entry + QLatin1String("/exe"))).symLinkTarget();
        // A replaced executable reads as "path (deleted)"; the folder still counts.
        executable.remove(QLatin1String(" (deleted)"));
        if (QFileInfo(executable).fileName() == name)
            found << executable;
    }
    return found.join(QLatin1Char('\n'));
}
#endif

} // namespace

bool detectVirtualController(QString *root)
{
    const QString found = rootFromListing(listRunningSimulators(), executableName());
    if (found.isEmpty())
        return false;
    *root = found;
    qDebug() << "virtual robot root path:" << found;
    return true;
}

} // namespace SimulatorProbe
