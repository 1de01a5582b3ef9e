#ifndef VARLO_BRIDGE_OPTIONS_H
#define VARLO_BRIDGE_OPTIONS_H

#include "armlist.h"
#include "mqttlink.h"

#include <QtCore/QList>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QStringList>

struct BridgeOptions
{
    BrokerSettings broker;
    QSet<QString> allowed;                   // commands taken; none by default
    QList<ArmEntry> arms;
    bool verbose = false;
};

// Reads the command line (and a --config file). False with the message in
// `error` (`error` empty after --help, whose text went to stdout).
bool parseBridgeOptions(const QStringList &arguments, BridgeOptions *options, QString *error);

#endif // VARLO_BRIDGE_OPTIONS_H
