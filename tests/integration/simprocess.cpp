#include "simprocess.h"

#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtNetwork/QHostAddress>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>

HttpReply rawRequest(const QString &address, quint16 port, const QByteArray &method, const QByteArray &target,
                     const QByteArray &body, const QString &source, const QByteArray &headers)
{
    HttpReply reply;
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    if (!source.isEmpty() && !socket.bind(QHostAddress(source)))
        return reply;
    socket.connectToHost(address, port);
    if (!socket.waitForConnected(2000))
        return reply;
    QByteArray request = method + ' ' + target + " HTTP/1.1\r\nConnection: close\r\n";
    request += headers.isNull() ? "Host: " + address.toLatin1() + "\r\n" : headers;
    if (method == "POST")
        request += (headers.isNull() ? QByteArray("Content-Type: application/json\r\n") : QByteArray())
                 + "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    socket.write(request + "\r\n" + body);
    QByteArray data;
    while (clock.elapsed() < 10000 && socket.state() != QAbstractSocket::UnconnectedState) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(50);
        socket.waitForReadyRead(50);
        data += socket.readAll();
    }
    data += socket.readAll();
    reply.elapsedMs = clock.elapsed();
    const int headerEnd = data.indexOf("\r\n\r\n");
    const QList<QByteArray> statusLine = data.left(data.indexOf("\r\n")).split(' ');
    if (headerEnd < 0 || statusLine.size() < 2)
        return reply;
    reply.status = statusLine.at(1).toInt();
    reply.body = data.mid(headerEnd + 4);
    return reply;
}

QString addressInUse(const QString &address)
{
    for (const quint16 port : { quint16(22000), quint16(22001), quint16(22080) }) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress(address), port))
            return QStringLiteral("%1:%2 is held by another program (a VarloSim of this machine?): %3")
                .arg(address).arg(port).arg(probe.errorString());
    }
    return QString();
}

QByteArray toJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonDocument readJsonFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()) : QJsonDocument();
}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QString &root, const QString &address, const QStringList &extra, bool copyProgram)
{
    m_root = root;
    m_address = address;
    m_output.clear();
    QString program = QStringLiteral(VARLOSIM_PATH);
    if (copyProgram) {
        program = QDir(root).filePath(QStringLiteral("VarloSim"));
        if (!QFileInfo::exists(program) && !QFile::copy(QStringLiteral(VARLOSIM_PATH), program)) {
            m_reason = QStringLiteral("cannot copy VarloSim to %1").arg(program);
            return false;
        }
    }
    m_process.setProgram(program);
    m_process.setArguments(QStringList{"--root", root, "--address", address, "--exit-with-parent"} + extra);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start();
    QElapsedTimer clock;
    clock.start();
    while (m_process.waitForStarted(5000) && clock.elapsed() < 10000) {
        m_process.waitForReadyRead(100);
        m_output += m_process.readAll();
        if (m_output.contains("VarloSim ready"))
            return true;
        if (m_process.state() == QProcess::NotRunning)
            break;
    }
    m_reason = QStringLiteral("VarloSim did not become ready: %1 %2")
                   .arg(m_process.errorString(), QString::fromLocal8Bit(m_output));
    stop();
    return false;
}

bool SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return false;
    m_process.terminate();
    const bool finished = m_process.waitForFinished(10000);
    if (!finished) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    m_output += m_process.readAll();
    return finished && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QString SimProcess::projectFolder() const
{
    return QDir(m_root).filePath(QStringLiteral("controllerVR/project"));
}

HttpReply SimProcess::api(const QByteArray &method, const QByteArray &path, const QJsonObject &body) const
{
    const HttpReply r = rawRequest(m_address, 22000, method, path, method == "POST" ? toJson(body) : QByteArray());
    m_slowestMs = qMax(m_slowestMs, r.elapsedMs);
    return r;
}

HttpReply SimProcess::files(const QByteArray &method, const QByteArray &path, const QByteArray &body) const
{
    const HttpReply r = rawRequest(m_address, 22001, method, path, body);
    m_slowestMs = qMax(m_slowestMs, r.elapsedMs);
    return r;
}
