#include "cli.h"
#include "armlist.h"

#include <Varlo/qhttpmanager.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QEventLoop>
#include <QtCore/QJsonDocument>
#include <QtCore/QList>
#include <QtCore/QRegularExpression>
#include <QtCore/QSocketNotifier>
#include <QtCore/QTimer>

#include <cmath>
#include <csignal>
#include <cstdio>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace {

// The first of SIGINT and SIGTERM that came (0: none), and the pipe through
// which the handler wakes the event loop.
volatile std::sig_atomic_t s_signal = 0;
int s_wakePipe[2] = { -1, -1 };
// The loops of runUntil() calls in progress, ended by an interruption.
QList<QEventLoop *> s_loops;

void onSignal(int number)
{
    if (!s_signal)
        s_signal = number;
#if defined(Q_OS_UNIX)
    const char byte = char(number);
    const ssize_t written = ::write(s_wakePipe[1], &byte, 1); // async-signal-safe
    (void)written;
#endif
}

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// "--tool=3" and "--tool 3" alike; words that look like negative numbers are
// arguments ("-10"), not options.
bool isOption(const QString &word)
{
    static const QRegularExpression negativeNumber(QStringLiteral("^-[0-9.]"));
    return word.startsWith(QLatin1Char('-')) && word.size() > 1 && !negativeNumber.match(word).hasMatch();
}

} // namespace

void installInterruptHandling(QRobot &robot)
{
#if defined(Q_OS_UNIX)
    if (::pipe(s_wakePipe) != 0)
        return;
    for (int fd : s_wakePipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    auto *notifier = new QSocketNotifier(s_wakePipe[0], QSocketNotifier::Read, &robot);
    QObject::connect(notifier, &QSocketNotifier::activated, &robot, [&robot]() {
        char bytes[16];
        while (::read(s_wakePipe[0], bytes, sizeof bytes) > 0) {
        }
        robot.interruptWaits();
        for (QEventLoop *loop : s_loops)
            loop->quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#else
    Q_UNUSED(robot);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
#endif
}

bool Invocation::parse(const QStringList &words)
{
    QStringList positional;
    for (int i = 0; i < words.size(); ++i) {
        const QString word = words.at(i);
        if (word == QLatin1String("--")) {
            positional += words.mid(i + 1);
            break;
        }
        if (!isOption(word)) {
            positional << word;
            continue;
        }
        const QString name = word.section(QLatin1Char('='), 0, 0);
        if (name == QLatin1String("--json")) {
            json = true;
        } else if (spec.flags.contains(name)) {
            m_flags.insert(name);
        } else if (spec.valueOptions.contains(name)) {
            if (word.contains(QLatin1Char('='))) {
                m_options.insert(name, word.section(QLatin1Char('='), 1));
            } else if (i + 1 < words.size()) {
                m_options.insert(name, words.at(++i));
            } else {
                fail(ExitBadArgument, QStringLiteral("%1 needs a value").arg(name));
                return false;
            }
        } else {
            fail(ExitBadArgument, QStringLiteral("varlo %1 has no option %2 (see varlo %1 --help)")
                                      .arg(QLatin1String(spec.name), name));
            return false;
        }
    }
    const int count = positional.size();
    if (count < spec.minArguments || (spec.maxArguments >= 0 && count > spec.maxArguments)) {
        fail(ExitBadArgument, QStringLiteral("usage: varlo %1 %2").arg(QLatin1String(spec.name), QLatin1String(spec.synopsis)));
        return false;
    }
    address = positional.value(0);
    arguments = positional.mid(1);
    return true;
}

bool Invocation::number(const QString &word, const QString &what, double *value, double min, double max)
{
    bool ok = false;
    const double read = word.toDouble(&ok);
    if (!ok || !std::isfinite(read)) {
        fail(ExitBadArgument, QStringLiteral("%1 must be a number, not \"%2\"").arg(what, word));
        return false;
    }
    if (read < min || read > max) {
        fail(ExitBadArgument, QStringLiteral("%1 must be %2 to %3, not %4").arg(what).arg(min).arg(max).arg(word));
        return false;
    }
    *value = read;
    return true;
}

bool Invocation::integer(const QString &word, const QString &what, int *value, int min, int max)
{
    bool ok = false;
    const int read = word.toInt(&ok);
    if (!ok || read < min || read > max) {
        fail(ExitBadArgument, QStringLiteral("%1 must be a whole number from %2 to %3, not \"%4\"")
                                  .arg(what).arg(min).arg(max).arg(word));
        return false;
    }
    *value = read;
    return true;
}

bool Invocation::numbers(const QStringList &words, const QString &what, QVector<float> *values)
{
    values->clear();
    for (const QString &word : words) {
        double value = 0;
        // Beyond any arm's reach, and within what single precision holds.
        if (!number(word, what, &value, -1e6, 1e6))
            return false;
        values->append(float(value));
    }
    return true;
}

bool Invocation::onOff(const QString &word, const QString &what, bool *value)
{
    const QString lower = word.toLower();
    if (lower == QLatin1String("on") || lower == QLatin1String("1") || lower == QLatin1String("true")) {
        *value = true;
        return true;
    }
    if (lower == QLatin1String("off") || lower == QLatin1String("0") || lower == QLatin1String("false")) {
        *value = false;
        return true;
    }
    fail(ExitBadArgument, QStringLiteral("%1 must be on or off, not \"%2\"").arg(what, word));
    return false;
}

bool Invocation::integerOption(const QString &name, int *value, int fallback, int min, int max)
{
    if (!hasOption(name)) {
        *value = fallback;
        return true;
    }
    return integer(option(name), name, value, min, max);
}

bool Invocation::connect()
{
    if (!isControllerAddress(address)) {
        fail(ExitBadArgument, QStringLiteral("\"%1\" is not a controller address").arg(address));
        return false;
    }
    if (robot.connectToController(address))
        return true;
    if (robot.transport() && robot.transport()->isServerReachable())
        fail(ExitNoConnection, QStringLiteral("the controller at %1 answered but reported no 4- or 6-axis robot").arg(address));
    else
        fail(ExitNoConnection, QStringLiteral("no controller answered at %1 within 5 s").arg(address));
    return false;
}

bool Invocation::freshState(int msecs)
{
    // An exchange run at once; the next periodic one when that failed.
    if (robot.protocol() && robot.protocol()->exchangeNow())
        return true;
    bool exchanged = false;
    const QMetaObject::Connection tick =
        QObject::connect(&robot, &QRobot::exChangeClock, &robot, [&exchanged]() { exchanged = true; });
    waitUntil([&exchanged]() { return exchanged; }, msecs);
    QObject::disconnect(tick);
    return exchanged;
}

bool runUntil(const std::function<bool()> &done, int msecs)
{
    if (done())
        return true;
    if (s_signal)
        return false;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&]() {
        if (done() || s_signal)
            loop.quit();
    });
    check.start(20);
    if (msecs >= 0)
        QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    s_loops.append(&loop);
    loop.exec();
    s_loops.removeOne(&loop);
    return done();
}

bool Invocation::interrupted()
{
    return s_signal != 0;
}

int Invocation::interruptedExit()
{
    return s_signal == SIGTERM ? ExitTerminated : ExitInterrupted;
}

void Invocation::result(const QString &text, const QJsonValue &value)
{
    if (!json) {
        if (!text.isEmpty())
            print(stdout, text);
        return;
    }
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    std::fputs(document.toJson(QJsonDocument::Indented).constData(), stdout);
    std::fflush(stdout);
}

void Invocation::line(const QString &text)
{
    if (!json)
        print(stdout, text);
}

int Invocation::fail(int code, const QString &message)
{
    m_exit = code;
    print(stderr, QStringLiteral("varlo: ") + message);
    if (json) {
        const QJsonObject error{ { QStringLiteral("error"), message }, { QStringLiteral("exit"), code } };
        std::fputs(QJsonDocument(error).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    return code;
}

int Invocation::waitFailed(const QString &message)
{
    if (interrupted())
        return fail(interruptedExit(), QStringLiteral("interrupted"));
    return fail(ExitTimedOut, message);
}

// ---- formatting -------------------------------------------------------------------

QString formatNumbers(const float *values, int count, int decimals)
{
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << QString::number(double(values[i]), 'f', decimals);
    return texts.join(QLatin1Char(' '));
}

QString poseText(const QRobotType::CartesianCoordinate &pose)
{
    static const char *const names[] = { "x", "y", "z", "a", "b", "c" };
    QStringList texts;
    for (int i = 0; i < 6; ++i)
        texts << QStringLiteral("%1 %2").arg(QLatin1String(names[i])).arg(double(pose.pose[i]), 0, 'f', 3);
    return texts.join(QLatin1String("  "));
}

int jointCount(int axes)
{
    return axes == 4 ? 4 : 6;
}

QString jointsText(const QRobotType::JointCoordinate &joints, int axes)
{
    if (jointCount(axes) == 6)
        return formatNumbers(joints.joint, 6);
    QStringList texts;
    for (int i = 0; i < 4; ++i)
        texts << QStringLiteral("%1 %2").arg(double(joints.joint[i]), 0, 'f', 3).arg(QLatin1String(i == 2 ? "mm" : "deg"));
    return texts.join(QLatin1String("  "));
}

QString channelsText(const QList<int> &channels)
{
    if (channels.isEmpty())
        return QStringLiteral("none on");
    QStringList texts;
    for (int channel : channels)
        texts << QString::number(channel);
    return texts.join(QLatin1Char(' '));
}

bool isTerminal(int fd)
{
#if defined(Q_OS_UNIX)
    return isatty(fd);
#else
    Q_UNUSED(fd);
    return false;
#endif
}

// ---- alarms -----------------------------------------------------------------------

QString alarmText(QRobot &robot, const ActiveAlarm &alarm)
{
    AlarmInfo info;
    robot.settings()->alarmInfo(alarm.number, alarm.group == 0 ? 0 : 1, info, true);
    const QString source = alarmSource(alarm);
    return info.description.isEmpty() ? source : source + QLatin1String(": ") + info.description;
}

QString alarmsSummary(QRobot &robot, int limit)
{
    const QList<ActiveAlarm> alarms = activeAlarms(robot.protocol()->alarms());
    QStringList texts;
    for (int i = 0; i < alarms.size() && i < limit; ++i)
        texts << alarmText(robot, alarms.at(i));
    if (alarms.size() > limit)
        texts << QStringLiteral("%1 more").arg(alarms.size() - limit);
    return texts.join(QLatin1String("; "));
}

bool emergencyStopPressed(QRobot &robot)
{
    QJsonObject reply;
    return robot.transport()->getJson(QStringLiteral("/panel/emergencyStop"), reply)
        && reply.value(QLatin1String("value")).toBool(false);
}

QString emergencyStopHint(const Invocation &cli)
{
    return QStringLiteral("the emergency stop is pressed. Release it (on the teach pendant, or varlo estop %1 "
                          "--release), then clear the alarm (varlo clear %1) and enable the arm (varlo enable %1)")
        .arg(cli.address);
}
