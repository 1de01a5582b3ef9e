#include "robot/simulatorprobe.h"
#include "transport/timings.h"
#include "Varlo/qrobot.h"

#include <QtCore/QDebug>
#include <QtCore/QDir>
#include <QtCore/QFile>
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

QString runningSimulatorRoot()
{
    return rootFromListing(listRunningSimulators(), executableName());
}
#else
// The address a running simulator serves, from its command line: the value
// of "--address" (or "--address=..."), else its default 127.0.0.1.
QString servedAddress(const QString &processFolder)
{
    QFile file(processFolder + QLatin1String("/cmdline"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QList<QByteArray> arguments = file.read(64 * 1024).split('\0');
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == "--address" && i + 1 < arguments.size())
            return QString::fromLocal8Bit(arguments.at(i + 1));
        if (arguments.at(i).startsWith("--address="))
            return QString::fromLocal8Bit(arguments.at(i).mid(10));
    }
    return QStringLiteral("127.0.0.1");
}

// The folder of the first simulator this user may inspect (from /proc) that
// serves the loopback address the library connects to: a simulator started
// on another address is some other client's and is not ours to use. VarloSim
// works in the folder that holds its controllerVR (its --root, its data
// folder when installed), so that folder is the process's working folder,
// with a trailing separator. Empty when none runs.
QString runningSimulatorRoot()
{
    const QString name = executableName();
    const QDir proc(QStringLiteral("/proc"));
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QString executable = QFileInfo(proc.filePath(entry + QLatin1String("/exe"))).symLinkTarget();
        // A replaced executable reads as "path (deleted)"; it still counts.
        executable.remove(QLatin1String(" (deleted)"));
        if (QFileInfo(executable).fileName() != name
            || servedAddress(proc.filePath(entry)) != QLatin1String("127.0.0.1"))
            continue;
        const QString folder = QFileInfo(proc.filePath(entry + QLatin1String("/cwd"))).symLinkTarget();
        if (!folder.isEmpty())
            return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    }
    return QString();
}
#endif

} // namespace

bool detectVirtualController(QString *root)
{
    const QString found = runningSimulatorRoot();
    if (found.isEmpty())
        return false;
    *root = found;
    qDebug() << "virtual robot root path:" << found;
    return true;
}

bool useRunningSimulator(QRobot *robot, QString *root)
{
    if (!detectVirtualController(root)) {
        qDebug() << "VarloSim.exe is not detected, please open VarloSim.exe first!!!";
        return false;
    }
    robot->setVirtualRoot(*root);
    return true;
}

} // namespace SimulatorProbe
