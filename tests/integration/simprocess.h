// A VarloSim child process for the tests, and plain HTTP to it: the tests
// speak to the simulator byte for byte, as any client (or attacker) would.
#ifndef SIMPROCESS_H
#define SIMPROCESS_H

#include <QtCore/QByteArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QString>
#include <QtCore/QStringList>

struct HttpReply
{
    int status = 0;          // 0: no answer
    QByteArray body;
    qint64 elapsedMs = 0;

    QJsonDocument document() const { return QJsonDocument::fromJson(body); }
    QJsonObject json() const { return document().object(); }
};

// One request on a connection of its own, sent as given (a POST gets a
// Content-Length), answered within 10 s or not at all. With `source` the
// request comes from that address. `headers` ("Name: value\r\n" lines)
// replace the Host and Content-Type lines a client would send.
HttpReply rawRequest(const QString &address, quint16 port, const QByteArray &method, const QByteArray &target,
                     const QByteArray &body = QByteArray(), const QString &source = QString(),
                     const QByteArray &headers = QByteArray());
// Why VarloSim could not serve `address` (one of its API, file service and
// panel ports held by another program: a VarloSim of the user's own, say), or
// an empty text when all three are free.
QString addressInUse(const QString &address);
// In initTestCase(): skips the whole program, saying why, when another program
// holds one of its addresses; that is no fault of what it tests.
#define SKIP_IF_ADDRESS_IN_USE(...)                                              \
    do {                                                                         \
        for (const QString &address_ : QStringList{ __VA_ARGS__ }) {             \
            const QString why_ = addressInUse(address_);                         \
            if (!why_.isEmpty())                                                 \
                QSKIP(qPrintable(why_));                                         \
        }                                                                        \
    } while (false)
QByteArray toJson(const QJsonObject &object);
// A JSON file's content; null when it cannot be read.
QJsonDocument readJsonFile(const QString &path);

class SimProcess
{
public:
    ~SimProcess();

    // Starts VarloSim with --root `root` on `address` and waits until it is
    // ready. With `copyProgram` it runs from a copy in `root` (the folder that
    // the library's simulator probe finds). False with reason() set when it
    // did not report ready within 10 s.
    bool start(const QString &root, const QString &address, const QStringList &extra = QStringList(),
               bool copyProgram = false);
    // SIGTERM; true when it ended cleanly (exit code 0).
    bool stop();

    QString reason() const { return m_reason; }
    QString address() const { return m_address; }
    qint64 pid() const { return m_process.processId(); }
    // root/controllerVR/project
    QString projectFolder() const;
    QByteArray output() const { return m_output; }
    // The longest wait for an answer of api() and files() so far.
    qint64 slowestMs() const { return m_slowestMs; }

    // Port 22000, and the file service on 22001.
    HttpReply api(const QByteArray &method, const QByteArray &path, const QJsonObject &body = QJsonObject()) const;
    HttpReply files(const QByteArray &method, const QByteArray &path, const QByteArray &body = QByteArray()) const;
    QJsonObject get(const QString &path) const { return api("GET", path.toLatin1()).json(); }


private:
    QProcess m_process;
    QString m_root;
    QString m_address;
    QString m_reason;
    QByteArray m_output;
    mutable qint64 m_slowestMs = 0;
};

#endif // SIMPROCESS_H
