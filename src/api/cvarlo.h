#ifndef CVARLO_H
#define CVARLO_H

#include <QtCore/QObject>

class QCoreApplication;

// Application bootstrap for hosts that want the library to own the Qt
// application object and, optionally, run its event loop. None of the exports
// needs it: ConnectVarlo creates an application object itself when needed.
class CVarlo : public QObject
{
    Q_OBJECT
public:
    explicit CVarlo(QObject *parent = nullptr);
    ~CVarlo() override;

    // One CVarlo for the whole library, created on first use.
    static CVarlo *instance();
    // Runs the application's event loop when an application object exists.
    static int exec();

private:
    QCoreApplication *m_application = nullptr;
};

#endif // CVARLO_H
