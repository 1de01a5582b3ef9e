#include "Varlo/qrobotcollaborative.h"
#include "collaborative/qrobotcollaborative_p.h"

QRobotCollaborative::QRobotCollaborative(QHttpManager *transport, QObject *parent)
    : QObject(parent), d(new QRobotCollaborativePrivate(this, transport))
{
}

QRobotCollaborative::~QRobotCollaborative() = default;

QHttpManager *QRobotCollaborative::transport() const
{
    return d->transport;
}
