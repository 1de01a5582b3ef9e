#ifndef QROBOTCOLLABORATIVE_P_H
#define QROBOTCOLLABORATIVE_P_H

#include "Varlo/qrobotcollaborative.h"

class QRobotCollaborativePrivate
{
    Q_DECLARE_PUBLIC(QRobotCollaborative)
public:
    QRobotCollaborativePrivate(QRobotCollaborative *q, QHttpManager *transport) : q_ptr(q), transport(transport) {}

    QRobotCollaborative *q_ptr;
    QHttpManager *transport;
};

#endif // QROBOTCOLLABORATIVE_P_H
