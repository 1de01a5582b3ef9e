#ifndef VARLOTEST_COMPONENTTEST_H
#define VARLOTEST_COMPONENTTEST_H

// The fixtures the test programs share: the controller double on the
// program's own address with a temporary share root in VARLO_SHARE_ROOT
// (ControllerTest), and with it a fresh transport and component for every test
// function (ComponentTest).
//
//     class tst_Safety : public QObject, public VarloTest::ComponentTest<QRobotCollaborative>
//     {
//         Q_OBJECT
//     private Q_SLOTS:
//         void initTestCase() { startController("127.0.0.30"); }
//         void init() { initComponent(); }
//         void cleanup() { cleanupComponent(); }
//         ...
//     };
//
// Header only: it needs the library's transport, which the support library
// itself does not link.

#include "fakecontroller.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonArray>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <initializer_list>
#include <type_traits>

namespace VarloTest {

inline QJsonArray numbers(std::initializer_list<double> values)
{
    QJsonArray array;
    for (double v : values)
        array.append(v);
    return array;
}

inline QJsonArray floats(const float *values, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(double(values[i]));
    return array;
}

// Position of the first request with this method and path, -1 when none.
inline int indexOf(const QList<Request> &requests, const QString &method, const QString &path)
{
    for (int i = 0; i < requests.size(); ++i) {
        if (requests.at(i).method == method && requests.at(i).path == path)
            return i;
    }
    return -1;
}

// The double on the program's own address with a temporary share root in
// VARLO_SHARE_ROOT; for programs that drive the library through its exports.
class ControllerTest
{
protected:
    // From initTestCase(): points the share root at a temporary folder and
    // starts the double on this program's address (playing a healthy
    // controller with that many axes when axes > 0).
    void startController(const char *address, int axes = 0) { startController(QString::fromLatin1(address), axes); }
    void startController(const QString &address, int axes = 0)
    {
        m_address = address;
        QVERIFY(share.isValid());
        qputenv("VARLO_SHARE_ROOT", share.path().toLocal8Bit());
        ctl = new FakeController(m_address);
        QVERIFY2(ctl->listen(), qPrintable(ctl->errorString()));
        if (axes > 0)
            ctl->playRobot(axes);
    }

    // A document as the share holds it for this controller (read when the
    // file service has none).
    void putShareFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = share.path() + QLatin1Char('/') + m_address + QStringLiteral("/project") + name
            + QStringLiteral(".json");
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QString address() const { return m_address; }

    ~ControllerTest() { delete ctl; }

    FakeController *ctl = nullptr;
    QTemporaryDir share;

private:
    QString m_address;
};

// ControllerTest plus a fresh transport and component for every test function.
template <class Component>
class ComponentTest : public ControllerTest
{
protected:
    // From init(): a double with no scripts, documents or requests left from
    // the previous test (playing a healthy controller with that many axes when
    // axes > 0), and a new transport and component on it.
    void initComponent(int axes = 0)
    {
        ctl->clearScripts();
        ctl->clearDocuments();
        ctl->clearRequests();
        if (axes > 0)
            ctl->playRobot(axes);
        http = new QHttpManager(nullptr);
        http->setHost(address());
        if constexpr (std::is_same<Component, QHttpManager>::value)
            component = http;    // the transport is what is under test
        else
            component = new Component(http, nullptr);
    }

    // From cleanup(): drops the component and transport and empties the share.
    void cleanupComponent()
    {
        if (static_cast<void *>(component) != static_cast<void *>(http))
            delete component;
        component = nullptr;
        delete http;
        http = nullptr;
        QDir(share.path()).removeRecursively();
        QDir().mkpath(share.path());
    }

    QHttpManager *http = nullptr;
    Component *component = nullptr;
};

} // namespace VarloTest

#endif
