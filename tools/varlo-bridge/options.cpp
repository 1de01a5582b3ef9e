#include "options.h"
#include "commands.h"

#include "armlist.h"

#include <QtCore/QFile>
#include <QtNetwork/QHostInfo>

#include <cstdio>

namespace {

const char Usage[] =
    "usage: varlo-bridge --broker HOST[:PORT] [options] NAME=ADDRESS ...\n"
    "       varlo-bridge --broker HOST[:PORT] [options] --config FILE\n"
    "\n"
    "Publishes the live state of robot controllers on an MQTT broker and, when\n"
    "allowed, takes commands for them. Topics (see docs/bridge.md):\n"
    "  varlo/v1/NAME/state, /online (retained), /event/alarms, /event/script,\n"
    "  varlo/v1/NAME/cmd/COMMAND (MQTT 5 response topic and correlation data).\n"
    "\n"
    "  --broker HOST[:PORT]     the broker (port 1883, 8883 with TLS)\n"
    "  --config FILE            arms from FILE: one \"NAME ADDRESS\" (or NAME = ADDRESS)\n"
    "                           a line, # starts a comment\n"
    "  --allow-commands LIST    commands taken, comma-separated, named as `varlo`\n"
    "                           names them: enable, disable, drag, power, estop, clear,\n"
    "                           stop, speed, io, movj, movl, jointmovj, relmovj,\n"
    "                           relmovl, script (run and stop). None by default.\n"
    "  --client-id PREFIX       MQTT client ids are PREFIX + NAME (varlo-bridge-HOST-)\n"
    "  --keepalive SECONDS      MQTT keep-alive (30)\n"
    "  --username NAME          broker user; the password is read from\n"
    "  --password-file FILE     FILE's first line, or the variable VARLO_BRIDGE_PASSWORD\n"
    "  --cafile FILE, --capath DIR   TLS: the broker's certificate authority\n"
    "  --cert FILE, --key FILE  TLS: the bridge's own certificate and key\n"
    "  --tls-version VERSION    tlsv1.2 or tlsv1.3\n"
    "  --tls-insecure           do not check the broker's host name (testing only)\n"
    "  --verbose                the library's diagnostics\n"
    "\n"
    "Arm names are letters, digits, '_' and '-' (at most 64). SIGTERM or Ctrl-C\n"
    "stops the motions the bridge commanded, marks the arms offline and ends.\n";

bool readPassword(const QString &path, QString *password, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    *password = QString::fromUtf8(file.readLine(1024)).trimmed();
    return true;
}

} // namespace

bool parseBridgeOptions(const QStringList &arguments, BridgeOptions *options, QString *error)
{
    const QStringList valueOptions = { "--broker", "--config", "--allow-commands", "--client-id", "--keepalive",
                                       "--username", "--password-file", "--cafile", "--capath", "--cert", "--key",
                                       "--tls-version" };
    BrokerSettings &broker = options->broker;
    broker.clientIdPrefix = QStringLiteral("varlo-bridge-%1-").arg(QHostInfo::localHostName());
    broker.password = qEnvironmentVariable("VARLO_BRIDGE_PASSWORD");
    bool haveBroker = false;
    bool portGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        QString word = arguments.at(i);
        QString value;
        if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            std::fputs(Usage, stdout);
            error->clear();
            return false;
        }
        if (word.startsWith(QLatin1String("--")) && word.contains(QLatin1Char('='))) {
            value = word.section(QLatin1Char('='), 1);
            word = word.section(QLatin1Char('='), 0, 0);
        } else if (valueOptions.contains(word)) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(word);
                return false;
            }
            value = arguments.at(++i);
        }
        bool good = true;
        if (word == QLatin1String("--broker")) {
            haveBroker = true;
            broker.host = value.section(QLatin1Char(':'), 0, 0);
            if (value.contains(QLatin1Char(':'))) {
                broker.port = value.section(QLatin1Char(':'), 1).toInt(&good);
                good = good && broker.port > 0 && broker.port < 65536;
                portGiven = true;
            }
            good = good && !broker.host.isEmpty();
        } else if (word == QLatin1String("--config")) {
            if (!readArmFile(value, &options->arms, error))
                return false;
        } else if (word == QLatin1String("--allow-commands")) {
            if (!parseAllowedCommands(value, &options->allowed, error))
                return false;
        } else if (word == QLatin1String("--client-id")) {
            broker.clientIdPrefix = value;
        } else if (word == QLatin1String("--keepalive")) {
            broker.keepAliveSeconds = value.toInt(&good);
            good = good && broker.keepAliveSeconds >= 5 && broker.keepAliveSeconds <= 65535;
        } else if (word == QLatin1String("--username")) {
            broker.username = value;
        } else if (word == QLatin1String("--password-file")) {
            if (!readPassword(value, &broker.password, error))
                return false;
        } else if (word == QLatin1String("--cafile")) {
            broker.caFile = value;
        } else if (word == QLatin1String("--capath")) {
            broker.caPath = value;
        } else if (word == QLatin1String("--cert")) {
            broker.certFile = value;
        } else if (word == QLatin1String("--key")) {
            broker.keyFile = value;
        } else if (word == QLatin1String("--tls-version")) {
            broker.tlsVersion = value;
        } else if (word == QLatin1String("--tls-insecure")) {
            broker.tlsInsecure = true;
        } else if (word == QLatin1String("--verbose") || word == QLatin1String("-v")) {
            options->verbose = true;
        } else if (word.startsWith(QLatin1Char('-'))) {
            *error = QStringLiteral("unknown option %1 (varlo-bridge --help)").arg(word);
            return false;
        } else if (word.contains(QLatin1Char('='))) {
            if (!addArmWord(&options->arms, word, error))
                return false;
        } else {
            *error = QStringLiteral("\"%1\" is not NAME=ADDRESS").arg(word);
            return false;
        }
        if (!good) {
            *error = QStringLiteral("%1 does not take \"%2\"").arg(word, value);
            return false;
        }
    }
    if (!haveBroker) {
        *error = QStringLiteral("--broker HOST[:PORT] is needed");
        return false;
    }
    if (options->arms.isEmpty()) {
        *error = QStringLiteral("no arms: name them as NAME=ADDRESS or in a --config file");
        return false;
    }
    if (!portGiven && (!broker.caFile.isEmpty() || !broker.caPath.isEmpty()))
        broker.port = 8883;
    if (!broker.certFile.isEmpty() != !broker.keyFile.isEmpty()) {
        *error = QStringLiteral("--cert and --key go together");
        return false;
    }
    return true;
}
