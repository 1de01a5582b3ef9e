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

    explicit QHttpManager(QObject *parent);
    ~QHttpManager() override;

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
    ParaRead readPara(QByteArray &reply, const QString &name);
    bool setPara(const QByteArray &data, const QString &name,
                 const QString &notifyPath = QString(), const QByteArray &notifyBody = QByteArray());

    void setDispatching(bool on);
    bool isDispatching() const;

    // Forget what is known about the controller's reachability without a
    // notification, so that the next success is reported again.
    void clearServerReachable();
    void resetReachability();
    bool isServerReachable() const;
    bool isFilesReachable() const;
    bool isReportedConnected() const;

    void setHost(const QString &host);
    QString host() const;
    void setPort(quint16 port);
    quint16 port() const;
    void setSimulatorRoot(const QString &root);
    QString simulatorRoot() const;
    void setControllerVersion(const QString &version);
    QString controllerVersion() const;

    // The file that stands for a settings document when the file service fails:
    // the controller's share, or the simulator's local project folder for 127.0.0.1.
    // Empty when there is no such place.
    QString fallbackFilePath(const QString &name) const;

    // Processes events for the given time (measured on a monotonic clock).
    static void waitMs(uint ms);

Q_SIGNALS:
    void connectStateChanged(bool isConnected);
    void printQHttpManager(QString str);

private Q_SLOTS:
    void onTimer();

private:
    Q_DECLARE_PRIVATE_D(d, QHttpManager)
    Q_DISABLE_COPY(QHttpManager)
    QScopedPointer<QHttpManagerPrivate> d;
};

#endif // QHTTPMANAGER_H
