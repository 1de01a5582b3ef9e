#include "collaborative/qrobotcollaborative.h"
#include "collaborative/qrobotcollaborative_p.h"

QRobotCollaborative::QRobotCollaborative(QHttpManager *transport, QObject *parent)
    : QObject(parent), d_ptr(new QRobotCollaborativePrivate(this, transport))
{
}

QRobotCollaborative::~QRobotCollaborative() = default;

QHttpManager *QRobotCollaborative::transport() const
{
    return d_func()->transport;
}
