// varlo-bridge: robot controllers on an MQTT broker. One thread: Qt's event
// loop drives the library's facades (one per arm) and libmosquitto's sockets.
//
//   varlo-bridge --broker HOST[:PORT] [--allow-commands LIST] NAME=ADDRESS ...
#include "armbridge.h"
#include "options.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QLoggingCategory>
#include <QtCore/QSocketNotifier>

#include <mosquitto.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

int s_signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    const ssize_t ignored = ::write(s_signalPipe[1], &byte, 1);
    (void)ignored;
}

QString allowedList(const QSet<QString> &allowed)
{
    QStringList names = allowed.values();
    names.sort();
    return names.join(QLatin1Char(','));
}

} // namespace

int main(int argc, char **argv)
{
    // Qt's own event dispatcher: with a hundred arms' sockets and timers it
    // costs less per wake-up than GLib's.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    BridgeOptions options;
    QString error;
    if (!parseBridgeOptions(app.arguments().mid(1), &options, &error)) {
        if (error.isEmpty())
            return 0;
        std::fprintf(stderr, "varlo-bridge: %s\n", qPrintable(error));
        return 3;
    }
    if (!options.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\nqt.*.debug=false"));

    // SIGTERM and Ctrl-C reach the event loop through a pipe: the stop runs
    // as an ordinary slot, with the library usable.
    if (::pipe2(s_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("varlo-bridge: pipe");
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    mosquitto_lib_init();
    std::vector<std::unique_ptr<ArmBridge>> arms;
    for (const auto &arm : options.arms) {
        arms.push_back(std::make_unique<ArmBridge>(arm.name, arm.address, options.broker, options.allowed));
        if (!arms.back()->start(&error)) {
            std::fprintf(stderr, "varlo-bridge: %s\n", qPrintable(error));
            return 3;
        }
    }
    std::fprintf(stderr, "varlo-bridge: %d arm(s) on %s:%d, commands %s\n", int(arms.size()),
                 qPrintable(options.broker.host), options.broker.port,
                 options.allowed.isEmpty() ? "off" : qPrintable(allowedList(options.allowed)));

    QSocketNotifier stopRequest(s_signalPipe[0], QSocketNotifier::Read);
    bool stopping = false;
    QObject::connect(&stopRequest, &QSocketNotifier::activated, &app, [&]() {
        char bytes[16];
        while (::read(s_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        if (stopping)
            return;
        stopping = true;
        stopRequest.setEnabled(false);
        for (const auto &arm : arms)
            arm->interrupt();
        for (const auto &arm : arms)
            arm->shutdown();
        app.quit();
    });
    const int code = app.exec();
    arms.clear();
    mosquitto_lib_cleanup();
    std::fprintf(stderr, "varlo-bridge: stopped\n");
    return code;
}
