#include "commands.h"
#include "statejson.h"

#include <Varlo/qpanelsimulator.h>
#include <Varlo/qrobotcollaborative.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QDateTime>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonParseError>

#include <cmath>
#include <memory>

namespace {

const int PollMs = 100;
const int ConfirmMs = 5000;          // a mode, the power, an output
const int MotionLimitMs = 20000;     // the library's motion limit, unless "timeout" says more
const int MaxMotionLimitMs = 300000;
const int RememberedAnswers = 512;
const int MaxIdLength = 128;
const double Reach = 1e6;            // beyond any arm's reach, within single precision

// What each command takes besides "id": its required and optional keys.
struct CommandSpec
{
    const char *name;
    QStringList required;
    QStringList optional;
};

const QStringList MotionOptions = { QStringLiteral("wait"), QStringLiteral("timeout") };

const QList<CommandSpec> &specs()
{
    static const QList<CommandSpec> table = {
        { "enable", {}, {} },
        { "disable", {}, {} },
        { "drag", {}, {} },
        { "power", { "on" }, {} },
        { "estop", {}, { "release" } },
        { "clear", {}, {} },
        { "stop", {}, {} },
        { "speed", { "percent" }, {} },
        { "io", { "do", "on" }, {} },
        { "movj", { "x", "y", "z", "a", "b", "c" }, QStringList{ "tool", "user" } + MotionOptions },
        { "movl", { "x", "y", "z", "a", "b", "c" }, QStringList{ "tool", "user" } + MotionOptions },
        { "jointmovj", { "joints" }, MotionOptions },
        { "relmovj", { "dx", "dy", "dz" }, MotionOptions },
        { "relmovl", { "dx", "dy", "dz" }, MotionOptions },
        { "script/run", { "project" }, {} },
        { "script/stop", {}, {} },
    };
    return table;
}

const CommandSpec *specOf(const QString &name)
{
    for (const CommandSpec &spec : specs()) {
        if (name == QLatin1String(spec.name))
            return &spec;
    }
    return nullptr;
}

Answer malformed(const QString &message)
{
    return Answer{ AnswerMalformed, message };
}

// The argument checks: the keys the command takes, each of the right kind.
bool checkArguments(const CommandSpec &spec, const QJsonObject &args, QString *error)
{
    for (auto it = args.begin(); it != args.end(); ++it) {
        const QString key = it.key();
        if (key == QLatin1String("id"))
            continue;
        if (!spec.required.contains(key) && !spec.optional.contains(key)) {
            *error = QStringLiteral("%1 takes no \"%2\"").arg(QLatin1String(spec.name), key);
            return false;
        }
        const QJsonValue v = it.value();
        bool good = true;
        if (key == QLatin1String("on") || key == QLatin1String("release") || key == QLatin1String("wait"))
            good = v.isBool();
        else if (key == QLatin1String("project"))
            good = v.isString() && !v.toString().isEmpty() && v.toString().size() <= 64
                && !v.toString().contains(QLatin1Char('/')) && !v.toString().contains(QLatin1String(".."));
        else if (key == QLatin1String("joints")) {
            const QJsonArray joints = v.toArray();
            good = v.isArray() && joints.size() == 6;
            for (const QJsonValue &joint : joints)
                good = good && joint.isDouble() && std::abs(joint.toDouble()) <= Reach;
        } else if (key == QLatin1String("tool") || key == QLatin1String("user"))
            good = v.isDouble() && v.toDouble() == std::floor(v.toDouble()) && v.toDouble() >= 0 && v.toDouble() <= 9;
        else if (key == QLatin1String("do"))
            good = v.isDouble() && v.toDouble() == std::floor(v.toDouble()) && v.toDouble() >= 1 && v.toDouble() <= 64;
        else if (key == QLatin1String("percent"))
            good = v.isDouble() && v.toDouble() >= 1 && v.toDouble() <= 100;
        else if (key == QLatin1String("timeout"))
            good = v.isDouble() && v.toDouble() > 0 && v.toDouble() * 1000 <= MaxMotionLimitMs;
        else
            good = v.isDouble() && std::abs(v.toDouble()) <= Reach;
        if (!good) {
            *error = QStringLiteral("\"%1\" of %2 has a wrong value").arg(key, QLatin1String(spec.name));
            return false;
        }
    }
    for (const QString &key : spec.required) {
        if (!args.contains(key)) {
            *error = QStringLiteral("%1 needs \"%2\"").arg(QLatin1String(spec.name), key);
            return false;
        }
    }
    return true;
}

float number(const QJsonObject &args, const char *key)
{
    return float(args.value(QLatin1String(key)).toDouble());
}

} // namespace

QStringList commandNames()
{
    QStringList names;
    for (const CommandSpec &spec : specs())
        names << QLatin1String(spec.name);
    return names;
}

bool parseAllowedCommands(const QString &list, QSet<QString> *allowed, QString *error)
{
    const QStringList known = commandNames();
    for (QString name : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        name = name.trimmed();
        if (name == QLatin1String("script")) {
            *allowed << QStringLiteral("script/run") << QStringLiteral("script/stop");
        } else if (known.contains(name)) {
            *allowed << name;
        } else {
            *error = QStringLiteral("no command \"%1\" (commands: %2)").arg(name, known.join(QLatin1String(", ")));
            return false;
        }
    }
    return true;
}

ArmCommands::ArmCommands(QRobot &robot, const QSet<QString> &allowed, QObject *parent)
    : QObject(parent), m_robot(robot), m_allowed(allowed)
{
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, &ArmCommands::poll);
}

void ArmCommands::receive(const QString &name, const QByteArray &payload, const ReplyTarget &replyTo)
{
    // Nothing of a payload is used before it is known to be sound.
    Running command;
    command.name = name;
    command.replyTo << replyTo;
    auto refuse = [&](const Answer &answer) {
        Q_EMIT answered(replyTo, command.id, name, answer);
        if (!command.id.isEmpty())
            remember(command.id, answer);
    };
    if (payload.size() > MaxPayloadBytes) {
        refuse(malformed(QStringLiteral("the payload is larger than %1 bytes").arg(MaxPayloadBytes)));
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(payload.isEmpty() ? QByteArray("{}") : payload, &parseError);
    if (!document.isObject()) {
        refuse(malformed(QStringLiteral("the payload is not a JSON object")));
        return;
    }
    command.arguments = document.object();
    // The id names the command across redeliveries: "id", else the
    // correlation data.
    const QJsonValue id = command.arguments.value(QLatin1String("id"));
    if (!id.isUndefined() && (!id.isString() || id.toString().isEmpty() || id.toString().size() > MaxIdLength)) {
        refuse(malformed(QStringLiteral("\"id\" must be a text of 1 to %1 characters").arg(MaxIdLength)));
        return;
    }
    command.id = id.isString() ? id.toString()
               : replyTo.correlationData.isEmpty() ? QString()
                                                   : QStringLiteral("correlation:") + QString::fromLatin1(replyTo.correlationData.toHex());

    // Seen before: answered again, never run again.
    if (!command.id.isEmpty()) {
        const auto known = m_answers.constFind(command.id);
        if (known != m_answers.constEnd()) {
            Q_EMIT answered(replyTo, command.id, name, known.value());
            return;
        }
        for (QList<Running> *list : { &m_current, static_cast<QList<Running> *>(&m_queue) }) {
            for (Running &waiting : *list) {
                if (waiting.id == command.id) {
                    waiting.replyTo << replyTo;
                    return;
                }
            }
        }
    }

    const CommandSpec *spec = specOf(name);
    if (!spec) {
        refuse(malformed(QStringLiteral("no command \"%1\"").arg(name)));
        return;
    }
    if (!m_allowed.contains(name)) {
        refuse(Answer{ AnswerNotAllowed, QStringLiteral("%1 is not allowed on this bridge (--allow-commands)").arg(name) });
        return;
    }
    QString error;
    if (!checkArguments(*spec, command.arguments, &error)) {
        refuse(malformed(error));
        return;
    }
    if (!m_online) {
        refuse(Answer{ AnswerRefused, QStringLiteral("no connection to the arm's controller") });
        return;
    }
    if (name == QLatin1String("stop") || name == QLatin1String("estop")) {
        // At once, ahead of everything: what ran and waited is over.
        stopStarted(QStringLiteral("ended by %1").arg(name));
        start(command);
        return;
    }
    m_queue.enqueue(command);
    runNext();
}

void ArmCommands::runNext()
{
    if (m_current.isEmpty() && !m_queue.isEmpty())
        start(m_queue.dequeue());
}

void ArmCommands::start(Running command)
{
    const Answer immediate = begin(command);
    if (!command.check) {
        finish(command, immediate);
        runNext();
        return;
    }
    m_current.append(command);
    m_poll.start();
}

void ArmCommands::poll()
{
    if (m_current.isEmpty()) {
        m_poll.stop();
        return;
    }
    // The check may run the event loop (a request), during which a stop may
    // end the command: it runs from a copy, and the command is looked at
    // again afterwards.
    const auto check = m_current.first().check;
    Answer answer;
    bool settled = check(&answer);
    if (m_current.isEmpty())
        return;
    if (!settled && QDateTime::currentMSecsSinceEpoch() > m_current.first().deadline) {
        const auto timedOut = m_current.first().timedOut;
        answer = timedOut();
        settled = true;
    }
    if (!settled || m_current.isEmpty())
        return;
    Running done = m_current.takeFirst();
    m_poll.stop();
    finish(done, answer);
    runNext();
}

void ArmCommands::finish(Running &command, const Answer &answer)
{
    if (!command.id.isEmpty())
        remember(command.id, answer);
    for (const ReplyTarget &target : command.replyTo)
        Q_EMIT answered(target, command.id, command.name, answer);
}

void ArmCommands::remember(const QString &id, const Answer &answer)
{
    if (!m_answers.contains(id))
        m_answerOrder.enqueue(id);
    m_answers.insert(id, answer);
    while (m_answerOrder.size() > RememberedAnswers)
        m_answers.remove(m_answerOrder.dequeue());
}

void ArmCommands::setControllerOnline(bool online)
{
    m_online = online;
    if (online)
        return;
    const Answer lost{ AnswerRefused, QStringLiteral("the connection to the arm's controller was lost") };
    QList<Running> ended = m_current + QList<Running>(m_queue.begin(), m_queue.end());
    m_current.clear();
    m_queue.clear();
    m_poll.stop();
    for (Running &command : ended)
        finish(command, lost);
}

bool ArmCommands::stopStarted(const QString &why)
{
    const bool moving = !m_current.isEmpty() && m_current.first().moves;
    QList<Running> ended = m_current + QList<Running>(m_queue.begin(), m_queue.end());
    m_current.clear();
    m_queue.clear();
    m_poll.stop();
    if (moving)
        m_robot.stopMotion();
    for (Running &command : ended)
        finish(command, Answer{ AnswerRefused, why });
    return moving;
}

// ---- the commands ------------------------------------------------------------------

Answer ArmCommands::begin(Running &command)
{
    const QString &name = command.name;
    const QJsonObject &args = command.arguments;
    QRobotProtocol *p = m_robot.protocol();
    QRobotSettings *settings = m_robot.settings();
    QRobotCollaborative *collaborative = m_robot.collaborative();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    command.deadline = now + ConfirmMs;

    if (name == QLatin1String("enable"))
        return beginMode(command, QRobotType::Enable);
    if (name == QLatin1String("disable"))
        return beginMode(command, QRobotType::Disable);
    if (name == QLatin1String("drag"))
        return beginMode(command, QRobotType::Drag);
    if (name == QLatin1String("power")) {
        const bool on = args.value(QLatin1String("on")).toBool();
        collaborative->setPowerControl(on);
        command.check = [p, on](Answer *a) {
            *a = Answer{ AnswerDone, QStringLiteral("power %1").arg(QLatin1String(on ? "on" : "off")) };
            return p->isPower() == on;
        };
        command.timedOut = [] { return Answer{ AnswerFailed, QStringLiteral("the controller did not report the power within 5 s") }; };
        return Answer();
    }
    if (name == QLatin1String("estop")) {
        const bool release = args.value(QLatin1String("release")).toBool(false);
        settings->emergencyStop(!release);
        return Answer{ AnswerDone, release ? QStringLiteral("emergency stop released") : QStringLiteral("emergency stop pressed") };
    }
    if (name == QLatin1String("clear")) {
        p->clearAlarms();
        command.check = [p](Answer *a) {
            *a = Answer{ AnswerDone, QStringLiteral("alarms cleared") };
            return alarmsText(p->alarms()).isEmpty();
        };
        command.deadline = now + 3000;
        command.timedOut = [p] { return Answer{ AnswerRefused, QStringLiteral("alarms still active: ") + alarmsText(p->alarms()) }; };
        return Answer();
    }
    if (name == QLatin1String("stop")) {
        if (!m_robot.stopMotion())
            return Answer{ AnswerFailed, QStringLiteral("the controller did not answer the stop") };
        return Answer{ AnswerDone, QStringLiteral("stopped") };
    }
    if (name == QLatin1String("speed")) {
        const float percent = number(args, "percent");
        if (!settings->setCommonRatio(percent) || settings->commonRatio() != percent)
            return Answer{ AnswerFailed, QStringLiteral("the controller did not take the speed") };
        return Answer{ AnswerDone, QStringLiteral("speed %1 %").arg(double(percent)) };
    }
    if (name == QLatin1String("io")) {
        const int channel = args.value(QLatin1String("do")).toInt();
        const bool on = args.value(QLatin1String("on")).toBool();
        const QString text = QStringLiteral("output %1 %2").arg(channel).arg(QLatin1String(on ? "on" : "off"));
        if (!m_robot.setDigitalOutput(channel - 1, on))
            return Answer{ AnswerFailed, QStringLiteral("the controller did not report %1").arg(text) };
        return Answer{ AnswerDone, text };
    }
    if (name == QLatin1String("script/run")) {
        const QString project = args.value(QLatin1String("project")).toString();
        Q_EMIT scriptStarting(project);
        m_robot.straightRun(project);
        return Answer{ AnswerDone, QStringLiteral("script started") };
    }
    if (name == QLatin1String("script/stop")) {
        m_robot.stop();
        return Answer{ AnswerDone, QStringLiteral("script stopped") };
    }

    // Motions: the arm must be enabled; a clear word beats the controller's refusal.
    if (p->controlMode() != QRobotType::Enable) {
        const QString alarms = alarmsText(p->alarms());
        return Answer{ AnswerRefused, alarms.isEmpty() ? QStringLiteral("the arm is not enabled")
                                                       : QStringLiteral("the arm is not enabled and alarms are active: ") + alarms };
    }
    if (name == QLatin1String("movj") || name == QLatin1String("movl")) {
        const QRobotType::RDNCoordinate rdn = p->rdnCoordinate();
        MotionTarget target = { number(args, "x"), number(args, "y"), number(args, "z"),
                                number(args, "a"), number(args, "b"), number(args, "c"),
                                args.value(QLatin1String("tool")).toInt(p->toolCoordinate()),
                                args.value(QLatin1String("user")).toInt(p->userCoordinate()),
                                rdn.rdn[0], rdn.rdn[1], rdn.rdn[2], rdn.rdn[3], p->armOrientation() };
        const QString mode = name == QLatin1String("movj") ? QStringLiteral("go") : QStringLiteral("move");
        return beginMotion(command, QRobot::GoCommand, settings->go(target, mode, true));
    }
    if (name == QLatin1String("jointmovj")) {
        QRobotType::JointCoordinate target = {};
        const QJsonArray joints = args.value(QLatin1String("joints")).toArray();
        for (int i = 0; i < 6; ++i)
            target.joint[i] = float(joints.at(i).toDouble());
        return beginMotion(command, QRobot::MoveJCommand, settings->moveJ(target, true));
    }
    const bool linear = name == QLatin1String("relmovl");
    const float dx = number(args, "dx"), dy = number(args, "dy"), dz = number(args, "dz");
    return beginMotion(command, linear ? QRobot::MoveRCommand : QRobot::GoRCommand,
                       linear ? settings->moveR(dx, dy, dz) : settings->goR(dx, dy, dz));
}

Answer ArmCommands::beginMode(Running &command, QRobotType::ControlMode mode)
{
    // The mode's one word, as the published state and `varlo` say it.
    const QString name = controlModeName(mode);
    QRobotProtocol *p = m_robot.protocol();
    QRobotCollaborative *collaborative = m_robot.collaborative();
    // Enabling powers the arm first, as `varlo enable` does.
    auto asked = std::make_shared<bool>(false);
    if (mode == QRobotType::Disable || p->isPower()) {
        collaborative->setControlMode(int(mode));
        *asked = true;
    } else {
        collaborative->setPowerControl(true);
    }
    command.check = [p, collaborative, mode, name, asked](Answer *a) {
        if (!*asked && p->isPower()) {
            *asked = true;
            collaborative->setControlMode(int(mode));
        }
        *a = Answer{ AnswerDone, QStringLiteral("arm %1").arg(name) };
        return *asked && p->controlMode() == mode;
    };
    command.timedOut = [p, name] {
        const QString alarms = alarmsText(p->alarms());
        if (!alarms.isEmpty())
            return Answer{ AnswerRefused, QStringLiteral("the arm could not be switched to %1: active alarms: %2").arg(name, alarms) };
        return Answer{ AnswerFailed, QStringLiteral("the controller did not report the arm switched to %1 within 5 s").arg(name) };
    };
    return Answer();
}

// After a motion command: its end as the controller reports it, asked every
// 100 ms; an unanswered query is "not yet", never an arrival.
Answer ArmCommands::beginMotion(Running &command, QRobot::MotionCommand kind, bool sent)
{
    if (!sent)
        return Answer{ AnswerFailed, QStringLiteral("the controller did not answer the motion command") };
    command.moves = true;
    if (!command.arguments.value(QLatin1String("wait")).toBool(true))
        return Answer{ AnswerDone, QStringLiteral("motion accepted") };
    const int limitMs = command.arguments.contains(QLatin1String("timeout"))
        ? int(command.arguments.value(QLatin1String("timeout")).toDouble() * 1000) : MotionLimitMs;
    command.deadline = QDateTime::currentMSecsSinceEpoch() + limitMs;
    QRobotSettings *settings = m_robot.settings();
    using Status = bool (QRobotSettings::*)(bool &, bool &);
    Status status = kind == QRobot::GoCommand ? &QRobotSettings::goState
                  : kind == QRobot::MoveJCommand ? &QRobotSettings::moveJState
                  : kind == QRobot::GoRCommand ? &QRobotSettings::goRState : &QRobotSettings::moveRState;
    command.check = [settings, status](Answer *a) {
        bool arrived = false, alarmed = false;
        if (!(settings->*status)(arrived, alarmed))
            return false;
        if (alarmed) {
            *a = Answer{ AnswerRefused, QStringLiteral("the motion ended in an alarm, was refused or was stopped short of its target") };
            return true;
        }
        *a = Answer{ AnswerDone, QStringLiteral("arrived") };
        return arrived;
    };
    QRobot *robot = &m_robot;
    command.timedOut = [robot, limitMs] {
        // Nobody follows it any more: the bridge does not leave it running.
        robot->stopMotion();
        return Answer{ AnswerFailed, QStringLiteral("the motion did not end within %1 s; stopped").arg(limitMs / 1000.0) };
    };
    return Answer();
}
