#include "statejson.h"

#include <QtCore/QStringList>

#include <chrono>

QString alarmsText(const QRobotType::Alarms &alarms)
{
    QStringList texts;
    for (const ActiveAlarm &alarm : activeAlarms(alarms))
        texts << alarmSource(alarm);
    return texts.join(QLatin1String(", "));
}

double nowMs()
{
    using namespace std::chrono;
    return double(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count()) / 1000.0;
}
