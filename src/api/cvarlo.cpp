#include "api/cvarlo.h"

#include <QtCore/QCoreApplication>

namespace {
int s_cvarloArgc = 0;
}

CVarlo::CVarlo(QObject *parent)
    : QObject(parent)
{
    if (!QCoreApplication::instance())
        m_application = new QCoreApplication(s_cvarloArgc, nullptr);
}

CVarlo::~CVarlo()
{
    delete m_application;
}

CVarlo *CVarlo::instance()
{
    static CVarlo *s_instance = new CVarlo();
    return s_instance;
}

int CVarlo::exec()
{
    if (!QCoreApplication::instance())
        return 0;
    return QCoreApplication::exec();
}
