#ifndef QHTTPMANAGER_H
#define QHTTPMANAGER_H

#include "Varlo/varloglobal.h"
#include <QtCore/QObject>
#include <QtCore/QByteArray>
#include <QtCore/QJsonObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

#include <functional>

class QHttpManagerPrivate;

// The library's only path to the controller: one serialised queue of HTTP
// requests, each caller waiting in a local event loop of its own (or called
// back, for the ...Later operations), plus the library's view of whether the
// controller is reachable.
class VARLO_EXPORT QHttpManager : public QObject
{
    Q_OBJECT
public:
    enum : quint16 { ApiPort = 22000, FilePort = 22001 };

    // A transport with no host yet; built by QRobot::initialize().
    explicit QHttpManager(QObject *parent);
    ~QHttpManager() override;

    // One request to the controller, queued behind the others and waited for
    // (the event loop runs meanwhile). True when it was answered in time with
    // success; `reply` gets the reply's JSON object (empty when the body is
    // none) or, for postData(), its bytes.
    bool getJson(const QString &path, QJsonObject &reply, quint16 port = ApiPort);
    bool postJson(const QString &path, const QJsonObject &body, QJsonObject &reply, quint16 port = ApiPort);
    bool postData(const QString &path, const QByteArray &body, QByteArray &reply, quint16 port = ApiPort);

    // The same, without waiting: the request joins the queue and `done` runs
    // once it ended (whether it succeeded, the reply; an empty object after a
    // failure), from the event loop. A host that follows many controllers in
    // one thread uses this for periodic work: a wait of one controller never
    // holds another's up. Deleting the manager ends queued requests as
    // failures.
    void getJsonLater(const QString &path, std::function<void(bool ok, const QJsonObject &reply)> done,
                      quint16 port = ApiPort);
    // The body is made when the request goes on the wire, so that it carries
    // the latest values (a request may wait in the queue behind others);
    // `body` returning false withdraws the request unsent (a failure that
    // says nothing about the controller).
    void postJsonLater(const QString &path, std::function<bool(QJsonObject &body)> body,
                       std::function<void(bool ok, const QJsonObject &reply)> done, quint16 port = ApiPort);

    // Controller settings documents ("/settings/common", "/properties/axis", ...),
    // read and written whole, as JSON text (object or array).
    bool getPara(QByteArray &reply, const QString &name);

    // What a document read found. A setter that edits a document whole (read,
    // change one part, write back) may start from nothing only when the
    // controller said the document is missing, never after a failed read.
    enum class ParaRead {
        Read,    // the document, in `reply`
        Missing, // the file service answered and has no such document (nor a fallback file)
        Failed   // no answer, or an answer that is no document, and no fallback file
    };
    // Reads a document as getPara() does and says what it found.
    ParaRead readPara(QByteArray &reply, const QString &name);
    // Writes a document whole (file service, else the fallback file); then,
    // when `notifyPath` is given, posts `notifyBody` there so that the
    // controller takes the new document. True when the document was written.
    bool setPara(const QByteArray &data, const QString &name,
                 const QString &notifyPath = QString(), const QByteArray &notifyBody = QByteArray());

    // Whether queued requests are sent (on while a host is connected).
    void setDispatching(bool on);
    bool isDispatching() const; // whether queued requests are sent

    // Forget what is known about the controller's reachability without a
    // notification, so that the next success is reported again.
    void clearServerReachable();
    void resetReachability();
    bool isServerReachable() const;   // the API port answered the last request
    bool isFilesReachable() const;    // the file service answered the last request
    bool isReportedConnected() const; // connectStateChanged(true) was the last report

    void setHost(const QString &host);                  // the controller's address
    QString host() const;                               // the controller's address
    void setPort(quint16 port);                         // the API port (22000)
    quint16 port() const;                               // the API port
    void setSimulatorRoot(const QString &root);         // a running VarloSim's folder, for 127.0.0.1
    QString simulatorRoot() const;                      // a running VarloSim's folder
    void setControllerVersion(const QString &version);  // the controller's "control" version
    QString controllerVersion() const;                  // as connection supervision read it

    // The file that stands for a settings document when the file service fails:
    // the controller's share, or the simulator's local project folder for 127.0.0.1.
    // Empty when there is no such place.
    QString fallbackFilePath(const QString &name) const;

    // Processes events for the given time (measured on a monotonic clock).
    static void waitMs(uint ms);

Q_SIGNALS:
    // The controller became reachable (true) or stopped answering (false).
    void connectStateChanged(bool isConnected);
    // A diagnostic line (relayed as QRobot::printQRobot()).
    void printQHttpManager(QString str);

private Q_SLOTS:
    void onTimer();

private:
    Q_DECLARE_PRIVATE_D(d, QHttpManager)
    Q_DISABLE_COPY(QHttpManager)
    QScopedPointer<QHttpManagerPrivate> d;
};

#endif // QHTTPMANAGER_H
