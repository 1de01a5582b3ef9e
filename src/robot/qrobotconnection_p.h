#ifndef QROBOTCONNECTION_P_H
#define QROBOTCONNECTION_P_H

#include "Varlo/qrobotconnection.h"

#include <QtCore/QTimer>

class QRobotConnectionPrivate
{
    Q_DECLARE_PUBLIC(QRobotConnection)
public:
    QRobotConnectionPrivate(QRobotConnection *q, QHttpManager *transport);

    void poll();
    void pollAnswered(quint64 asked);
    void rearm();

    QRobotConnection *q_ptr;
    QHttpManager *transport;
    bool axisKnown = false;
    int axisCount = 0; // read by the last poll that found one
    QTimer pollTimer;
    bool stopped = false;
    // Counts the starts: a poll asked before a stop and a new start ends
    // with its answer, so that only the new round reads the axis count.
    quint64 round = 0;
    bool started = false;
    QString host = QStringLiteral("127.0.0.1");
};

#endif // QROBOTCONNECTION_P_H
