#include "simprocess.h"

#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonDocument>
#include <QtNetwork/QTcpSocket>

namespace {

// One request on a connection of its own, answered within 3 s or not at all.
QJsonObject request(const QString &address, const QByteArray &method, const QString &path, const QByteArray &body)
{
    QTcpSocket socket;
    socket.connectToHost(address, 22000);
    if (!socket.waitForConnected(2000))
        return QJsonObject();
    QByteArray text = method + ' ' + path.toLatin1() + " HTTP/1.1\r\nHost: " + address.toLatin1()
                    + "\r\nConnection: close\r\n";
    if (method == "POST")
        text += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    text += "\r\n" + body;
    socket.write(text);
    QByteArray data;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 3000 && socket.state() != QAbstractSocket::UnconnectedState) {
        socket.waitForReadyRead(50);
        data += socket.readAll();
    }
    data += socket.readAll();
    const int headerEnd = data.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return QJsonObject();
    return QJsonDocument::fromJson(data.mid(headerEnd + 4)).object();
}

} // namespace

SimProcess::SimProcess() = default;

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QString &folder, const QString &address, const QStringList &extra)
{
    m_folder = folder;
    m_address = address;
    m_output.clear();
    m_executable = QDir(folder).filePath(QStringLiteral("VarloSim"));
    if (!QFileInfo::exists(m_executable) && !QFile::copy(QStringLiteral(VARLOSIM_PATH), m_executable)) {
        m_reason = QStringLiteral("cannot copy VarloSim to %1").arg(m_executable);
        return false;
    }
    m_process.setProgram(m_executable);
    m_process.setArguments(QStringList{"--root", folder, "--address", address, "--exit-with-parent"} + extra);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_reason = QStringLiteral("VarloSim did not start: %1").arg(m_process.errorString());
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        m_process.waitForReadyRead(100);
        m_output += m_process.readAll();
        if (m_output.contains("VarloSim ready"))
            return true;
        if (m_process.state() == QProcess::NotRunning)
            break;
    }
    m_reason = QStringLiteral("VarloSim did not become ready: %1").arg(QString::fromLocal8Bit(m_output));
    stop();
    return false;
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    m_output += m_process.readAll();
}

QString SimProcess::projectFolder() const
{
    return QDir(m_folder).filePath(QStringLiteral("controllerVR/project"));
}

QJsonObject SimProcess::get(const QString &path) const
{
    return request(m_address, "GET", path, QByteArray());
}

QJsonObject SimProcess::post(const QString &path, const QJsonObject &body) const
{
    return request(m_address, "POST", path, QJsonDocument(body).toJson(QJsonDocument::Compact));
}

QStringList SimProcess::runningSimulators()
{
    QStringList found;
    const QDir proc(QStringLiteral("/proc"));
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QString executable = QFileInfo(proc.filePath(entry + QLatin1String("/exe"))).symLinkTarget();
        executable.remove(QLatin1String(" (deleted)"));
        if (QFileInfo(executable).fileName() == QLatin1String("VarloSim"))
            found << executable;
    }
    return found;
}
