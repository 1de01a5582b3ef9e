#ifndef VARLO_BRIDGE_COMMANDS_H
#define VARLO_BRIDGE_COMMANDS_H

// The commands an arm takes through the bridge, named as the `varlo` command
// line names them, with their arguments by name in a JSON object. Commands
// run one after another; `stop` and `estop` do not queue: they act at once
// and end what runs and waits.

#include <Varlo/qrobot.h>

#include <QtCore/QHash>
#include <QtCore/QJsonObject>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QQueue>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QTimer>

#include <functional>

// Answer codes: those of the `varlo` command line's exit codes, and 4.
enum AnswerCode {
    AnswerDone = 0,
    AnswerRefused = 1,     // no connection; the arm refused or ended in an alarm; stopped
    AnswerFailed = 2,      // the controller did not answer, or not in time
    AnswerMalformed = 3,   // the payload is wrong: nothing was sent
    AnswerNotAllowed = 4   // the bridge does not take this command: nothing was sent
};

struct Answer
{
    int code = AnswerDone;
    QString message;
    bool ok() const { return code == AnswerDone; }
};

// Where an answer goes: the MQTT 5 response topic and correlation data.
struct ReplyTarget
{
    QByteArray topic;
    QByteArray correlationData;
};

// Every name a command may have ("script/run" is `varlo script run`).
QStringList commandNames();
// Checks an --allow-commands list ("movj,enable,script"); false with the
// unknown name in `error`. "script" allows script/run and script/stop.
bool parseAllowedCommands(const QString &list, QSet<QString> *allowed, QString *error);

class ArmCommands : public QObject
{
    Q_OBJECT
public:
    // The largest payload read; a larger one is answered without being read.
    static const int MaxPayloadBytes = 16 * 1024;

    ArmCommands(QRobot &robot, const QSet<QString> &allowed, QObject *parent = nullptr);

    // A command arrived. It is answered (answered()) once: at once when it is
    // refused, else when it is done. A command whose id was seen before is
    // answered again with the first answer and never runs twice.
    void receive(const QString &name, const QByteArray &payload, const ReplyTarget &replyTo);
    // The controller's connection, as the facade reports it. When it goes
    // away, what runs and waits ends with an answer.
    void setControllerOnline(bool online);
    // Stops a motion the bridge commanded and still follows (the bridge is
    // stopping, or a stop came), through QRobot::stopMotion(); true when there
    // was one. What ran and waited is answered.
    bool stopStarted(const QString &why);

Q_SIGNALS:
    // A script/run command is about to start the script of `project`.
    void scriptStarting(const QString &project);
    void answered(const ReplyTarget &replyTo, const QString &id, const QString &command, const Answer &answer);

private:
    // One command on its way: what it waits for after it was sent.
    struct Running
    {
        QString id;
        QString name;
        QJsonObject arguments;
        QList<ReplyTarget> replyTo;
        bool moves = false;                      // it started a motion
        std::function<bool(Answer *)> check;     // true with the answer once settled
        std::function<Answer()> timedOut;
        qint64 deadline = 0;
    };

    void runNext();
    void start(Running command);
    void poll();
    void finish(Running &command, const Answer &answer);
    void remember(const QString &id, const Answer &answer);
    // Sends the command; an answer at once, or a check and a time limit.
    Answer begin(Running &command);
    Answer beginMotion(Running &command, QRobot::MotionCommand kind, bool sent);
    Answer beginMode(Running &command, QRobotType::ControlMode mode);

    QRobot &m_robot;
    QSet<QString> m_allowed;
    bool m_online = false;
    QQueue<Running> m_queue;
    QList<Running> m_current;                    // zero or one
    QTimer m_poll;
    // Answers by command id, the oldest forgotten first.
    QHash<QString, Answer> m_answers;
    QQueue<QString> m_answerOrder;
};

#endif // VARLO_BRIDGE_COMMANDS_H
